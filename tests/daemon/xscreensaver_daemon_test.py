#!/usr/bin/env python3
"""duskmere under the real xscreensaver daemon, on a private Xvfb.

usage: xscreensaver_daemon_test.py PATH/TO/duskmere

Three rounds of `xscreensaver-command -activate` / `-deactivate` with a settings file that lists
only `PATH/TO/duskmere -root` in mode one. Each round must show the city on the root (lit
windows, read back with xwd), and after deactivation duskmere must be gone within 2 s, ended by the
daemon's SIGTERM, not left a zombie, and the daemon's verbose log must hold no complaint about it. The
daemon refuses to start hacks as root, so as root this runs it as an unprivileged user (created
if need be).
Exit status: 0 passed, 1 failed, 77 skipped (no unprivileged user to be had).
"""
import os, re, shutil, signal, struct, subprocess, sys, tempfile, time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
from harness import Failed, TEST_USER, as_user, skip, unprivileged_user, wait_for  # noqa: E402

ROUNDS = 3
SCREEN = (640, 400)
START_WITHIN = 5.0    # s from -activate until the daemon has forked duskmere
LIT_WITHIN = 20.0     # s from -activate until lit windows show (slow on a loaded machine)
GONE_WITHIN = 2.0     # s from -deactivate until duskmere has left the process table
MIN_LIT_PIXELS = 100  # warm window pixels in the lower half: a city, not a black screen

SETTINGS = """\
mode:\t\tone
selected:\t0
timeout:\t0:30:00
cycle:\t\t0:00:00
lock:\t\tFalse
fade:\t\tFalse
unfade:\t\tFalse
splash:\t\tFalse
dpmsEnabled:\tFalse
programs:\t{hack} -root \\n
"""


def start_xvfb(work):
    read, write = os.pipe()
    xvfb = subprocess.Popen(['Xvfb', '-displayfd', str(write), '-screen', '0', '%dx%dx24' % SCREEN,
                             '-nolisten', 'tcp', '-br', '-noreset'],
                            pass_fds=[write], stdout=subprocess.DEVNULL,
                            stderr=open(os.path.join(work, 'xvfb.log'), 'w'))
    os.close(write)
    number = b''
    with os.fdopen(read, 'rb') as r:
        while not number.endswith(b'\n'):
            chunk = r.read(1)
            if not chunk:
                raise Failed('Xvfb did not start (see xvfb.log)')
            number += chunk
    return xvfb, ':' + number.decode().strip()


def screen_pixels(display):
    """The root window as (width, height, [(r, g, b), ...]) from xwd, for a 24/32-bit visual."""
    data = subprocess.run(['xwd', '-root', '-silent', '-display', display], check=True,
                          capture_output=True, timeout=10).stdout
    h = struct.unpack('>25I', data[:100])
    header, width, height, byte_order, bpp, line = h[0], h[4], h[5], h[7], h[11], h[12]
    masks, ncolors = h[14:17], h[19]
    if bpp != 32:
        raise Failed('xwd gave %d bits per pixel; expected 32' % bpp)
    shifts = [(m & -m).bit_length() - 1 for m in masks]
    start = header + ncolors * 12
    order = 'little' if byte_order == 0 else 'big'
    pixels = []
    for y in range(height):
        row = data[start + y * line: start + y * line + width * 4]
        for x in range(width):
            v = int.from_bytes(row[4 * x: 4 * x + 4], order)
            pixels.append(tuple((v & m) >> s for m, s in zip(masks, shifts)))
    return width, height, pixels


def lit_window_pixels(display):
    """Warm, bright pixels in the lower half of the screen, where the buildings stand."""
    width, height, pixels = screen_pixels(display)
    lower = pixels[(height // 2) * width:]
    return sum(1 for r, g, b in lower if r >= 120 and g >= 40 and r >= b + 40)


def become_subreaper():
    """Adopt the daemon's orphans. xscreensaver-gfx exits as soon as it has signalled its hack, so
    the hack ends as an orphan; as its adoptive parent we see its exit at once and its status,
    whatever the machine's init does about zombies and however slowly."""
    import ctypes
    PR_SET_CHILD_SUBREAPER = 36
    libc = ctypes.CDLL(None, use_errno=True)
    if libc.prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0:
        raise Failed('prctl(PR_SET_CHILD_SUBREAPER): %s' % os.strerror(ctypes.get_errno()))


def process_state(pid):
    """(one-letter state, parent pid) of pid, or None once it has left the process table."""
    try:
        with open('/proc/%d/stat' % pid) as f:
            fields = f.read().rsplit(')', 1)[1].split()
            return fields[0], int(fields[1])
    except (FileNotFoundError, ProcessLookupError, IndexError):
        return None


def ended(pid, status):
    """True once pid has gone: reaped by its parent, or exited as our adopted orphan (reaped
    here, its exit status kept in status)."""
    state = process_state(pid)
    if state is None:
        return True
    if state == ('Z', os.getpid()):
        status.append(os.waitpid(pid, 0)[1])
        return True
    return False


def executable(pid):
    try:
        return os.path.realpath('/proc/%d/exe' % pid, strict=True)
    except OSError:
        raise Failed('duskmere (pid %d) ended before it could be seen running' % pid)


def environment(pid):
    """The environment a process was started with; empty while an exec is still setting it up."""
    try:
        with open('/proc/%d/environ' % pid, 'rb') as f:
            return dict(v.split(b'=', 1) for v in f.read().split(b'\0') if b'=' in v)
    except OSError:
        return {}


def read_log(path):
    with open(path, errors='replace') as f:
        return f.read()


def complaints(lines, pid, user):
    """Log lines that speak against the hack: anything it printed, and any line about it but its
    launch and its ordinary stop. The account's name is left out, as it may contain the hack's."""
    expected = [re.compile(r'forked "\S*duskmere -?-root" in pid %d on window 0x[0-9a-f]+' % pid),
                re.compile(r'killing pid %d \(\S*duskmere\)$' % pid),
                re.compile(r'child pid %d \(\S*duskmere\) exited normally with SIGTERM$' % pid)]
    alarm = re.compile(r'duskmere|pid %d\b|abnormal|crash|core dumped|not found|no programs' % pid,
                       re.IGNORECASE)
    # The daemon's programs prefix their lines with their names; anything else came from the hack.
    return [l for l in lines if l.strip() and not l.startswith('xscreensaver')
            or alarm.search(l.replace(user, 'USER')) and not any(e.search(l) for e in expected)]


def run(program):
    for tool in ('Xvfb', 'xwd', 'xscreensaver', 'xscreensaver-command'):
        if not shutil.which(tool):
            raise Failed('%s is not installed (scripts/install-deps.sh package)' % tool)
    # Where duskmere-test cannot be made, nobody will do.
    user = unprivileged_user(fallback='nobody')
    if not user:
        skip('running as root, and neither %s could be created nor nobody found' % TEST_USER)
    become_subreaper()
    work = tempfile.mkdtemp(prefix='duskmere-daemon-')
    os.chmod(work, 0o755)
    xvfb = daemon = None
    try:
        # The daemon's user must reach the hack and its settings, wherever the build lives.
        bindir, home = os.path.join(work, 'bin'), os.path.join(work, 'home')
        os.mkdir(bindir, 0o755)
        os.mkdir(home, 0o755)
        hack = os.path.join(bindir, 'duskmere')
        shutil.copy(program, hack)
        os.chmod(hack, 0o755)
        with open(os.path.join(home, '.xscreensaver'), 'w') as f:
            # The full path: the daemon searches its own hack folder before PATH, where an
            # installed duskmere would stand in for the one under test.
            f.write(SETTINGS.format(hack=hack))
        if os.getuid() == 0:
            os.chown(home, user.pw_uid, user.pw_gid)
            os.chown(os.path.join(home, '.xscreensaver'), user.pw_uid, user.pw_gid)

        xvfb, display = start_xvfb(work)
        env = {'HOME': home, 'DISPLAY': display, 'USER': user.pw_name, 'LOGNAME': user.pw_name,
               'PATH': bindir + ':/usr/local/bin:/usr/bin:/bin', 'LANG': 'C.UTF-8'}
        run_as = as_user(user)
        log_path = os.path.join(work, 'daemon.log')
        daemon = subprocess.Popen(['xscreensaver', '-no-splash', '-verbose'], env=env, cwd=home,
                                  stdin=subprocess.DEVNULL, stdout=open(log_path, 'w'),
                                  stderr=subprocess.STDOUT, start_new_session=True, **run_as)

        def command(arg):
            return subprocess.run(['xscreensaver-command', arg], env=env, cwd=home,
                                  capture_output=True, timeout=10, **run_as).returncode == 0

        def answering():
            if daemon.poll() is not None:
                raise Failed('the daemon exited with status %d' % daemon.returncode)
            return command('-version')

        wait_for('the daemon answering', answering, 10, interval=0.2)

        for rnd in range(1, ROUNDS + 1):
            log_before = len(read_log(log_path))
            t0 = time.monotonic()
            if not command('-activate'):
                raise Failed('round %d: xscreensaver-command -activate failed' % rnd)
            launch = re.compile(r'forked "\S*duskmere -?-root" in pid (\d+) '
                                r'on window (0x[0-9a-f]+)')
            found = wait_for('round %d: the daemon starting duskmere' % rnd,
                             lambda: launch.search(read_log(log_path)[log_before:]), START_WITHIN)
            started = time.monotonic() - t0
            pid, window = int(found.group(1)), int(found.group(2), 16)
            # Forked first, then exec'd: wait for the program to change, and for the exec to
            # finish: the kernel names the new program before it has laid out its environment,
            # which reads as empty until then.
            try:
                wait_for('exec', lambda: executable(pid) == os.path.realpath(hack) and environment(pid),
                         START_WITHIN, interval=0.01)
            except Failed:
                raise Failed('round %d: the daemon ran %s, not the duskmere under test'
                             % (rnd, executable(pid)))
            given = environment(pid)
            if int(given.get(b'XSCREENSAVER_WINDOW', b'0'), 0) != window:
                raise Failed('round %d: duskmere was not given the daemon\'s window 0x%x'
                             % (rnd, window))
            lit = wait_for('round %d: lit windows on the screen' % rnd,
                           lambda: (n := lit_window_pixels(display)) >= MIN_LIT_PIXELS and n,
                           LIT_WITHIN - started, interval=0.25)
            shown = time.monotonic() - t0
            if (process_state(pid) or ('Z',))[0] == 'Z':
                raise Failed('round %d: duskmere exited while the screen was blanked' % rnd)

            if not command('-deactivate'):
                raise Failed('round %d: xscreensaver-command -deactivate failed' % rnd)
            status, t1 = [], time.monotonic()
            try:
                wait_for('round %d: duskmere gone' % rnd, lambda: ended(pid, status), GONE_WITHIN, interval=0.01)
                gone = time.monotonic() - t1
            except Failed:
                state = process_state(pid)
                what = 'running'
                if state and state[0] == 'Z':
                    what = 'a zombie of pid %d' % state[1]
                raise Failed('round %d: duskmere (pid %d) still %s %.1f s after -deactivate'
                             % (rnd, pid, what, GONE_WITHIN))
            # The daemon counts only a death by its SIGTERM as normal; an exit is a "crash".
            if status and not (os.WIFSIGNALED(status[0]) and os.WTERMSIG(status[0]) == signal.SIGTERM):
                raise Failed('round %d: duskmere ended with wait status 0x%x, not by SIGTERM'
                             % (rnd, status[0]))
            time.sleep(0.5)  # let the daemon finish its log of the round
            lines = read_log(log_path)[log_before:].splitlines()
            bad = complaints(lines, pid, user.pw_name)
            if bad:
                raise Failed('round %d: the daemon\'s log complains:\n  ' % rnd + '\n  '.join(bad))
            print('round %d: duskmere (pid %d) started %.2f s after -activate, %d lit pixels on '
                  'screen at %.2f s; gone %.3f s after -deactivate (%s)'
                  % (rnd, pid, started, lit, shown, gone,
                     'ended by SIGTERM' if status else 'reaped by its parent'), flush=True)
        if daemon.poll() is not None:
            raise Failed('the daemon exited with status %d' % daemon.returncode)
    except Failed:
        log_path = os.path.join(work, 'daemon.log')
        if os.path.exists(log_path):
            print('--- daemon log ---\n' + read_log(log_path)[-4000:], file=sys.stderr)
        raise
    finally:
        for p in (daemon, xvfb):
            if p and p.poll() is None:
                try:
                    os.killpg(p.pid, signal.SIGTERM) if p is daemon else p.terminate()
                    p.wait(timeout=5)
                except (ProcessLookupError, subprocess.TimeoutExpired):
                    p.kill()
                    p.wait()
        shutil.rmtree(work, ignore_errors=True)


def main():
    if len(sys.argv) != 2 or not os.access(sys.argv[1], os.X_OK):
        print('usage: xscreensaver_daemon_test.py PATH/TO/duskmere', file=sys.stderr)
        return 2
    try:
        run(sys.argv[1])
    except Failed as e:
        print('FAILED: %s' % e, file=sys.stderr)
        return 1
    print('passed: %d rounds' % ROUNDS)
    return 0


if __name__ == '__main__':
    sys.exit(main())

#!/usr/bin/env python3
"""CPU share of one core used by duskmere-wayland and its compositor (headless sway with pixman,
KWin, mutter), beside `duskmere -root` and Xvfb, in one run.

Usage: bench/wayland_cpu.py [--seconds 20] [--size 1920x1080] [--scenes city,campfire] [--rounds 2]
                            [--compositors sway,kwin,mutter] [--x11 NAME=DUSKMERE]... [--floor PROGRAM]
                            [--extra=...] [--together] NAME=DUSKMERE_WAYLAND...
Every measurement starts a fresh compositor (as an unprivileged user when run as root, as the
compositors demand) with one output of --size, runs the program with seed 7, and after 3 s of
warm-up reads the CPU time of the program and of the compositor process from /proc (schedstat, as
bench/x11_cpu.py does) over the measured seconds. --floor runs bench's wayland_damage_floor (one
changed pixel a frame, on compositors with the layer shell) as one more program: the least a
compositor spends on a saver-shaped client. With --together, every program of a scene runs at the
same time, each on its own server, and all are measured over the same seconds: on a machine whose
speed drifts from minute to minute (a shared virtual machine), the programs then meet the same
drift, and their comparison holds where one after another it would not. Example, before and after:
  bench/wayland_cpu.py --x11 x11=build/release/platform/x11/duskmere \\
      --floor build/release/bench/wayland_damage_floor \\
      old=/tmp/base/duskmere-wayland new=build/release/platform/wayland/duskmere-wayland
"""
import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, '..', 'tests', 'support'))
from x11_cpu import WARM_UP, cpu_seconds, start_xvfb  # noqa: E402
from harness import Failed, TEST_USER, as_user, unprivileged_user, wait_for  # noqa: E402

SEED = '7'


def descendants(pid):
    """pid and every process below it."""
    children = {}
    for entry in os.listdir('/proc'):
        if entry.isdigit():
            try:
                with open('/proc/%s/stat' % entry) as f:
                    parent = int(f.read().rsplit(')', 1)[1].split()[1])
                children.setdefault(parent, []).append(int(entry))
            except (OSError, ValueError, IndexError):
                pass
    found, todo = [], [pid]
    while todo:
        p = todo.pop()
        found.append(p)
        todo += children.get(p, [])
    return found


def named(pid, name):
    for p in descendants(pid):
        try:
            with open('/proc/%d/comm' % p) as f:
                if f.read().strip() == name:
                    return p
        except OSError:
            pass
    return None


def kwin_binary(work):
    # Debian's kwin_wayland carries a file capability a container may refuse to grant ("Operation
    # not permitted" at exec); a copy carries none.
    copy = os.path.join(work, 'kwin_wayland')
    if not os.path.exists(copy):
        shutil.copy(shutil.which('kwin_wayland'), copy)
        os.chmod(copy, 0o755)
    return copy


class Compositor:
    """One headless compositor with one output of `size`, in its own runtime folder."""

    def __init__(self, kind, size, work, user):
        width, height = size.split('x')
        self.runtime = tempfile.mkdtemp(prefix='run-%s-' % kind, dir=work)
        os.chown(self.runtime, user.pw_uid, user.pw_gid)
        env = {'PATH': '/usr/bin:/bin', 'HOME': work, 'XDG_RUNTIME_DIR': self.runtime}
        if kind == 'sway':
            config = os.path.join(self.runtime, 'config')
            with open(config, 'w') as f:
                f.write('output HEADLESS-1 resolution %s position 0 0 scale 1\nseat * hide_cursor 100\n' % size)
            env.update(WLR_BACKENDS='headless', WLR_LIBINPUT_NO_DEVICES='1', WLR_RENDERER='pixman')
            command, socket, process = ['sway', '-c', config], 'wayland-1', 'sway'
        elif kind == 'kwin':
            env.update(KWIN_COMPOSE='O2', KWIN_WAYLAND_NO_PERMISSION_CHECKS='1', QT_QPA_PLATFORM='wayland')
            command = ['dbus-run-session', '--', kwin_binary(work), '--virtual', '--width', width, '--height',
                       height, '--output-count', '1', '--socket', 'wayland-kwin', '--no-lockscreen',
                       '--no-global-shortcuts', '--no-kactivities']
            socket, process = 'wayland-kwin', 'kwin_wayland'
        elif kind == 'mutter':
            # mutter's headless backend wants PipeWire for its screen casts, started before it.
            script = ('pipewire & while [ ! -e "$XDG_RUNTIME_DIR/pipewire-0" ]; do sleep 0.05; done; '
                      'wireplumber & exec mutter --headless --wayland --no-x11 --wayland-display wayland-mutter '
                      '--virtual-monitor %s' % size)
            command, socket, process = ['dbus-run-session', '--', 'sh', '-c', script], 'wayland-mutter', 'mutter'
        else:
            sys.exit('unknown compositor ' + kind)
        self.log = open(os.path.join(self.runtime, 'log'), 'w')
        self.process = subprocess.Popen(command, env=env, stdout=self.log, stderr=self.log, cwd=self.runtime,
                                        start_new_session=True, **as_user(user))
        self.socket = os.path.join(self.runtime, socket)
        wait_for('%s socket' % kind, lambda: os.path.exists(self.socket) or self.process.poll() is not None, 30)
        if self.process.poll() is not None:
            sys.exit('%s ended at start; see %s' % (kind, self.log.name))
        self.pid = wait_for('%s process' % kind, lambda: named(self.process.pid, process), 10)
        self.env = dict(os.environ, WAYLAND_DISPLAY=self.socket, XDG_RUNTIME_DIR=self.runtime)
        self.env.pop('DISPLAY', None)

    def stop(self):
        try:
            os.killpg(self.process.pid, signal.SIGTERM)
            self.process.wait(10)
        except (ProcessLookupError, subprocess.TimeoutExpired):
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait()


def start_x11(program, scene, size):
    """`program -root` on a fresh Xvfb: (the program, the server's pid, what stops both)."""
    xvfb, display = start_xvfb(size)
    env = dict(os.environ, DISPLAY=display)
    env.pop('XSCREENSAVER_WINDOW', None)
    hack = subprocess.Popen([program, '-root', '--seed', SEED, '--scene', scene], env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)

    def stop():
        hack.send_signal(signal.SIGTERM)
        hack.wait()
        xvfb.terminate()
        xvfb.wait()
    return hack, xvfb.pid, stop


def start_wayland(kind, command, size, work, user):
    """`command` on a fresh compositor: (the program, the compositor's pid, what stops both)."""
    compositor = Compositor(kind, size, work, user)
    client = subprocess.Popen(command, env=compositor.env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)

    def stop():
        client.send_signal(signal.SIGTERM)
        client.wait()
        compositor.stop()
    return client, compositor.pid, stop


def measure(starts, seconds):
    """Starts every one of `starts` (each a function returning what start_x11 returns), lets them
    warm up, and gives each one's CPU shares (% of one core: program, server) over the same
    `seconds`."""
    started = []
    try:
        for start in starts:
            started.append(start())
        time.sleep(WARM_UP)
        for program, _, _ in started:
            if program.poll() is not None:
                sys.exit('%s ended early: %s' % (program.args[0], program.stderr.read().decode().strip()))
        read = lambda: [(cpu_seconds(p.pid), cpu_seconds(server)) for p, server, _ in started]  # noqa: E731
        before, t0 = read(), time.monotonic()
        time.sleep(seconds)
        after, t1 = read(), time.monotonic()
    finally:
        for _, _, stop in started:
            stop()
    wall = t1 - t0
    return [(100 * (p1 - p0) / wall, 100 * (s1 - s0) / wall) for (p0, s0), (p1, s1) in zip(before, after)]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('--seconds', type=float, default=20)
    parser.add_argument('--size', default='1920x1080')
    parser.add_argument('--scenes', default='city,campfire')
    parser.add_argument('--rounds', type=int, default=2)
    parser.add_argument('--compositors', default='sway,kwin,mutter')
    parser.add_argument('--x11', action='append', default=[], help='NAME=DUSKMERE, run with -root on Xvfb')
    parser.add_argument('--floor', help='wayland_damage_floor, measured once a round on each compositor '
                        'with the layer shell')
    parser.add_argument('--extra', default='', help='more options for every duskmere-wayland')
    parser.add_argument('--together', action='store_true', help='measure the programs of a scene at the same time')
    parser.add_argument('programs', nargs='*', help='NAME=DUSKMERE_WAYLAND')
    args = parser.parse_args()
    programs = [p.split('=', 1) for p in args.programs]
    x11 = [p.split('=', 1) for p in args.x11]
    kinds = [k for k in args.compositors.split(',') if k]
    user = unprivileged_user()
    if not user:
        sys.exit('running as root, and %s could not be created' % TEST_USER)
    print('%-9s %-7s %-10s %8s %8s %8s   (%% of one core, %g s at %s)' %
          ('scene', 'host', 'build', 'program', 'server', 'total', args.seconds, args.size), flush=True)
    with tempfile.TemporaryDirectory(prefix='wayland-cpu-') as work:
        os.chmod(work, 0o755)
        groups = []  # jobs measured at the same time: (scene, host, name, how to start)
        for scene in args.scenes.split(','):
            jobs = [(scene, 'xvfb', name, lambda p=program, s=scene: start_x11(p, s, args.size))
                    for name, program in x11]
            for kind in kinds:
                for name, program in programs:
                    command = [program, '--seed', SEED, '--scene', scene] + args.extra.split()
                    jobs.append((scene, kind, name, lambda k=kind, c=command: start_wayland(
                        k, c, args.size, work, user)))
            groups += [jobs] if args.together else [[job] for job in jobs]
        if args.floor:
            for kind in kinds:
                if kind != 'mutter':  # no layer shell there
                    groups.append([('1 pixel', kind, 'floor', lambda k=kind: start_wayland(
                        k, [args.floor], args.size, work, user))])
        runs = {}
        for _ in range(args.rounds):
            for group in groups:
                for (scene, host, name, _), (program, server) in zip(group, measure([g[3] for g in group],
                                                                                    args.seconds)):
                    runs.setdefault((scene, host, name), []).append((program, server))
                    print('%-9s %-7s %-10s %8.2f %8.2f %8.2f' % (scene, host, name, program, server,
                                                                 program + server), flush=True)
        if args.rounds > 1:
            print('lowest-highest of %d rounds:' % args.rounds)
            for (scene, host, name), values in runs.items():
                spread = lambda v: '%.2f-%.2f' % (min(v), max(v))  # noqa: E731
                print('%-9s %-7s %-10s %11s %11s %11s' % (
                    scene, host, name, spread([p for p, _ in values]), spread([s for _, s in values]),
                    spread([p + s for p, s in values])))


if __name__ == '__main__':
    try:
        main()
    except Failed as e:
        sys.exit(str(e))

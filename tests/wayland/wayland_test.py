#!/usr/bin/env python3
"""duskmere-wayland against real compositors, one table of cases: headless sway (layer shell and
idle notification), weston (no layer shell: the window fallback), KWin (layer shell, fractional
scale) and mutter (no layer shell; idle through its IdleMonitor on the session bus).

usage: wayland_test.py SAVER RENDER INPUT INHIBITOR [COMPOSITOR...]
  (duskmere-wayland, duskmere-render, wayland_virtual_pointer, wayland_idle_inhibitor; then
  sway, weston, kwin or mutter to run those alone)

Each compositor starts once, as an unprivileged user (created if need be when run as root), in its
own runtime folder (KWin and mutter with their own session bus), and every case that applies to it
runs against it. Outputs are read back with grim on sway, weston-screenshooter, KWin's ScreenShot2
(the saver stopped by SIGSTOP meanwhile) and the newest frame of mutter's screen casts (through
session_bus.py), and each picture must equal, byte for byte, a frame that `duskmere-render --bounds WxH@S` renders for that
output with the same seed. Input comes from wtype and our virtual pointer on sway, our client of
KWin's fake input, and mutter's RemoteDesktop.
Exit status: 0 passed, 1 failed, 77 skipped (no sway, or no unprivileged user).
"""
import glob, hashlib, json, os, re, shutil, signal, subprocess, sys, tempfile, time, types

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
import pngread  # noqa: E402
from harness import Failed, as_user, skip, unprivileged_user, wait_for, TEST_USER  # noqa: E402

SAVER, RENDER, INPUT, INHIBITOR = sys.argv[1:5]
ONLY = sys.argv[5:]
HERE = os.path.dirname(os.path.abspath(__file__))
SEED = 4242
SEARCH_FRAMES = 900  # renderer frames a screenshot may show: 30 s of the saver's, the longest a case waits (read lazily)
STOP_WITHIN = 1.0    # s from the input (or the compositor's death) to the saver's exit
IDLE = 1             # s of --idle
SWAY_CONFIG = """\
output HEADLESS-1 resolution 1280x720 position 0 0 scale 1
default_floating_border none
for_window [app_id="duskmere"] floating enable
seat * hide_cursor 100
"""
DEBUG_LINE = re.compile(r'\[ *\d+\.\d+\] ')  # libwayland's log of each message (WAYLAND_DEBUG)
FRAME_REQUEST = re.compile(r' -> wl_surface@\d+\.frame\(new id wl_callback@(\d+)\)')
# evdev key codes, for the compositors that take keys by code.
KEYS = {'q': 16, 'f': 33, 'k': 37, 'x': 45}


class Session:
    """Processes run as `user` in one runtime folder under `work`, with their own session bus when
    asked (what dbus-run-session gives, shared with the test's own D-Bus client)."""

    def __init__(self, work, user, name, bus=False):
        self.work, self.user, self.name = work, user, name
        self.runtime = os.path.join(work, 'run-' + name)
        os.makedirs(self.runtime, mode=0o700)
        os.chown(self.runtime, user.pw_uid, user.pw_gid)
        self.as_user = as_user(user)
        self.env = {'PATH': '/usr/bin:/bin', 'HOME': self.runtime, 'XDG_RUNTIME_DIR': self.runtime}
        self.processes = []
        if bus:
            self.env['DBUS_SESSION_BUS_ADDRESS'] = 'unix:path=%s/bus' % self.runtime
            self.spawn('dbus-daemon', '--session', '--nofork', '--nopidfile',
                       '--address=' + self.env['DBUS_SESSION_BUS_ADDRESS'])
            self.wait_socket('bus')

    def spawn(self, *command, env=None, **kw):
        log = open(os.path.join(self.work, '%s-%s.log' % (self.name, os.path.basename(command[0]))), 'w')
        process = subprocess.Popen(command, env=dict(self.env, **(env or {})), stdout=kw.pop('stdout', log),
                                   stderr=log, cwd=self.runtime, **self.as_user, **kw)
        self.processes.append(process)
        return process

    def wait_socket(self, name, within=20):
        path = os.path.join(self.runtime, name)
        wait_for('%s: %s' % (self.name, name), lambda: os.path.exists(path), within)
        return path

    def stop(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.kill()
            process.wait()


class Compositor:
    """A running compositor: its outputs as (name, renderer bounds), screenshots and input."""
    name = ''
    # Screenshots are taken with the saver stopped, unless the compositor casts whole frames as it
    # composes them and casts none while the screen is still (mutter).
    freeze = True

    def __init__(self, session, process, socket):
        self.session, self.process = session, process
        self.runtime = session.runtime
        # Clients connect by absolute path, whoever runs them.
        self.env = dict(os.environ, **session.env, WAYLAND_DISPLAY=os.path.join(session.runtime, socket))
        self.outputs = []

    def run(self, *args, **kw):
        return subprocess.run(args, env=self.env, check=True, capture_output=True, timeout=10, **kw).stdout

    def client(self, *args):
        """One of our clients, talking lines on stdin and stdout, as the compositor's user (KWin
        offers its fake input to none but its own user's programs)."""
        process = subprocess.Popen(args, env=self.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                                   **self.session.as_user)
        self.session.processes.append(process)
        if process.stdout.readline().strip() != 'ready':
            raise Failed('%s did not start' % os.path.basename(args[0]))
        return process

    def kill(self):
        """The compositor alone dies, as a crash would end it."""
        self.process.kill()
        self.process.wait()

    def stop(self):
        self.session.stop()


class Sway(Compositor):
    name = 'sway'

    def __init__(self, session):
        config = os.path.join(session.work, 'sway.config')
        with open(config, 'w') as f:
            f.write(SWAY_CONFIG)
        process = session.spawn('sway', '-c', config, env={
            'WLR_BACKENDS': 'headless', 'WLR_LIBINPUT_NO_DEVICES': '1', 'WLR_RENDERER': 'pixman'})
        session.wait_socket('wayland-1', 10)
        super().__init__(session, process, 'wayland-1')
        self.env['SWAYSOCK'] = wait_for('sway IPC', lambda: glob.glob(self.runtime + '/sway-ipc.*'), 5)[0]
        self.run('swaymsg', 'create_output')
        # swaymsg splits at commas: the position takes none.
        self.run('swaymsg', 'output HEADLESS-2 resolution 1920x1080 position 1280 0 scale 2')
        self.outputs = [('HEADLESS-1', '1280x720@1'), ('HEADLESS-2', '960x540@2')]
        self.device = InputDevice(self)
        # A keyboard that stays: each `wtype KEY` then types through a seat the saver already holds a
        # keyboard of (a keyboard that appears with its key may press and release it before any client
        # has bound it).
        session.processes.append(subprocess.Popen(['wtype', '-s', '600000', 'x'], env=self.env))

    def shot(self, output):
        data = self.run('grim', '-t', 'ppm', '-o', output, '-')
        magic, size, depth, pixels = data.split(b'\n', 3)
        width, height = map(int, size.split())
        return width, height, rgba_from_rgb(width, height, pixels)

    def key(self, name):
        self.run('wtype', name)

    def click(self):
        self.device.send('click')

    def move(self, dx, dy):
        self.device.send('move %d %d' % (dx, dy))

    def tree(self):
        return json.loads(self.run('swaymsg', '-t', 'get_tree'))


class Weston(Compositor):
    name = 'weston'

    def __init__(self, session):
        process = session.spawn('weston', '--backend=headless-backend.so', '--use-pixman', '--debug',
                                '--width=640', '--height=400', '--socket=wayland-weston', '--idle-time=0')
        session.wait_socket('wayland-weston', 10)
        super().__init__(session, process, 'wayland-weston')
        self.outputs = [('headless', '640x400@1')]

    def shot(self, output):
        for old in glob.glob(self.runtime + '/wayland-screenshot-*.png'):
            os.remove(old)
        self.run('weston-screenshooter', cwd=self.runtime)
        return read_png(glob.glob(self.runtime + '/wayland-screenshot-*.png')[0])


class BusCompositor(Compositor):
    """KWin and mutter: screenshots and (on mutter) input over their session bus, by session_bus.py
    run as their user."""

    def start_bus_client(self, kind):
        self.bus = self.session.spawn('/usr/bin/python3', os.path.join(HERE, 'session_bus.py'), kind,
                                      stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.ask('ready')

    def ask(self, *command):
        if command != ('ready',):
            self.bus.stdin.write(' '.join(map(str, command)) + '\n')
            self.bus.stdin.flush()
        line = self.bus.stdout.readline()
        answer = json.loads(line) if line else {'error': 'session_bus.py ended'}
        if isinstance(answer, dict) and 'error' in answer:
            raise Failed('%s: %s' % (' '.join(map(str, command)), answer['error']))
        return answer

    def shot(self, output):
        path = os.path.join(self.runtime, 'shot.rgba')
        width, height = self.ask('shot', output, path)
        with open(path, 'rb') as f:
            return width, height, f.read()


class KWin(BusCompositor):
    name = 'kwin'

    def __init__(self, session):
        # Debian's binary carries a file capability that a container may refuse to grant; a plain
        # copy has none.
        binary = os.path.join(session.work, 'kwin_wayland')
        shutil.copyfile(shutil.which('kwin_wayland'), binary)
        os.chmod(binary, 0o755)
        process = session.spawn(binary, '--virtual', '--width', '1280', '--height', '720', '--output-count', '2',
                                '--scale', '1.5', '--socket', 'wayland-kwin', '--no-lockscreen',
                                '--no-global-shortcuts', '--no-kactivities', env={
                                    'KWIN_COMPOSE': 'O2', 'KWIN_WAYLAND_NO_PERMISSION_CHECKS': '1',
                                    'KWIN_SCREENSHOT_NO_PERMISSION_CHECKS': '1'})
        session.wait_socket('wayland-kwin', 20)
        super().__init__(session, process, 'wayland-kwin')
        self.start_bus_client('kwin')
        self.outputs = [('Virtual-0', '1280x720@1.5'), ('Virtual-1', '1280x720@1.5')]
        self.device = InputDevice(self)

    def key(self, name):
        self.device.send('key %d' % KEYS[name])

    def click(self):
        self.device.send('click')

    def move(self, dx, dy):
        self.device.send('move %d %d' % (dx, dy))


class Mutter(BusCompositor):
    name = 'mutter'
    freeze = False

    def __init__(self, session):
        session.spawn('pipewire')
        session.wait_socket('pipewire-0')
        session.spawn('wireplumber')
        process = session.spawn('mutter', '--headless', '--wayland', '--no-x11', '--wayland-display', 'wayland-mutter',
                                '--virtual-monitor', '1280x720', '--virtual-monitor', '1920x1080')
        session.wait_socket('wayland-mutter', 20)
        super().__init__(session, process, 'wayland-mutter')
        self.start_bus_client('mutter')
        # The second monitor at scale 2 (the first is too small for it).
        sizes = self.ask('outputs')
        self.outputs = [(name, '%dx%d@1' % (w, h) if n == 0 else '%dx%d@2' % (w // 2, h // 2))
                        for n, (name, w, h) in enumerate(sizes)]

    def key(self, name):
        self.ask('key', KEYS[name])

    def click(self):
        self.ask('click')

    def move(self, dx, dy):
        self.ask('move', dx, dy)


class InputDevice:
    """Our virtual pointer (and on KWin, keyboard) client."""

    def __init__(self, compositor):
        self.process = compositor.client(INPUT)

    def send(self, command):
        self.process.stdin.write(command + '\n')
        self.process.stdin.flush()
        if self.process.stdout.readline().strip() != 'done':
            raise Failed('the input client did not take ' + command)


class Saver:
    started_all = []

    def __init__(self, compositor, *args, debug=False, alone=True):
        if isinstance(compositor, Sway) and alone:
            blank(compositor, compositor.outputs[:1])  # the last saver's picture is gone: what shows next is ours
        # stderr into a file: a pipe nobody reads while it runs could fill and stall it.
        self.stderr, self.read, self.text = tempfile.TemporaryFile('w+b'), 0, ''
        env = dict(compositor.env, WAYLAND_DEBUG='1') if debug else compositor.env
        session = getattr(compositor, 'session', None)
        self.started = time.monotonic()
        self.process = subprocess.Popen([SAVER, '--seed', str(SEED), *args], env=env, stdout=subprocess.DEVNULL,
                                        stderr=self.stderr, **(session.as_user if session else {}))
        Saver.started_all.append(self)

    def log(self):
        self.stderr.seek(self.read)  # only what came since: with debug=True it grows fast
        more = self.stderr.read()
        self.read += len(more)
        self.text += more.decode(errors='replace')
        return self.text

    def messages(self):
        """What it says, without libwayland's protocol log (debug=True)."""
        return ''.join(l for l in self.log().splitlines(True) if not DEBUG_LINE.match(l))

    def frozen(self, on):
        self.process.send_signal(signal.SIGSTOP if on else signal.SIGCONT)

    def running(self):
        return self.process.poll() is None

    def ends(self, status, within=STOP_WITHIN):
        try:
            got = self.process.wait(within)
        except subprocess.TimeoutExpired:
            self.process.kill()
            raise Failed('still running %.1f s after it should have ended' % within)
        if got != status:
            raise Failed('ended with status %d, not %d: %s' % (got, status, self.messages()[-2000:]))
        return self.messages()

    def event(self, pattern, after=0, within=10):
        """With debug=True, waits until the saver has taken a Wayland event matching `pattern`
        (libwayland logs each event as it dispatches it) past offset `after` of its log; returns the
        offset after it."""
        def seen():
            if not self.running():
                raise Failed('the saver ended: ' + self.messages()[-2000:])
            found = re.compile(pattern).search(self.log(), after)
            return found and found.end()
        return wait_for('the saver taking ' + pattern, seen, within)

    def shown(self, after=0, within=20):
        """With debug=True, waits until the compositor has shown a frame of the saver's (a frame
        callback done): a screenshot before then may still show what was there."""
        def seen():
            if not self.running():
                raise Failed('the saver ended: ' + self.messages()[-2000:])
            log = self.log()
            for request in FRAME_REQUEST.finditer(log, after):
                if re.compile(r'wl_callback@%s\.done\(' % request.group(1)).search(log, request.end()):
                    return True
        wait_for('a frame of the saver shown', seen, within)

    def kill(self):
        if self.running():
            self.process.kill()
        self.process.wait()


def rgba_from_rgb(width, height, rgb):
    rgba = bytearray(width * height * 4)
    for c in range(3):
        rgba[c::4] = rgb[c::3]
    rgba[3::4] = b'\xff' * (width * height)
    return bytes(rgba)


def read_png(path):
    """An 8-bit RGB or RGBA PNG, not interlaced, as (width, height, RGBA bytes)."""
    width, height, rows, _ = pngread.read_png(path)
    return width, height, rgba_from_rgb(width, height, b''.join(rows))


class Reference:
    """The renderer's frames for one bounds, read only as far as a search needs and kept as
    digests: each bounds is rendered once a run, whichever compositors and cases look at it."""
    all = {}

    def __init__(self, bounds):
        self.render = subprocess.Popen([RENDER, '--seed', str(SEED), '--bounds', bounds, '--frames',
                                        str(SEARCH_FRAMES), '--out', '-'], stdout=subprocess.PIPE)
        self.digests = {}
        self.count = 0

    @classmethod
    def frame(cls, picture, bounds, limit):
        """The renderer's frame number that equals the picture (width, height, RGBA) among the first
        `limit`, or None."""
        reference = cls.all.get(bounds) or cls.all.setdefault(bounds, Reference(bounds))
        width, height, pixels = picture
        digest = hashlib.sha1(pixels).digest()
        while digest not in reference.digests and reference.count < min(limit, SEARCH_FRAMES + 1):
            frame = reference.render.stdout.read(len(pixels))
            if len(frame) != len(pixels):
                break
            reference.digests.setdefault(hashlib.sha1(frame).digest(), reference.count)
            reference.count += 1
        return reference.digests.get(digest)

    @classmethod
    def close(cls):
        for reference in cls.all.values():
            reference.render.kill()
            reference.render.wait()


def frames_since(saver):
    """No saver is ahead of the clock: it cannot show a later frame than this."""
    return int((time.monotonic() - saver.started) * 30) + 5


def matching_outside(picture, bounds, outside, limit):
    """Whether a renderer frame equals the picture outside the box (x0, y0, x1, y1)."""
    width, height, pixels = picture
    size, line = width * height * 4, width * 4
    x0, y0, x1, y1 = outside
    render = subprocess.Popen([RENDER, '--seed', str(SEED), '--bounds', bounds, '--frames', str(limit),
                               '--out', '-'], stdout=subprocess.PIPE)
    try:
        for n in range(limit):
            frame = render.stdout.read(size)
            if len(frame) != size:
                return False
            if all(frame[y * line:(y + 1) * line] == pixels[y * line:(y + 1) * line] if not y0 <= y < y1 else
                   frame[y * line:y * line + x0 * 4] == pixels[y * line:y * line + x0 * 4] and
                   frame[y * line + x1 * 4:(y + 1) * line] == pixels[y * line + x1 * 4:(y + 1) * line]
                   for y in range(height)):
                return True
        return False
    finally:
        render.kill()
        render.wait()


def plain(picture):
    pixels = picture[2]
    return pixels == pixels[:4] * (len(pixels) // 4)


def shots(saver, compositor, outputs):
    if not compositor.freeze:
        return [compositor.shot(name) for name, bounds in outputs]
    saver.frozen(True)
    try:
        return [compositor.shot(name) for name, bounds in outputs]
    finally:
        saver.frozen(False)


def shows(saver, compositor, outputs=None, rounds=1, past=0, within=20):
    """Waits until screenshots of the outputs (taken with the saver stopped) equal frames of the
    renderer; from then on every screenshot must, until `rounds` rounds have shown frames past
    `past`, each round later frames than the last."""
    outputs = outputs or compositor.outputs
    seen, matched, last = [], [], []
    # Free-running until it shows something: a saver stopped for most of its first second may
    # take long to leave the city's black first frame.
    for name, bounds in outputs:
        drawn(compositor, name, within, saver)

    def attempt():
        if not saver.running():
            raise Failed('the saver ended: ' + saver.messages()[-2000:])
        pictures = shots(saver, compositor, outputs)
        limit = frames_since(saver)
        # A plain screen proves nothing: the city's first frame is all black.
        found = [None if plain(p) else Reference.frame(p, bounds, limit) for p, (name, bounds) in zip(pictures, outputs)]
        last[:] = [('plain' if plain(p) else n, limit) for p, n in zip(pictures, found)]
        if None in found:
            if matched:
                bad = [name for (name, bounds), n in zip(outputs, found) if n is None]
                raise Failed('after frames %s had matched, %s did not equal the renderer' % (matched, bad))
            return False
        matched.append(found)
        if min(found) > past and (not seen or min(found) > max(seen[-1])):
            seen.append(found)
        return len(seen) >= rounds
    try:
        wait_for('screenshots equal to the renderer at %s' % [b for n, b in outputs], attempt, within)
    except Failed as e:
        raise Failed('%s (last: %s)' % (e, last))
    return seen


def blank(compositor, outputs=None, within=5):
    """Waits until every output shows a plain background: no surface of ours is left."""
    names = [n for n, b in outputs or compositor.outputs]
    wait_for('plain outputs', lambda: all(plain(compositor.shot(n)) for n in names), within)


def drawn(compositor, output=None, within=5, saver=None):
    """Waits until the output shows more than its plain background: a surface is up."""
    name = output or compositor.outputs[0][0]

    def up():
        if saver and not saver.running():
            raise Failed('the saver ended: ' + saver.messages()[-2000:])
        return not plain(compositor.shot(name))
    wait_for('a picture on ' + name, up, within)


# The cases. Each takes the running compositor.

def every_output(c):
    saver = Saver(c)
    # KWin at 1.5 once lost its bottom row some 80 frames in: look there, several frames apart.
    seen = shows(saver, c, rounds=3, past=80, within=30) if c.name == 'kwin' else shows(saver, c)
    saver.process.send_signal(signal.SIGTERM)
    saver.ends(0)
    return 'frames %s' % seen


def pointer_over(saver, c):
    """Waits until the saver has the keyboard and the pointer; returns the offset of its log past
    the pointer's entry. mutter enters a surface only on a motion, and may drop those of its
    window's first moments: nudges of 1 px, to and fro, until it does. A pointer the saver made
    while it was already over the window gets motions there with no entry."""
    saver.event(r'wl_keyboard@\d+\.enter\(', within=20)
    for nudge in range(10):
        c.move(-1 if nudge % 2 else 1, 0)
        try:
            return saver.event(r'wl_pointer@\d+\.(enter|motion)\(', within=1)
        except Failed:
            if not saver.running():
                break
    raise Failed('1 px nudges: %s' % pointer_events(saver))


def pointer_events(saver):
    """The saver's last pointer events, what a failure shows."""
    lines = [l for l in saver.log().splitlines() if 'wl_pointer@' in l and '->' not in l]
    return '%s; %s' % ('running' if saver.running() else 'ended', ' '.join(lines[-8:]))


def input_ends_it(c):
    # 2 px out and back, on mutter again and again while the window opens: it has reported the
    # pointer's entry at a place its opening animation distorted. Many tries there.
    for attempt in range(10 if c.name == 'mutter' else 1):
        saver = Saver(c, debug=True)
        saver.event(r' -> wl_surface@\d+\.attach\(wl_buffer', within=15)  # its first picture, to be shown
        for jitter in range(5 if c.name == 'mutter' else 1):  # past its 250 ms opening animation
            c.move(2, 2)
            c.move(-2, -2)
            time.sleep(0.1)
        try:
            after = pointer_over(saver, c)
            saver.event(r'wl_callback@\d+\.done\(', after)  # the loop went on past the entry
        except Failed as e:
            raise Failed('2 px moves to and fro (try %d): %s; pointer: %s' % (attempt + 1, e, pointer_events(saver)))
        if not saver.running():
            raise Failed('2 px moves to and fro ended the saver (try %d): %s' % (attempt + 1, pointer_events(saver)))
        saver.process.send_signal(signal.SIGTERM)
        saver.ends(0)
    # A hand's 200 px move comes as many motions.
    for what, act in (('a 200 px move', lambda: [c.move(20, 0) for step in range(10)]), ('a key', lambda: c.key('k')),
                      ('a button', c.click)):
        saver = Saver(c, debug=True)
        pointer_over(saver, c)
        if c.name == 'mutter':
            # Places GNOME reports while it animates the window open are no measure, by the
            # saver's rule, for half a second after the pointer's entry (which pointer_over saw).
            time.sleep(0.6)
        act()
        try:
            saver.ends(0)
        except Failed as e:
            raise Failed('%s: %s; pointer: %s' % (what, e, pointer_events(saver)))


def idle_shows_and_hides(c):
    saver = Saver(c, '--idle', str(IDLE), debug=True)
    saver.shown(within=IDLE + 20)
    shows(saver, c)
    c.key('k')
    # Hidden: its surfaces gone or emptied (a screenshot could miss a hiding shorter than its
    # own making); then made anew for the next showing, which must be exact again.
    after = saver.event(r' -> wl_surface@\d+\.(destroy\(\)|attach\(nil)')
    after = saver.event(r' -> wl_compositor@\d+\.create_surface\(', after, within=IDLE + 10)
    saver.shown(after)
    shows(saver, c)
    saver.process.send_signal(signal.SIGTERM)
    saver.ends(0)


def idle_inhibited(c):
    inhibitor = c.client(INHIBITOR)
    try:
        last = [None]

        def still():  # the inhibiting window is up and the screen settled
            now, last[0] = [c.shot(name) for name, bounds in c.outputs], last[0]
            last[0], before = now, last[0]
            return now == before and not all(plain(p) for p in now)
        wait_for('the inhibiting window', still, 10)
        saver = Saver(c, '--idle', str(IDLE), alone=False, debug=True)
        # Its idle watch made (ext-idle-notify, or the KDE protocol sway 1.7 has instead).
        saver.event(r' -> (ext_idle_notifier_v1@\d+\.get_idle_notification|org_kde_kwin_idle@\d+\.get_idle_timeout)\(')
        # Nothing to wait for but time: the outputs must not change for twice the idle time.
        end = time.monotonic() + 2 * IDLE
        while time.monotonic() < end:
            if not saver.running():
                raise Failed('the saver ended: ' + saver.messages())
            if [c.shot(name) for name, bounds in c.outputs] != last[0]:
                raise Failed('the saver showed while an idle inhibitor was held')
    finally:
        inhibitor.stdin.close()
        inhibitor.wait()
    # Released, the idle time runs out: what held it back was the inhibitor.
    shows(saver, c, within=6)
    saver.process.send_signal(signal.SIGTERM)
    saver.ends(0)


def scale_one_and_a_half(c):
    c.run('swaymsg', 'output HEADLESS-2 scale 1.5')
    try:
        saver = Saver(c)
        shows(saver, c, [('HEADLESS-2', '1280x720@1.5')])
        saver.process.send_signal(signal.SIGTERM)
        saver.ends(0)
    finally:
        c.run('swaymsg', 'output HEADLESS-2 scale 2')


def hidden_cursor(c):
    # sway hides an idle cursor (hide_cursor above): each pause brings leave, then enter at the
    # new place. Four gentle moves, 20 px in all, must still end the saver.
    saver = Saver(c, debug=True)
    pointer_over(saver, c)
    for step in range(4):
        if step:
            time.sleep(0.5)  # past hide_cursor's 100 ms
        if not saver.running():
            break
        c.move(5, 0)
    saver.ends(0)


def backing_scale_bound(c):
    # 16 device pixels a point on a 1920 x 1080 output: refused, or bounded and the screen covered
    # at once.
    saver = Saver(c, '--backing-scale', '16')
    try:
        status = saver.process.wait(STOP_WITHIN)
    except subprocess.TimeoutExpired:
        status = None
    message = saver.messages()
    if status is not None:
        if status != 2 or len(message.splitlines()) != 1:
            raise Failed('status %d, %r' % (status, message))
        return 'refused: ' + message.strip()
    for name, bounds in c.outputs:
        drawn(c, name, within=STOP_WITHIN)
    rss = int(re.search(r'VmRSS:\s+(\d+)', open('/proc/%d/status' % saver.process.pid).read()).group(1)) // 1024
    saver.process.send_signal(signal.SIGTERM)
    saver.ends(0)
    if rss > 1024 or len(message.splitlines()) != 1:
        raise Failed('%d MB resident, %r' % (rss, message))
    return 'clamped (%d MB): %s' % (rss, message.strip())


def swayidle_launches(c):
    status = os.path.join(c.runtime, 'idle-status')
    blank(c)
    # No -w: swayidle must not wait for the saver, or its other timeouts would.
    idle = subprocess.Popen(['swayidle', 'timeout', '1', '%s --seed %d; echo $? > %s' % (SAVER, SEED, status)],
                            env=c.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        drawn(c)
        c.key('q')
        wait_for('the saver ending on a key', lambda: os.path.exists(status) and open(status).read(), STOP_WITHIN)
        if open(status).read().strip() != '0':
            raise Failed('the saver launched by swayidle ended with status ' + open(status).read())
    finally:
        idle.kill()
        idle.wait()


def wallpaper_under_window(c):
    wallpaper = Saver(c, '--wallpaper')
    window = Saver(c, '--window')
    try:
        def floating():
            found = [n for o in c.tree()['nodes'] if o['name'] == 'HEADLESS-1' for w in o['nodes']
                     for n in w.get('floating_nodes', []) if n.get('app_id') == 'duskmere']
            return found and found[0]['rect']
        r = wait_for('a floating duskmere window', floating, 5)
        box = (r['x'], r['y'], r['x'] + r['width'], r['y'] + r['height'])

        def attempt():
            picture = shots(wallpaper, c, c.outputs[:1])[0]
            return not plain(picture) and matching_outside(picture, '1280x720@1', box, frames_since(wallpaper))
        wait_for('the wallpaper equal to the renderer around the window', attempt, 8)
        if not window.running():
            raise Failed('the window ended')
    finally:
        window.kill()
    if not wallpaper.running():
        raise Failed('the wallpaper ended without a signal')
    wallpaper.process.send_signal(signal.SIGTERM)
    wallpaper.ends(0)


def wallpaper(c):
    saver = Saver(c, '--wallpaper')
    shows(saver, c)
    saver.process.send_signal(signal.SIGTERM)
    saver.ends(0)


def window_keys(c):
    saver = Saver(c, '--window')

    def full_screen():
        nodes = [c.tree()]
        while nodes:
            node = nodes.pop()
            if node.get('app_id') == 'duskmere':
                return node['fullscreen_mode']
            nodes += node.get('nodes', []) + node.get('floating_nodes', [])
    wait_for('the window', lambda: full_screen() == 0, 5)
    c.key('f')
    wait_for('f making it full screen', lambda: full_screen() == 1, 2)
    c.key('f')
    wait_for('f leaving full screen', lambda: full_screen() == 0, 2)
    # Full screen by the compositor's hand: the next f must leave it, not ask for it again.
    c.run('swaymsg', '[app_id="duskmere"] fullscreen enable')
    wait_for('sway making it full screen', lambda: full_screen() == 1, 2)
    c.key('f')
    wait_for('f after sway made it full screen, leaving it', lambda: full_screen() == 0, 2)
    c.key('q')
    saver.ends(0)


def window_opens(c):
    saver = Saver(c, '--window', debug=True)
    if c.name == 'weston':  # no keyboard to give it
        saver.shown()
        saver.process.send_signal(signal.SIGTERM)
    else:
        saver.event(r'wl_keyboard@\d+\.enter\(', within=20)
        c.key('q')
    saver.ends(0)


def compositor_dies(c):
    capture = os.path.join(c.runtime, 'lost.png')
    saver = Saver(c, '--capture', capture)  # no protocol log: its lines are counted
    shows(saver, c, c.outputs[:1])
    c.kill()
    message = saver.ends(1)
    # weston's users hear once why they get windows; on GNOME that is the normal path, no news.
    lines = [l for l in message.splitlines() if c.name != 'weston' or 'no layer shell' not in l]
    if len(lines) != 1 or 'no capture written' not in message or os.path.exists(capture):
        raise Failed('after the compositor died: %r, capture left: %s' % (message, os.path.exists(capture)))


def no_compositor(env):
    saver = Saver(types.SimpleNamespace(env=env))
    message = saver.ends(1)
    if len(message.splitlines()) != 1:
        raise Failed('not one line: %r' % message)


def window_fallback(c):
    saver = Saver(c)
    shows(saver, c)
    saver.process.send_signal(signal.SIGINT)
    message = saver.ends(0)
    if 'no layer shell' not in message:
        raise Failed('no word of the missing layer shell: %r' % message)


ALL = ('sway', 'kwin', 'mutter')
CASES = [
    # (name, the compositors it runs on, case); each compositor's cases in this order, its death last.
    ('every output equals the renderer', ALL, every_output),
    ('a 200 px move, a key or a button ends it; 2 px do not', ALL, input_ends_it),
    ('--idle: shows when idle, a key hides it, shows again', ALL, idle_shows_and_hides),
    ('--idle: an idle inhibitor keeps it away', ('sway',), idle_inhibited),
    ('an output at scale 1.5 equals the renderer at @1.5', ('sway',), scale_one_and_a_half),
    ('gentle moves past a hidden cursor end it', ('sway',), hidden_cursor),
    ('--backing-scale 16 at 1920 x 1080: refused or bounded', ('sway',), backing_scale_bound),
    ('swayidle launches it, a key ends it', ('sway',), swayidle_launches),
    ('the wallpaper shows under a floating window', ('sway',), wallpaper_under_window),
    ('the wallpaper equals the renderer', ('kwin',), wallpaper),
    ('the window: f follows full screen both ways, q closes it', ('sway',), window_keys),
    ('no layer shell: full-screen windows equal to the renderer', ('weston',), window_fallback),
    ('the window opens and closes', ('weston', 'kwin', 'mutter'), window_opens),
    ('the compositor dies: status 1, one line', ALL + ('weston',), compositor_dies),
]
COMPOSITORS = [('sway', Sway, False), ('weston', Weston, False), ('kwin', KWin, True), ('mutter', Mutter, True)]
NEEDS = {'sway': ('sway', 'swaymsg', 'grim', 'wtype', 'swayidle'), 'weston': ('weston', 'weston-screenshooter'),
         'kwin': ('kwin_wayland', 'dbus-daemon'), 'mutter': ('mutter', 'pipewire', 'wireplumber', 'dbus-daemon')}


def missing(kind):
    lacking = [t for t in NEEDS[kind] if not shutil.which(t)]
    probe = {'kwin': 'import gi', 'mutter': 'import gi; gi.require_version("Gst", "1.0")'}.get(kind)
    if probe and subprocess.run(['/usr/bin/python3', '-c', probe], stderr=subprocess.DEVNULL).returncode:
        lacking.append('python3-gi' if kind == 'kwin' else 'gir1.2-gstreamer-1.0')
    return lacking


def main():
    if missing('sway'):
        skip('%s not installed (scripts/install-deps.sh wayland)' % missing('sway'))
    user = unprivileged_user()
    if not user:
        skip('running as root, and %s could not be created' % TEST_USER)
    failures = ran = 0
    with tempfile.TemporaryDirectory(prefix='duskmere-wayland-') as work:
        os.chmod(work, 0o755)
        global SAVER, INPUT, INHIBITOR
        # The test user runs our programs from here: a build tree may be in a folder only root enters.
        programs = os.path.join(work, 'bin')
        os.mkdir(programs)
        for program in ('SAVER', 'INPUT', 'INHIBITOR'):
            globals()[program] = shutil.copy(globals()[program], programs)
        try:
            for kind, start, bus in COMPOSITORS:
                if ONLY and kind not in ONLY:
                    continue
                if missing(kind):
                    print('skip  [%s] %s not installed (scripts/install-deps.sh wayland)' % (kind, missing(kind)))
                    continue
                started = time.monotonic()
                session = None
                try:
                    session = Session(work, user, kind, bus)
                    compositor = start(session)
                except (Failed, subprocess.SubprocessError, OSError) as e:
                    failures += 1
                    print('FAIL  [%s] start: %s' % (kind, e))
                    if session:
                        session.stop()
                    continue
                print('      [%s] started in %.1f s' % (kind, time.monotonic() - started))
                try:
                    for name, where, case in CASES:
                        if kind not in where:
                            continue
                        started, ran = time.monotonic(), ran + 1
                        try:
                            note = case(compositor)
                            print('ok    [%s] %-66s %.1f s%s' % (kind, name, time.monotonic() - started,
                                                               '  ' + note if note else ''))
                        except (Failed, subprocess.SubprocessError) as e:
                            failures += 1
                            print('FAIL  [%s] %s: %s' % (kind, name, e))
                        finally:
                            while Saver.started_all:  # what a failed case left running
                                Saver.started_all.pop().kill()
                finally:
                    compositor.stop()
            ran += 1
            try:
                no_compositor(dict(os.environ, WAYLAND_DISPLAY=os.path.join(work, 'no-such-socket')))
                print('ok    no compositor: status 1, one line')
            except Failed as e:
                failures += 1
                print('FAIL  no compositor: %s' % e)
        finally:
            Reference.close()
            if failures:
                for log in sorted(glob.glob(work + '/*.log')):
                    print('--- %s (tail)\n%s' % (log, ''.join(open(log, errors='replace').readlines()[-12:])))
    print('%d of %d cases passed' % (ran - failures, ran))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())

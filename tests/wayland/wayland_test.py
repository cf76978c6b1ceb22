#!/usr/bin/env python3
"""duskmere-wayland against real compositors: headless sway (layer shell) and headless weston
(no layer shell: the window fallback).

usage: wayland_test.py PATH/TO/duskmere-wayland PATH/TO/duskmere-render PATH/TO/wayland_virtual_pointer

Screens are read back with grim (sway, one named output at a time: pixel-exact) and
weston-screenshooter, the saver stopped (SIGSTOP) meanwhile, and each picture must equal, byte for
byte, one of the frames `duskmere-render --bounds WxH@S` renders for that output with the same
seed. Both compositors refuse to run as root, so as root they run as an unprivileged user
(created if need be).
Exit status: 0 passed, 1 failed, 77 skipped (no compositor or no unprivileged user).
"""
import glob, json, os, pwd, shutil, signal, struct, subprocess, sys, tempfile, time, types, zlib

SAVER, RENDER, POINTER = sys.argv[1:4]
TEST_USER = 'duskmere-test'
SEED = 4242
SEARCH_FRAMES = 300  # renderer frames searched for the one a screenshot shows (10 s)
STOP_WITHIN = 1.0    # s from the input (or the compositor's death) to the saver's exit
SWAY_CONFIG = """\
output HEADLESS-1 resolution 1280x720 position 0 0 scale 1
default_floating_border none
for_window [app_id="duskmere"] floating enable
seat * hide_cursor 100
"""


class Failed(Exception):
    pass


def skip(reason):
    print('SKIP: ' + reason)
    sys.exit(77)


def unprivileged_user():
    if os.getuid() != 0:
        return pwd.getpwuid(os.getuid())
    try:
        return pwd.getpwnam(TEST_USER)
    except KeyError:
        subprocess.run(['useradd', '--system', '--no-create-home', '--home-dir', '/nonexistent',
                        '--shell', '/usr/sbin/nologin', TEST_USER],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        return pwd.getpwnam(TEST_USER)
    except KeyError:
        skip('running as root, and %s could not be created' % TEST_USER)


def wait_for(what, test, within):
    end = time.monotonic() + within
    while True:
        value = test()
        if value:
            return value
        if time.monotonic() > end:
            raise Failed('%s: not within %.1f s' % (what, within))
        time.sleep(0.05)


class Compositor:
    """A headless compositor run as `user` in its own runtime folder under `work`."""

    def __init__(self, work, user, command, env, socket):
        self.runtime = os.path.join(work, 'run-%s' % command[0])
        os.makedirs(self.runtime, mode=0o700)
        os.chown(self.runtime, user.pw_uid, user.pw_gid)
        environment = {'PATH': '/usr/bin:/bin', 'HOME': work, 'XDG_RUNTIME_DIR': self.runtime, **env}
        self.log = open(os.path.join(work, command[0] + '.log'), 'w')
        as_user = dict(user=user.pw_uid, group=user.pw_gid, extra_groups=[]) if os.getuid() == 0 else {}
        self.process = subprocess.Popen(command, env=environment, stdout=self.log, stderr=self.log, cwd=work,
                                        **as_user)
        self.socket = os.path.join(self.runtime, socket)
        try:
            wait_for(command[0] + ' socket', lambda: os.path.exists(self.socket), 10)
            # Clients connect by absolute path, whoever runs them.
            self.env = dict(os.environ, WAYLAND_DISPLAY=self.socket, XDG_RUNTIME_DIR=self.runtime)
            if command[0] == 'sway':
                self.env['SWAYSOCK'] = wait_for('sway IPC', lambda: glob.glob(self.runtime + '/sway-ipc.*'), 5)[0]
        except Failed:
            self.stop()
            raise

    def run(self, *args, **kw):
        return subprocess.run(args, env=self.env, check=True, capture_output=True, timeout=10, **kw).stdout

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()


class Saver:
    def __init__(self, compositor, *args):
        if isinstance(compositor, Compositor) and 'SWAYSOCK' in compositor.env:
            blank(compositor)  # the last saver's picture is gone: what shows next is ours
        # stderr into a file: a pipe nobody reads while it runs could fill and stall it.
        self.stderr = tempfile.TemporaryFile('w+')
        self.process = subprocess.Popen([SAVER, '--seed', str(SEED), *args], env=compositor.env,
                                        stdout=subprocess.DEVNULL, stderr=self.stderr)

    def messages(self):
        self.stderr.seek(0)
        return self.stderr.read()

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
            raise Failed('ended with status %d, not %d: %s' % (got, status, self.messages()))
        return self.messages()

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


def grim(sway, output):
    data = sway.run('grim', '-t', 'ppm', '-o', output, '-')
    magic, size, depth, pixels = data.split(b'\n', 3)
    width, height = map(int, size.split())
    return width, height, rgba_from_rgb(width, height, pixels)


def weston_shot(weston, folder):
    for old in glob.glob(folder + '/wayland-screenshot-*.png'):
        os.remove(old)
    weston.run('weston-screenshooter', cwd=folder)
    return read_png(glob.glob(folder + '/wayland-screenshot-*.png')[0])


def read_png(path):
    """An 8-bit RGB or RGBA PNG, not interlaced, as (width, height, RGBA bytes)."""
    data = open(path, 'rb').read()
    at, idat = 8, b''
    while at < len(data):
        length, kind = struct.unpack('>I4s', data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b'IHDR':
            width, height, depth, colour = struct.unpack('>IIBB', body[:10])
            if depth != 8 or colour not in (2, 6):
                raise Failed('%s: PNG colour type %d, depth %d' % (path, colour, depth))
        elif kind == b'IDAT':
            idat += body
        at += 12 + length
    raw, bpp = zlib.decompress(idat), 3 if colour == 2 else 4
    stride, rows, prior = width * bpp, [], bytearray(width * bpp)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b, c = prior[i], prior[i - bpp] if i >= bpp else 0
            if kind == 1: line[i] = (line[i] + a) & 255
            elif kind == 2: line[i] = (line[i] + b) & 255
            elif kind == 3: line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line))
        prior = line
    pixels = b''.join(rows)
    if colour == 6:
        pixels = bytes(pixels[i] for i in range(len(pixels)) if i % 4 != 3)
    return width, height, rgba_from_rgb(width, height, pixels)


def matching_frame(picture, bounds, outside=None):
    """The first frame of the renderer for `bounds` that equals the picture (width, height, RGBA),
    or None; with `outside` (x0, y0, x1, y1), only the pixels outside that box count."""
    width, height, pixels = picture
    size, line = width * height * 4, width * 4
    render = subprocess.Popen([RENDER, '--seed', str(SEED), '--bounds', bounds, '--frames', str(SEARCH_FRAMES),
                               '--out', '-'], stdout=subprocess.PIPE)
    try:
        for n in range(SEARCH_FRAMES):
            frame = render.stdout.read(size)
            if len(frame) != size:
                return None
            if outside is None:
                if frame == pixels:
                    return n
                continue
            x0, y0, x1, y1 = outside
            if all(frame[y * line:(y + 1) * line] == pixels[y * line:(y + 1) * line] if not y0 <= y < y1 else
                   frame[y * line:y * line + x0 * 4] == pixels[y * line:y * line + x0 * 4] and
                   frame[y * line + x1 * 4:(y + 1) * line] == pixels[y * line + x1 * 4:(y + 1) * line]
                   for y in range(height)):
                return n
        return None
    finally:
        render.kill()
        render.wait()


def shows(saver, grab, bounds, outside=None, within=8):
    """Waits until a screenshot (taken with the saver stopped) equals a frame of the renderer."""
    def attempt():
        if not saver.running():
            raise Failed('the saver ended: ' + saver.messages())
        saver.frozen(True)
        try:
            picture = grab()
        finally:
            saver.frozen(False)
        # A plain screen proves nothing: the city's first frame is all black.
        pixels = picture[2]
        return pixels != pixels[:4] * (len(pixels) // 4) and matching_frame(picture, bounds, outside) is not None
    wait_for('a screenshot equal to the renderer at %s' % bounds, attempt, within)


def uniform(sway, output):
    pixels = grim(sway, output)[2]
    return pixels == pixels[:4] * (len(pixels) // 4)


def blank(sway, output='HEADLESS-1'):
    """Waits until the output shows its plain background: no surface of ours is left on it."""
    wait_for('a plain ' + output, lambda: uniform(sway, output), 5)


def drawn(sway, output='HEADLESS-1'):
    """Waits until the output shows more than its plain background: a surface is up."""
    wait_for('a picture on ' + output, lambda: not uniform(sway, output), 5)


# The cases. Each takes the running compositor (and the pointer device on sway).

def two_outputs(sway, pointer):
    saver = Saver(sway)
    drawn(sway, 'HEADLESS-2')
    shows(saver, lambda: grim(sway, 'HEADLESS-1'), '1280x720@1')
    shows(saver, lambda: grim(sway, 'HEADLESS-2'), '960x540@2')
    sway.run('wtype', 'x')
    saver.ends(0)


def input_ends_it(sway, pointer):
    saver = Saver(sway)
    drawn(sway)
    pointer('move 2 2')
    time.sleep(0.5)
    if not saver.running():
        raise Failed('a 2 px move ended the saver')
    pointer('move 200 0')
    saver.ends(0)
    for act in (lambda: sway.run('wtype', 'k'), lambda: pointer('click')):
        saver = Saver(sway)
        drawn(sway)
        act()
        saver.ends(0)


def idle_launch(sway, pointer):
    status = os.path.join(os.path.dirname(sway.runtime), 'idle-status')
    blank(sway)
    idle = subprocess.Popen(['swayidle', '-w', 'timeout', '1', '%s --seed %d; echo $? > %s' % (SAVER, SEED, status)],
                            env=sway.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        def launched():
            for cmdline in glob.glob('/proc/[0-9]*/cmdline'):
                try:
                    if open(cmdline, 'rb').read().startswith(SAVER.encode() + b'\0'):
                        return True
                except OSError:
                    pass
        wait_for('swayidle starting the saver', launched, 5)
        drawn(sway)
        sway.run('wtype', 'q')
        wait_for('the saver ending on a key', lambda: os.path.exists(status) and open(status).read(), STOP_WITHIN)
        if open(status).read().strip() != '0':
            raise Failed('the saver launched by swayidle ended with status ' + open(status).read())
    finally:
        idle.kill()
        idle.wait()


def wallpaper_under_window(sway, pointer):
    wallpaper = Saver(sway, '--wallpaper')
    window = Saver(sway, '--window')
    try:
        def floating():
            tree = json.loads(sway.run('swaymsg', '-t', 'get_tree'))
            found = [n for o in tree['nodes'] if o['name'] == 'HEADLESS-1' for w in o['nodes']
                     for n in w.get('floating_nodes', []) if n.get('app_id') == 'duskmere']
            return found and found[0]['rect']
        r = wait_for('a floating duskmere window', floating, 5)
        box = (r['x'], r['y'], r['x'] + r['width'], r['y'] + r['height'])
        shows(wallpaper, lambda: grim(sway, 'HEADLESS-1'), '1280x720@1', outside=box)
        if not window.running():
            raise Failed('the window ended')
    finally:
        window.kill()
    if not wallpaper.running():
        raise Failed('the wallpaper ended without a signal')
    wallpaper.process.send_signal(signal.SIGTERM)
    wallpaper.ends(0)


def window_keys(sway, pointer):
    saver = Saver(sway, '--window')

    def full_screen():
        tree = json.loads(sway.run('swaymsg', '-t', 'get_tree'))
        nodes = [tree]
        while nodes:
            node = nodes.pop()
            if node.get('app_id') == 'duskmere':
                return node['fullscreen_mode']
            nodes += node.get('nodes', []) + node.get('floating_nodes', [])
    wait_for('the window', lambda: full_screen() == 0, 5)
    sway.run('wtype', 'f')
    wait_for('f making it full screen', lambda: full_screen() == 1, 2)
    sway.run('wtype', 'q')
    saver.ends(0)


def compositor_dies(sway, pointer):
    capture = os.path.join(os.path.dirname(sway.runtime), 'lost.png')
    saver = Saver(sway, '--capture', capture)
    drawn(sway)
    sway.stop()
    message = saver.ends(1)
    if len(message.splitlines()) != 1 or 'no capture written' not in message or os.path.exists(capture):
        raise Failed('after the compositor died: %r, capture left: %s' % (message, os.path.exists(capture)))


def no_compositor(env):
    saver = Saver(types.SimpleNamespace(env=env))
    message = saver.ends(1)
    if len(message.splitlines()) != 1:
        raise Failed('not one line: %r' % message)


def window_fallback(weston, folder):
    saver = Saver(weston)
    shows(saver, lambda: weston_shot(weston, folder), '640x400@1')
    saver.process.send_signal(signal.SIGINT)
    message = saver.ends(0)
    if 'no layer shell' not in message:
        raise Failed('no word of the missing layer shell: %r' % message)


CASES = [
    # (name, compositor, case)
    ('two outputs at scales 1 and 2 equal the renderer', 'sway', two_outputs),
    ('a key, a button or a 200 px move ends it; 2 px do not', 'sway', input_ends_it),
    ('swayidle launches it, a key ends it', 'sway', idle_launch),
    ('the wallpaper shows under a floating window', 'sway', wallpaper_under_window),
    ('the window: f makes it full screen, q closes it', 'sway', window_keys),
    ('the compositor dies: status 1, one line', 'sway', compositor_dies),
    ('weston without layer shell: a full-screen window equal to the renderer', 'weston', window_fallback),
    ('no compositor: status 1, one line', None, no_compositor),
]


def start_sway(work, user):
    config = os.path.join(work, 'sway.config')
    with open(config, 'w') as f:
        f.write(SWAY_CONFIG)
    sway = Compositor(work, user, ['sway', '-c', config],
                      {'WLR_BACKENDS': 'headless', 'WLR_LIBINPUT_NO_DEVICES': '1', 'WLR_RENDERER': 'pixman'},
                      'wayland-1')
    try:
        sway.run('swaymsg', 'create_output')
        # swaymsg splits at commas: the position takes none.
        sway.run('swaymsg', 'output HEADLESS-2 resolution 1920x1080 position 1280 0 scale 2')
        device = subprocess.Popen([POINTER], env=sway.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    except BaseException:
        sway.stop()
        raise
    if device.stdout.readline().strip() != 'ready':
        device.kill()
        sway.stop()
        raise Failed('the virtual pointer did not start')
    # A keyboard that stays: each `wtype KEY` then types through a seat the saver already holds a
    # keyboard of (a keyboard that appears with its key may press and release it before any client
    # has bound it).
    keyboard = subprocess.Popen(['wtype', '-s', '600000', 'x'], env=sway.env)

    def pointer(command):
        device.stdin.write(command + '\n')
        device.stdin.flush()
        if device.stdout.readline().strip() != 'done':
            raise Failed('the virtual pointer did not take ' + command)
    return sway, pointer, [device, keyboard]


def main():
    for tool in ('sway', 'swaymsg', 'grim', 'wtype', 'swayidle', 'weston', 'weston-screenshooter'):
        if not shutil.which(tool):
            skip(tool + ' is not installed (scripts/install-deps.sh wayland)')
    user = unprivileged_user()
    failures = 0
    with tempfile.TemporaryDirectory(prefix='duskmere-wayland-') as work:
        os.chmod(work, 0o755)
        sway = weston = None
        devices = []
        try:
            for name, where, case in CASES:
                started = time.monotonic()
                try:
                    if where == 'sway':
                        if not sway:
                            sway, pointer, devices = start_sway(work, user)
                        case(sway, pointer)
                    elif where == 'weston':
                        weston = weston or Compositor(
                            work, user, ['weston', '--backend=headless-backend.so', '--use-pixman', '--debug',
                                         '--width=640', '--height=400', '--socket=wayland-weston', '--idle-time=0'],
                            {}, 'wayland-weston')
                        case(weston, work)
                    else:
                        case(dict(os.environ, WAYLAND_DISPLAY=os.path.join(work, 'no-such-socket')))
                    print('ok    %-72s %.1f s' % (name, time.monotonic() - started))
                except (Failed, subprocess.SubprocessError) as e:
                    failures += 1
                    print('FAIL  %s: %s' % (name, e))
        finally:
            for process in devices + [c for c in (sway, weston) if c]:
                process.kill() if isinstance(process, subprocess.Popen) else process.stop()
            if failures:
                for log in glob.glob(work + '/*.log'):
                    print('--- %s (tail)\n%s' % (log, ''.join(open(log).readlines()[-15:])))
    print('%d of %d cases passed' % (len(CASES) - failures, len(CASES)))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())

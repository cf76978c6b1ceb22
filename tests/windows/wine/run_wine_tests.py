#!/usr/bin/env python3
"""The Windows programs under Wine, on a private Xvfb:
  (a) duskmere-render.exe prints the same per-frame hashes as the Linux renderer on the reference
      cases, and writes the same picture through the saver view;
  (b) Duskmere.scr /s --seed 4242 --frames 120 --capture shows what duskmere-render --bounds
      1920x1080 renders for that seed and frame, pixel for pixel, and at 144 dpi what it renders
      at --bounds 1280x720@1.5;
  (c) Duskmere.scr /p HWND draws inside a parent window (its picture is the view's at that size)
      and exits when the parent goes away;
  (d) what users run into: a reader that closes the renderer's pipe, a read-only or too long
      capture name, the screen changing size under the saver, a bad argument without a console.
With --cpu it also measures the CPU use of the full-screen saver beside the X11 host's.

usage: run_wine_tests.py WINDOWS_BUILD LINUX_RENDER [--vectors HASHES.txt] [--x11 DUSKMERE] [--cpu]
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'support'))
from pngread import read_png  # noqa: E402
from render_cases import HASH_CASES  # noqa: E402

# Through the view at a fractional backing scale: enlargement and scanlines in software.
PICTURE_CASE = ['--scene', 'campfire', '--bounds', '640x400@1.5', '--seed', '11', '--frames', '45']


class Failed(Exception):
    pass


def start_xvfb(width, height):
    read, write = os.pipe()
    xvfb = subprocess.Popen(['Xvfb', '-displayfd', str(write), '-screen', '0', '%dx%dx24' % (width, height),
                             '-nolisten', 'tcp', '-noreset'], pass_fds=[write],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write)
    number = b''
    while not number.endswith(b'\n'):
        c = os.read(read, 1)
        if not c:
            raise Failed('Xvfb did not start')
        number += c
    os.close(read)
    return xvfb, ':' + number.decode().strip()


class Wine:
    def __init__(self, prefix, display):
        self.env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG='-all', DISPLAY=display,
                        WINEDLLOVERRIDES='mscoree,mshtml=', WINEARCH='win64')
        self.server = shutil.which('wineserver') or '/usr/lib/wine/wineserver'

    def boot(self):
        # A server left from another run (or one that a program without a display started) would
        # give us its idea of the screen: a fresh one, with this display, for the whole run.
        self.stop()
        subprocess.run([self.server, '-p'], env=self.env)
        subprocess.run(['wineboot', '-i'], env=self.env, check=True, timeout=240,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.set_dpi(96)  # in case an interrupted run left the prefix at another

    def run(self, args, timeout=120):
        return subprocess.run(['wine'] + args, env=self.env, capture_output=True, timeout=timeout)

    def set_dpi(self, dpi):
        r = self.run(['reg', 'add', 'HKCU\\Control Panel\\Desktop', '/v', 'LogPixels', '/t', 'REG_DWORD',
                      '/d', str(dpi), '/f'])
        if r.returncode != 0:
            raise Failed('cannot set the screen to %d dpi' % dpi)

    def stop(self):
        subprocess.run([self.server, '-k'], env=self.env, stderr=subprocess.DEVNULL)
        subprocess.run([self.server, '-w'], env=self.env)


def windows_path(path):
    return 'Z:' + os.path.abspath(path).replace('/', '\\')


def compare_pictures(label, got_path, want_path):
    gw, gh, got, _ = read_png(got_path)
    ww, wh, want, _ = read_png(want_path)
    if (gw, gh) != (ww, wh):
        raise Failed('%s: %dx%d, expected %dx%d' % (label, gw, gh, ww, wh))
    differing = [0, 0, 0]
    largest = [0, 0, 0]
    for g, w in zip(got, want):
        if g == w:
            continue
        for i in range(len(g)):
            if g[i] != w[i]:
                d = abs(g[i] - w[i])
                differing[i % 3] += 1
                largest[i % 3] = max(largest[i % 3], d)
    if any(differing):
        raise Failed('%s: differing values R %d G %d B %d, largest steps %s' % (label, *differing, largest))
    print('ok    %s: %dx%d, every pixel equal' % (label, gw, gh))


def test_hashes(wine, render, linux_render, vectors):
    for args in HASH_CASES:
        want = subprocess.run([linux_render] + args, capture_output=True, text=True, check=True).stdout
        got = wine.run([render] + args)
        if got.returncode != 0 or got.stdout.decode() != want:
            raise Failed('hashes differ: %s (status %d, %s)' % (' '.join(args), got.returncode, got.stderr.decode().strip()))
        print('ok    hashes %s: %d frames' % (' '.join(args), len(want.splitlines())))
    if vectors and os.path.exists(vectors):
        # The independent model's figures, case by case.
        text = open(vectors).read()
        for m in re.finditer(r'^case (\w+) (\d+x\d+) seed (\d+) frames (\d+) every (\d+)\n((?:frame .*\n)+)', text, re.M):
            scene, size, seed, frames, every, want = m.groups()
            if int(frames) > 5000:
                continue  # the long city case is already crossed by the first of HASH_CASES
            args = ['--scene', scene, '--canvas', size, '--seed', seed, '--frames', frames, '--hash-every', every]
            got = wine.run([render] + args)
            if got.stdout.decode() != want:
                raise Failed('reference hashes differ: ' + ' '.join(args))
            print('ok    reference %s: %d frames' % (' '.join(args), len(want.splitlines())))


def test_render_picture(wine, render, linux_render, work):
    got, want = os.path.join(work, 'render-win.png'), os.path.join(work, 'render-linux.png')
    subprocess.run([linux_render] + PICTURE_CASE + ['--out', want], check=True)
    r = wine.run([render] + PICTURE_CASE + ['--out', windows_path(got)])
    if r.returncode != 0:
        raise Failed('duskmere-render.exe --out: status %d, %s' % (r.returncode, r.stderr.decode().strip()))
    compare_pictures('picture ' + ' '.join(PICTURE_CASE), got, want)


def test_full_screen(wine, saver, linux_render, work):
    # Both kinds of program name the version the Linux build has.
    version = subprocess.run([linux_render, '--version'], capture_output=True, text=True, check=True).stdout.split()[-1]
    r = wine.run([saver, '--version'])
    if r.returncode != 0 or r.stdout.decode().strip() != 'Duskmere ' + version:
        raise Failed('Duskmere.scr --version: status %d, %r' % (r.returncode, r.stdout.decode()))
    got, want = os.path.join(work, 'capture.png'), os.path.join(work, 'capture-linux.png')
    subprocess.run([linux_render, '--bounds', '1920x1080', '--seed', '4242', '--frames', '120', '--out', want], check=True)
    start = time.monotonic()
    r = wine.run([saver, '/s', '--seed', '4242', '--frames', '120', '--capture', windows_path(got)], timeout=90)
    took = time.monotonic() - start
    if r.returncode != 0:
        raise Failed('Duskmere.scr /s: status %d, %s' % (r.returncode, r.stderr.decode().strip()))
    print('ok    Duskmere.scr /s --frames 120 ran for %.1f s' % took)
    compare_pictures('full screen capture against --bounds 1920x1080', got, want)


def test_high_dpi(wine, saver, linux_render, work):
    # A screen at 150 %: drawn in device pixels, as a view of 1280 x 720 points at backing scale 1.5.
    got, want = os.path.join(work, 'capture-dpi.png'), os.path.join(work, 'capture-dpi-linux.png')
    subprocess.run([linux_render, '--bounds', '1280x720@1.5', '--seed', '5', '--frames', '30', '--out', want], check=True)
    wine.set_dpi(144)
    try:
        r = wine.run([saver, '/s', '--seed', '5', '--frames', '30', '--capture', windows_path(got)], timeout=90)
    finally:
        wine.set_dpi(96)
    if r.returncode != 0:
        raise Failed('Duskmere.scr /s at 144 dpi: status %d, stderr %r, stdout %r' %
                     (r.returncode, r.stderr.decode().strip(), r.stdout.decode().strip()))
    compare_pictures('full screen capture at 144 dpi against --bounds 1280x720@1.5', got, want)


def test_preview(wine, parent, saver, linux_render, work):
    # Drawn inside the parent: the child's picture after 30 frames is the view's at 320 x 200.
    got, want = os.path.join(work, 'preview.png'), os.path.join(work, 'preview-linux.png')
    subprocess.run([linux_render, '--bounds', '320x200', '--seed', '77', '--frames', '30', '--out', want], check=True)
    r = wine.run([parent, saver, '--seed', '77', '--frames', '30', '--capture', windows_path(got)], timeout=90)
    if r.returncode != 0:
        raise Failed('preview with --frames: %s' % r.stdout.decode().strip())
    print('ok    preview: ' + r.stdout.decode().strip())
    compare_pictures('preview capture against --bounds 320x200', got, want)
    # Ends with its parent.
    r = wine.run([parent, saver], timeout=60)
    if r.returncode != 0:
        raise Failed('preview: %s' % r.stdout.decode().strip())
    print('ok    preview: ' + r.stdout.decode().strip())


def refused(label, r):
    """A bad argument: status 2 and one line, at once."""
    lines = r.stderr.decode().strip().splitlines()
    if r.returncode != 2 or len(lines) != 1:
        raise Failed('%s: status %d, expected 2 with one line; stderr %r' % (label, r.returncode, lines))
    print('ok    %s: status 2, %s' % (label, lines[0][:100]))


def test_closed_pipe(wine, render):
    # A reader that has had enough: the renderer ends quietly, as on Linux.
    p = subprocess.Popen(['wine', render, '--bounds', '1920x1080', '--seed', '3', '--frames', '3000', '--out', '-'],
                         env=wine.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    p.stdout.read(100000)
    p.stdout.close()
    err = p.stderr.read().decode().strip()
    if p.wait(timeout=60) != 0 or err:
        raise Failed('--out - whose reader left: status %d, %r' % (p.returncode, err))
    print('ok    --out - whose reader left: status 0, quiet')


def test_read_only_capture(wine, saver, work):
    # Refused before the first frame and left as it was, as Windows users expect.
    locked = os.path.join(work, 'locked.png')
    with open(locked, 'w') as f:
        f.write('keep')
    os.chmod(locked, 0o444)
    refused('read-only --capture', wine.run([saver, '/s', '--frames', '30', '--capture', windows_path(locked)]))
    if open(locked).read() != 'keep' or os.stat(locked).st_mode & 0o222:
        raise Failed('read-only --capture: the file was changed')


def test_long_capture_name(wine, saver, work):
    # Too long for the file system: found before the run, not after it.
    refused('too long --capture name',
            wine.run([saver, '/s', '--frames', '30', '--capture', windows_path(os.path.join(work, 'a' * 300 + '.png'))]))


def wait_for_window(wine, p):
    """The X windows named Duskmere, once there are any, or [] when the process ends first."""
    for _ in range(300):
        found = subprocess.run(['xdotool', 'search', '--name', '^Duskmere$'], env=wine.env,
                               capture_output=True).stdout.split()
        if found or p.poll() is not None:
            return found
        time.sleep(0.1)
    return []


def test_screen_resize(wine, saver, linux_render, work):
    # The screen grows from 1280 x 720 to 1920 x 1080 while the saver runs: it covers the new
    # screen with fresh scenes, whose capture after N frames is the renderer's at the new size.
    got, want = os.path.join(work, 'resize.png'), os.path.join(work, 'resize-linux.png')
    subprocess.run([linux_render, '--bounds', '1920x1080', '--seed', '9', '--frames', '150', '--out', want], check=True)

    def xrandr(*args):
        subprocess.run(['xrandr'] + list(args), env=wine.env, stderr=subprocess.DEVNULL)
    xrandr('--newmode', '1280x720', '0', '1280', '0', '0', '0', '720', '0', '0', '0')
    xrandr('--addmode', 'screen', '1280x720')
    xrandr('--output', 'screen', '--mode', '1280x720', '--fb', '1280x720')
    try:
        p = subprocess.Popen(['wine', saver, '/s', '--seed', '9', '--frames', '150', '--capture', windows_path(got)],
                             env=wine.env, stderr=subprocess.PIPE)
        wait_for_window(wine, p)  # so that the change comes while it runs
        xrandr('--output', 'screen', '--mode', '1920x1080', '--fb', '1920x1080')
        if p.wait(timeout=120) != 0:
            raise Failed('/s through a screen change: status %d, %s' % (p.returncode, p.stderr.read().decode().strip()))
    finally:
        xrandr('--output', 'screen', '--mode', '1920x1080', '--fb', '1920x1080')
    compare_pictures('capture after the screen grew to 1920x1080', got, want)


def test_box_without_console(wine, saver):
    # Started from Explorer a bad argument has nowhere to go but a message box: no stderr here.
    p = subprocess.Popen(['sh', '-c', 'exec "$@" 2>&-', 'sh', 'wine', saver, '/c:0'], env=wine.env,
                         stdout=subprocess.DEVNULL)
    box = wait_for_window(wine, p)
    for _ in range(20 if box else 0):  # OK, again until the box has taken it
        subprocess.run(['xdotool', 'windowfocus', box[0]], env=wine.env, stderr=subprocess.DEVNULL)
        subprocess.run(['xdotool', 'key', 'Return'], env=wine.env)
        try:
            p.wait(timeout=1)
            break
        except subprocess.TimeoutExpired:
            pass
    if p.poll() is None:
        p.kill()
    if not box or p.wait() != 2:
        raise Failed('/c:0 without a console: %s, status %d' % ('a box' if box else 'no box', p.returncode))
    print('ok    /c:0 without a console: a message box, then status 2')


def process_cpu(pid):
    """CPU seconds a running process has used so far (0 if it is gone)."""
    try:
        fields = open('/proc/%d/stat' % pid).read().rsplit(')', 1)[1].split()
    except OSError:
        return 0.0
    return (int(fields[11]) + int(fields[12])) / os.sysconf('SC_CLK_TCK')


def cpu_of(command, env, helpers):
    """CPU seconds of a program (and its children) over its run, with those of the helper
    processes (the X server, Wine's server) in the same time, and the wall time."""
    before = [process_cpu(pid) for pid in helpers]
    start = time.monotonic()
    proc = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, _, usage = os.wait4(proc.pid, 0)
    wall = time.monotonic() - start
    helper = sum(process_cpu(pid) - b for pid, b in zip(helpers, before))
    return usage.ru_utime + usage.ru_stime, helper, wall


def measure_cpu(wine, saver, x11, xvfb, display):
    frames = '300'  # ten seconds at 30 frames a second
    servers = [xvfb.pid] + [int(p) for p in subprocess.run(['pgrep', '-x', 'wineserver'], capture_output=True,
                                                              text=True).stdout.split()]
    runs = [('Duskmere.scr /s under Wine', ['wine', saver, '/s', '--seed', '4242', '--frames', frames], wine.env)]
    if x11 and os.path.exists(x11):
        runs.append(('X11 duskmere -root', [x11, '-root', '--seed', '4242', '--frames', frames], dict(os.environ, DISPLAY=display)))
    for label, command, env in runs:
        # A run of one frame measures the start-up, which the difference leaves out.
        cpu1, helper1, wall1 = cpu_of(command[:-1] + ['1'], env, servers)
        cpu, helper, wall = cpu_of(command, env, servers)
        run_cpu, run_wall = cpu - cpu1, wall - wall1
        print('cpu   %s at 1920x1080: %.2f s CPU over %.1f s of running (%.1f %% of a core), start-up %.2f s CPU; '
              'X server and wineserver %.2f s' % (label, run_cpu, run_wall, 100 * run_cpu / run_wall, cpu1,
                                                 helper - helper1))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('build')
    parser.add_argument('linux_render')
    parser.add_argument('--vectors')
    parser.add_argument('--x11')
    parser.add_argument('--cpu', action='store_true')
    o = parser.parse_args()
    render = os.path.join(o.build, 'duskmere-render.exe')
    saver = os.path.join(o.build, 'Duskmere.scr')
    parent = os.path.join(o.build, 'tests', 'preview-parent.exe')
    xvfb, display = start_xvfb(1920, 1080)
    wine = Wine(os.path.abspath(os.path.join(o.build, 'wine-prefix')), display)
    work = tempfile.mkdtemp(prefix='duskmere-wine-')
    failures = 0
    try:
        t = time.monotonic()
        wine.boot()
        print('      Wine prefix ready in %.1f s' % (time.monotonic() - t))
        for name, test in [('(a) hashes', lambda: test_hashes(wine, render, o.linux_render, o.vectors)),
                           ('(a) picture', lambda: test_render_picture(wine, render, o.linux_render, work)),
                           ('(b) full screen', lambda: test_full_screen(wine, saver, o.linux_render, work)),
                           ('(b) high dpi', lambda: test_high_dpi(wine, saver, o.linux_render, work)),
                           ('(c) preview', lambda: test_preview(wine, parent, saver, o.linux_render, work)),
                           ('(d) closed pipe', lambda: test_closed_pipe(wine, render)),
                           ('(d) read-only capture', lambda: test_read_only_capture(wine, saver, work)),
                           ('(d) long capture name', lambda: test_long_capture_name(wine, saver, work)),
                           ('(d) screen resize', lambda: test_screen_resize(wine, saver, o.linux_render, work)),
                           ('(d) box without console', lambda: test_box_without_console(wine, saver))]:
            t = time.monotonic()
            try:
                test()
            except (Failed, subprocess.SubprocessError, OSError) as e:
                failures += 1
                print('FAIL  %s: %s' % (name, e))
            print('      %s took %.1f s' % (name, time.monotonic() - t))
        if o.cpu:
            measure_cpu(wine, saver, o.x11, xvfb, display)
    finally:
        wine.stop()
        xvfb.terminate()
        xvfb.wait()
        shutil.rmtree(work, ignore_errors=True)
    print('%d of 10 Wine checks failed' % failures if failures else 'all Wine checks passed')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())

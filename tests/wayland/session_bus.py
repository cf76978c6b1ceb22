#!/usr/bin/python3
"""The D-Bus half of the Wayland tests on KWin and mutter, run as the compositor's user on its
session bus (Debian's python3: it has gi).

usage: session_bus.py kwin|mutter

Reads commands on stdin, one a line, and answers each with one line of JSON ({"error": ...} on a
failure):
  outputs                 (mutter) sets the second monitor to scale 2, readies the input and the
                          screen casts; answers [[connector, width, height], ...] in device pixels
  shot NAME PATH          writes the output's picture to PATH as raw RGBA, top row first (mutter:
                          the newest frame of a screen cast that runs from `outputs` on)
  key CODE | click | move DX DY    input (mutter: RemoteDesktop; KWin takes ours over Wayland)
"""
import json, os, sys

import gi
gi.require_version('Gio', '2.0')
gi.require_version('Gst', '1.0')
from gi.repository import Gio, GLib, Gst

KIND = sys.argv[1]
Gst.init(None)
bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)


def call(service, path, interface, method, signature=None, args=(), fds=None):
    params = GLib.Variant(signature, args) if signature else None
    if fds is None:
        result = bus.call_sync(service, path, interface, method, params, None, Gio.DBusCallFlags.NONE, 10000, None)
    else:
        result, _ = bus.call_with_unix_fd_list_sync(service, path, interface, method, params, None,
                                                    Gio.DBusCallFlags.NONE, 10000, fds, None)
    return result.unpack() if result else ()


def wait_for_name(name, within=10):
    """Waits until the compositor owns its D-Bus service: it starts them after its socket."""
    context, found = GLib.MainContext.default(), []
    watch = Gio.bus_watch_name_on_connection(bus, name, Gio.BusNameWatcherFlags.NONE,
                                             lambda *a: found.append(True), None)
    timeout = GLib.timeout_add(int(within * 1000), lambda: found.append(False))
    while not found:
        context.iteration(True)
    Gio.bus_unwatch_name(watch)
    if found[0]:
        GLib.source_remove(timeout)
    else:
        raise RuntimeError('%s did not appear on the session bus' % name)


def read_exactly(fd, size):
    chunks, got = [], 0
    while got < size:
        chunk = os.read(fd, min(size - got, 1 << 20))
        if not chunk:
            raise RuntimeError('the picture ended after %d of %d bytes' % (got, size))
        chunks.append(chunk)
        got += len(chunk)
    return b''.join(chunks)


class KWin:
    def __init__(self):
        wait_for_name('org.kde.KWin')

    def shot(self, name, path):
        read, write = os.pipe()
        try:
            # The fd list keeps its own write end open: the picture is read by its size, not to EOF.
            info = call('org.kde.KWin', '/org/kde/KWin/ScreenShot2', 'org.kde.KWin.ScreenShot2', 'CaptureScreen',
                        '(sa{sv}h)', (name, {'native-resolution': GLib.Variant('b', True)}, 0),
                        fds=Gio.UnixFDList.new_from_array([write]))[0]
            width, height, stride = info['width'], info['height'], info['stride']
            data = read_exactly(read, stride * height)
        finally:
            os.close(read)
        # QImage formats: 4-6 (RGB32, ARGB32 and premultiplied) are B, G, R, A in memory; 16-18 R, G, B, A.
        if info['format'] not in (4, 5, 6, 16, 17, 18):
            raise RuntimeError('screenshot format %d' % info['format'])
        rows = b''.join(data[y * stride:y * stride + width * 4] for y in range(height))
        rgba = bytearray(rows)
        if info['format'] <= 6:
            rgba[0::4], rgba[2::4] = rows[2::4], rows[0::4]
        rgba[3::4] = b'\xff' * (width * height)
        with open(path, 'wb') as f:
            f.write(rgba)
        return [width, height]


MUTTER = 'org.gnome.Mutter'


class Mutter:
    def __init__(self):
        wait_for_name(MUTTER + '.RemoteDesktop')
        wait_for_name(MUTTER + '.ScreenCast')
        self.remote = None
        self.sizes, self.casts = {}, {}

    def outputs(self):
        display = (MUTTER + '.DisplayConfig', '/org/gnome/Mutter/DisplayConfig', MUTTER + '.DisplayConfig')
        serial, monitors, logical, properties = call(*display, 'GetCurrentState')
        config, x = [], 0
        for n, ((connector, *_), modes, _) in enumerate(monitors):
            mode = next(m for m in modes if m[6].get('is-current'))
            scale = 2.0 if n == 1 else 1.0
            config.append((x, 0, scale, 0, n == 0, [(connector, mode[0], {})]))
            self.sizes[connector] = (mode[1], mode[2])
            # Logical or physical layout, a monitor at scale 1 is as wide in both.
            x += mode[1] if properties.get('layout-mode', 2) == 2 else int(mode[1] / scale)
        changed = []
        bus.signal_subscribe(None, MUTTER + '.DisplayConfig', 'MonitorsChanged', '/org/gnome/Mutter/DisplayConfig',
                             None, Gio.DBusSignalFlags.NONE, lambda *a: changed.append(True))
        call(*display, 'ApplyMonitorsConfig', '(uua(iiduba(ssa{sv}))a{sv})', (serial, 1, config, {}))
        # Input and casts begun while the monitors change are lost: wait until they have.
        timeout = GLib.timeout_add(10000, lambda: changed.append(False))
        while not changed:
            GLib.MainContext.default().iteration(True)
        if not changed[0]:
            raise RuntimeError('the monitors did not change to scale 2')
        GLib.source_remove(timeout)
        scales = [scale for x, y, scale, *rest in call(*display, 'GetCurrentState')[2]]
        if sorted(scales) != [1.0, 2.0]:
            raise RuntimeError('monitor scales %s, not 1 and 2' % scales)
        remote = (MUTTER + '.RemoteDesktop', '/org/gnome/Mutter/RemoteDesktop', MUTTER + '.RemoteDesktop')
        path = call(*remote, 'CreateSession')[0]
        self.remote = (MUTTER + '.RemoteDesktop', path, MUTTER + '.RemoteDesktop.Session')
        call(*self.remote, 'Start')
        # The seat gains its keyboard with the first key, which it drops: spend that on Shift.
        call(*self.remote, 'NotifyKeyboardKeycode', '(ub)', (42, True))
        call(*self.remote, 'NotifyKeyboardKeycode', '(ub)', (42, False))
        self.move(1, 0)
        for connector in self.sizes:
            self.watch(connector)
        return [[c, w, h] for c, (w, h) in self.sizes.items()]

    def key(self, code):
        call(*self.remote, 'NotifyKeyboardKeycode', '(ub)', (code, True))
        call(*self.remote, 'NotifyKeyboardKeycode', '(ub)', (code, False))

    def click(self):
        call(*self.remote, 'NotifyPointerButton', '(ib)', (0x110, True))
        call(*self.remote, 'NotifyPointerButton', '(ib)', (0x110, False))

    def move(self, dx, dy):
        call(*self.remote, 'NotifyPointerMotionRelative', '(dd)', (dx, dy))

    def watch(self, connector):
        """Starts a screen cast of the monitor into a pipeline that keeps its latest frame: one
        stream for the whole run (a new one takes seconds to bring its first frame)."""
        cast = (MUTTER + '.ScreenCast', '/org/gnome/Mutter/ScreenCast', MUTTER + '.ScreenCast')
        session = call(*cast, 'CreateSession', '(a{sv})', ({},))[0]
        stream = call(MUTTER + '.ScreenCast', session, MUTTER + '.ScreenCast.Session', 'RecordMonitor', '(sa{sv})',
                      (connector, {'cursor-mode': GLib.Variant('u', 0)}))[0]
        node = []
        bus.signal_subscribe(None, MUTTER + '.ScreenCast.Stream', 'PipeWireStreamAdded', stream, None,
                             Gio.DBusSignalFlags.NONE, lambda *a: node.append(a[5].unpack()[0]))
        call(MUTTER + '.ScreenCast', session, MUTTER + '.ScreenCast.Session', 'Start')
        timeout = GLib.timeout_add(10000, lambda: node.append(None))
        while not node:
            GLib.MainContext.default().iteration(True)
        if node[0] is None:
            raise RuntimeError('no PipeWire stream for ' + connector)
        GLib.source_remove(timeout)
        pipeline = Gst.parse_launch('pipewiresrc path=%d always-copy=true ! videoconvert ! video/x-raw,format=BGRx ! '
                                    'appsink name=sink max-buffers=1 drop=true sync=false' % node[0])
        pipeline.set_state(Gst.State.PLAYING)
        sink = pipeline.get_by_name('sink')
        first = sink.emit('try-pull-sample', 20 * Gst.SECOND)
        if not first:
            raise RuntimeError('no frame cast from ' + connector)
        self.casts[connector] = [pipeline, sink, first]

    def shot(self, connector, path):
        cast = self.casts[connector]
        # A frame cast after this request, or, where none comes (mutter casts a still screen
        # once), the newest one.
        sample = cast[1].emit('try-pull-sample', 0)
        while sample:
            cast[2], sample = sample, cast[1].emit('try-pull-sample', 0)
        sample = cast[1].emit('try-pull-sample', Gst.SECOND // 2)
        cast[2] = sample or cast[2]
        width, height = self.sizes[connector]
        bgrx = cast[2].get_buffer().extract_dup(0, width * height * 4)
        if len(bgrx) != width * height * 4:
            raise RuntimeError('%s: %d bytes, not %dx%d' % (connector, len(bgrx), width, height))
        rgba = bytearray(bgrx)
        rgba[0::4], rgba[2::4], rgba[3::4] = bgrx[2::4], bgrx[0::4], b'\xff' * (width * height)
        with open(path, 'wb') as f:
            f.write(rgba)
        return [width, height]


def main():
    host = KWin() if KIND == 'kwin' else Mutter()
    print(json.dumps({'ready': True}), flush=True)
    for line in sys.stdin:
        command, *args = line.split()
        try:
            if command == 'shot':
                answer = host.shot(args[0], args[1])
            elif command in ('key', 'move'):
                answer = getattr(host, command)(*map(int, args))
            else:
                answer = getattr(host, command)()
        except (GLib.Error, RuntimeError, AttributeError, KeyError) as e:
            answer = {'error': str(e)}
        print(json.dumps(answer), flush=True)


if __name__ == '__main__':
    main()

#!/usr/bin/env python3
"""CPU share of one core used by `duskmere -root` plus its X server, on a private Xvfb.

Usage: bench/x11_cpu.py [--seconds 20] [--size 1920x1080] [--scenes city,campfire] [--extra=-fps]
                        [--rounds N] NAME=PROGRAM...
Each program runs each scene in turn on a fresh Xvfb (24 bits); after 3 s of warm-up, the CPU
time of both processes is read from /proc over the measured seconds. Example, before and after:
  bench/x11_cpu.py old=/work/baseline/duskmere new=build/release/platform/x11/duskmere
"""
import argparse
import os
import signal
import subprocess
import sys
import time

TICKS = os.sysconf('SC_CLK_TCK')
WARM_UP = 3.0


def cpu_seconds(pid):
    # Time on a CPU of every thread, in nanoseconds from schedstat where the kernel keeps it:
    # utime + stime come in ticks of 10 ms, coarse against the 0.2 s a 1 % hack uses in 20 s.
    total = 0
    try:
        for task in os.listdir('/proc/%d/task' % pid):
            with open('/proc/%d/task/%s/schedstat' % (pid, task)) as f:
                total += int(f.read().split()[0])
        return total / 1e9
    except (OSError, ValueError, IndexError):
        pass
    with open('/proc/%d/stat' % pid) as f:
        fields = f.read().rsplit(')', 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS  # utime + stime


def start_xvfb(size):
    r, w = os.pipe()
    xvfb = subprocess.Popen(['Xvfb', '-displayfd', str(w), '-screen', '0', size + 'x24', '-nolisten', 'tcp',
                             '-noreset'], pass_fds=[w], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(w)
    number = b''
    while not number.endswith(b'\n'):
        c = os.read(r, 1)
        if not c:
            break
        number += c
    os.close(r)
    return xvfb, ':' + number.decode().strip()


def shares(program, server, seconds, ended):
    """The CPU shares (% of one core) of `program` (a Popen) and of the process `server` over
    `seconds` after the warm-up; if the program has ended by then, exits with the line ended()."""
    time.sleep(WARM_UP)
    if program.poll() is not None:
        sys.exit(ended())
    p0, s0, t0 = cpu_seconds(program.pid), cpu_seconds(server), time.monotonic()
    time.sleep(seconds)
    p1, s1, t1 = cpu_seconds(program.pid), cpu_seconds(server), time.monotonic()
    wall = t1 - t0
    return 100 * (p1 - p0) / wall, 100 * (s1 - s0) / wall


def measure(program, scene, size, seconds, extra):
    xvfb, display = start_xvfb(size)
    env = dict(os.environ, DISPLAY=display)
    env.pop('XSCREENSAVER_WINDOW', None)
    hack = subprocess.Popen([program, '-root', '--scene', scene] + extra, env=env, stderr=subprocess.DEVNULL)
    try:
        return shares(hack, xvfb.pid, seconds, lambda: '%s ended early' % program)
    finally:
        hack.send_signal(signal.SIGTERM)
        hack.wait()
        xvfb.terminate()
        xvfb.wait()


def median(values):
    return sorted(values)[len(values) // 2]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('--seconds', type=float, default=20)
    parser.add_argument('--size', default='1920x1080')
    parser.add_argument('--scenes', default='city,campfire')
    parser.add_argument('--extra', default='', help='more options for every program, e.g. --extra=-fps')
    parser.add_argument('--rounds', type=int, default=1, help='measure every program this often, in turn; '
                        'the medians follow')
    parser.add_argument('programs', nargs='+', help='NAME=PROGRAM')
    args = parser.parse_args()
    programs = [p.split('=', 1) for p in args.programs]
    print('%-10s %-10s %8s %8s %8s   (%% of one core, %g s at %s)' % ('scene', 'build', 'hack', 'server', 'total',
                                                                      args.seconds, args.size))
    for scene in args.scenes.split(','):
        runs = {name: [] for name, _ in programs}
        for _ in range(args.rounds):
            for name, program in programs:
                hack, server = measure(program, scene, args.size, args.seconds, args.extra.split())
                runs[name].append((hack, server))
                print('%-10s %-10s %8.2f %8.2f %8.2f' % (scene, name, hack, server, hack + server), flush=True)
        if args.rounds > 1:
            for name, _ in programs:
                hack, server = median([h for h, _ in runs[name]]), median([x for _, x in runs[name]])
                total = median([h + x for h, x in runs[name]])
                print('%-10s %-10s %8.2f %8.2f %8.2f   median of %d' % (scene, name, hack, server, total, args.rounds))


if __name__ == '__main__':
    main()

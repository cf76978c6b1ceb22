#!/usr/bin/env python3
"""Runs the same cases through several builds of duskmere-render and checks that every build
prints identical per-frame hashes (optimised, sanitized and unoptimised code must agree bit for bit).

usage: compare_builds.py RENDER [RENDER ...]
"""
import subprocess
import sys

CASES = [
    # Cross the first pan, the first meteor and the first comet of the city.
    ['--scene', 'city', '--canvas', '64x48', '--seed', '3', '--frames', '9300', '--hash-every', '100'],
    ['--scene', 'city', '--bounds', '1440x900', '--seed', '0x5eed', '--frames', '1500', '--hash-every', '50'],
    ['--scene', 'city', '--canvas', '3840x2', '--seed', '9', '--frames', '1300', '--hash-every', '100'],
    # Scrolls, camps, fires, sparks and the first animal of the campfire.
    ['--scene', 'campfire', '--canvas', '240x135', '--seed', '3', '--frames', '1400', '--hash-every', '50'],
    ['--scene', 'campfire', '--bounds', '960x540', '--seed', '0x5eed', '--frames', '400', '--hash-every', '40'],
    ['--scene', 'campfire', '--canvas', '7x1000', '--seed', '4', '--frames', '400', '--hash-every', '40'],
]


def run(render, args):
    out = subprocess.run([render] + args, capture_output=True, text=True, timeout=600)
    if out.returncode != 0:
        return None, out.stderr.strip()
    return out.stdout, ''


def main():
    renders = sys.argv[1:]
    if len(renders) < 2:
        print(__doc__.strip())
        return 2
    bad = 0
    for args in CASES:
        results = [run(r, args) for r in renders]
        label = ' '.join(args)
        first = results[0][0]
        if first is None or any(r[0] != first for r in results):
            bad += 1
            detail = '; '.join('%s: %s' % (r, e or ('%d lines' % len(o.splitlines()) if o else 'no output'))
                               for r, (o, e) in zip(renders, results))
            print('DIFF  %s (%s)' % (label, detail))
        else:
            print('same  %s: %d frames' % (label, len(first.splitlines())))
    return 1 if bad else 0


if __name__ == '__main__':
    sys.exit(main())

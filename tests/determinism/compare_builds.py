#!/usr/bin/env python3
"""Runs the same cases through several builds of duskmere-render and checks that every build
prints identical per-frame hashes (optimised, sanitized and unoptimised code must agree bit for bit).

usage: compare_builds.py RENDER [RENDER ...]
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
from render_cases import HASH_CASES  # noqa: E402


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
    for args in HASH_CASES:
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

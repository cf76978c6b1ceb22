#!/usr/bin/env python3
"""Checks the Debian package: its files, its control fields, the exactness of the renderer it
ships, and lintian's verdict (no error, no warning).

usage: check_package.py PATH/TO/duskmere_<version>_<arch>.deb
       check_package.py --build BUILD_DIR VERSION   (packages BUILD_DIR with CPack first)
"""
import glob, gzip, os, re, shutil, subprocess, sys, tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
VECTORS_CHECK = os.path.join(HERE, '..', 'data', 'vectors', 'check.py')

# Every file the package holds, with its mode; directories only as their parents.
FILES = {
    'usr/libexec/xscreensaver/duskmere': 0o755,
    'usr/bin/duskmere-render': 0o755,
    'usr/bin/duskmere-wayland': 0o755,
    'usr/share/xscreensaver/config/duskmere.xml': 0o644,
    'usr/share/man/man6/duskmere.6.gz': 0o644,
    'usr/share/man/man6/duskmere-wayland.6.gz': 0o644,
    'usr/share/man/man1/duskmere-render.1.gz': 0o644,
    'usr/share/doc/duskmere/copyright': 0o644,
    'usr/share/doc/duskmere/changelog.gz': 0o644,
    'usr/lib/systemd/user/duskmere-wayland.service': 0o644,
}
# Libraries the programs link, which the computed dependencies must name, and those they must not
# (cairo is only the tests' reference rasteriser).
LIBRARIES = ('libc6', 'libx11-6', 'libxext6', 'libpng16-16', 'libstdc++6', 'libsystemd0')
NOT_LINKED = ('libcairo2',)


def run(cmd, **kw):
    return subprocess.run(cmd, capture_output=True, text=True, **kw)


def check(deb, version):
    problems = []
    arch = run(['dpkg', '--print-architecture']).stdout.strip()
    if version and os.path.basename(deb) != 'duskmere_%s_%s.deb' % (version, arch):
        problems.append('file name %s, expected duskmere_%s_%s.deb'
                        % (os.path.basename(deb), version, arch))

    # Contents: exactly the files above, owned by root, with their modes.
    listing = run(['dpkg-deb', '--contents', deb], check=True).stdout.splitlines()
    seen, dirs = {}, set()
    for line in listing:
        perms, owner, _size, _date, _time, name = line.split(None, 5)
        name = name.split(' -> ')[0].lstrip('./').rstrip('/')
        if owner != 'root/root':
            problems.append('%s is owned by %s' % (name, owner))
        if perms.startswith('d'):
            dirs.add(name)
        else:
            seen[name] = perms
    for name, mode in FILES.items():
        want = '-' + ''.join(c if mode & (1 << (8 - i)) else '-' for i, c in enumerate('rwxrwxrwx'))
        if name not in seen:
            problems.append('missing %s' % name)
        elif seen[name] != want:
            problems.append('%s has mode %s, expected %s' % (name, seen[name], want))
    problems += ['unexpected file %s' % n for n in sorted(set(seen) - set(FILES))]
    parents = set()
    for name in FILES:
        folder = os.path.dirname(name)
        while folder:
            parents.add(folder)
            folder = os.path.dirname(folder)
    problems += ['unexpected folder %s' % d for d in sorted(dirs - parents - {''})]

    # Control fields.
    fields = {}
    for line in run(['dpkg-deb', '--field', deb], check=True).stdout.splitlines():
        if line[:1] not in (' ', '\t') and ':' in line:
            key, value = line.split(':', 1)
            fields[key] = value.strip()
    expected = {'Package': 'duskmere', 'Architecture': arch, 'Section': 'x11',
                'Priority': 'optional', 'Recommends': 'xscreensaver'}
    if version:
        expected['Version'] = version
    for key, value in expected.items():
        if fields.get(key) != value:
            problems.append('control field %s is %r, expected %r' % (key, fields.get(key), value))
    depends = [d.split()[0] for d in fields.get('Depends', '').split(',') if d.strip()]
    problems += ['Depends does not name %s (%s)' % (lib, fields.get('Depends'))
                 for lib in LIBRARIES if lib not in depends]
    problems += ['Depends names %s (%s)' % (lib, fields.get('Depends')) for lib in NOT_LINKED if lib in depends]
    for key in ('Maintainer', 'Description', 'Installed-Size'):
        if not fields.get(key):
            problems.append('no %s field' % key)

    # What is inside works: man pages decompress to pages, the programs know the package's
    # version, and the shipped (stripped) renderer still draws the reference frames bit for bit.
    with tempfile.TemporaryDirectory(prefix='duskmere-deb-') as root:
        subprocess.run(['dpkg-deb', '--extract', deb, root], check=True)
        for page, head in (('usr/share/man/man6/duskmere.6.gz', '.TH DUSKMERE 6 '),
                           ('usr/share/man/man6/duskmere-wayland.6.gz', '.TH DUSKMERE\\-WAYLAND 6 '),
                           ('usr/share/man/man1/duskmere-render.1.gz', '.TH DUSKMERE\\-RENDER 1 ')):
            path = os.path.join(root, page)
            if os.path.exists(path):
                text = gzip.open(path, 'rt').read()
                if not text.startswith(head) or (version and version not in text.splitlines()[0]):
                    problems.append('%s does not begin with its title and version' % page)
        for program in ('usr/bin/duskmere-render', 'usr/bin/duskmere-wayland', 'usr/libexec/xscreensaver/duskmere'):
            path = os.path.join(root, program)
            if version and os.path.exists(path):
                said = run([path, '--version'], timeout=30).stdout.strip()
                if said != '%s %s' % (os.path.basename(program), version):
                    problems.append('%s --version says %r, the package is %s'
                                    % (program, said, version))
        render = os.path.join(root, 'usr/bin/duskmere-render')
        if os.path.exists(render):
            vectors = run([sys.executable, VECTORS_CHECK, render], timeout=300)
            if vectors.returncode != 0:
                problems.append('the packaged renderer differs from the reference vectors:\n'
                                + vectors.stdout)

    # lintian: errors and warnings fail; information and pedantic notes do not.
    lint = run(['lintian', '--allow-root', '--no-tag-display-limit', deb], timeout=600)
    tags = [l for l in lint.stdout.splitlines() if re.match(r'[EW]: ', l)]
    problems += ['lintian: ' + t for t in tags]
    if lint.returncode not in (0, 1, 2) or 'internal error' in lint.stderr.lower():
        problems.append('lintian failed to run (status %d): %s'
                        % (lint.returncode, lint.stderr.strip()))
    return problems, fields


def main(argv):
    if len(argv) == 2 and argv[1].endswith('.deb'):
        deb, version, scratch = argv[1], None, None
    elif len(argv) == 4 and argv[1] == '--build':
        build, version = argv[2], argv[3]
        scratch = tempfile.mkdtemp(prefix='duskmere-cpack-')
        made = run(['cpack', '-G', 'DEB', '--config', os.path.join(build, 'CPackConfig.cmake'),
                    '-B', scratch], timeout=600)
        found = glob.glob(os.path.join(scratch, 'duskmere_*.deb'))
        if made.returncode != 0 or len(found) != 1:
            print('FAILED: cpack made no package:\n' + made.stdout + made.stderr, file=sys.stderr)
            shutil.rmtree(scratch, ignore_errors=True)
            return 1
        deb = found[0]
    else:
        print('usage: check_package.py DEB | --build BUILD_DIR VERSION', file=sys.stderr)
        return 2
    try:
        problems, fields = check(deb, version)
    finally:
        if scratch:
            shutil.rmtree(scratch, ignore_errors=True)
    if problems:
        print('FAILED: %s\n  ' % os.path.basename(deb) + '\n  '.join(problems), file=sys.stderr)
        return 1
    print('%s: %d files, Depends: %s; lintian: no errors or warnings'
          % (os.path.basename(deb), len(FILES), fields.get('Depends')))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))

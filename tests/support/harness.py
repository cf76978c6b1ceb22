"""What the Python harnesses and benches share: how they fail or skip, waiting for a condition, and
the unprivileged account they run programs as (the daemon refuses to start hacks as root, and the
compositors refuse root as well)."""
import os
import pwd
import shutil
import subprocess
import sys
import time

TEST_USER = 'duskmere-test'


class Failed(Exception):
    pass


def skip(reason):
    print('SKIP: ' + reason)
    sys.exit(77)


def wait_for(what, test, within, interval=0.05):
    """test()'s first true value, asked every `interval` s; Failed after `within` s."""
    end = time.monotonic() + within
    while True:
        value = test()
        if value:
            return value
        if time.monotonic() > end:
            raise Failed('%s: not within %.1f s' % (what, within))
        time.sleep(interval)


def account(name):
    try:
        return pwd.getpwnam(name)
    except KeyError:
        return None


def unprivileged_user(fallback=None):
    """The account to run programs as: ourselves unless root; else duskmere-test, made here when
    missing; else the account named `fallback`. None when there is none."""
    if os.getuid() != 0:
        return pwd.getpwuid(os.getuid())
    if not account(TEST_USER) and shutil.which('useradd'):
        subprocess.run(['useradd', '--system', '--no-create-home', '--home-dir', '/nonexistent',
                        '--shell', '/usr/sbin/nologin', TEST_USER],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return account(TEST_USER) or (account(fallback) if fallback else None)


def as_user(user):
    """Popen's arguments that run a program as `user` when we are root (and so may)."""
    return dict(user=user.pw_uid, group=user.pw_gid, extra_groups=[]) if os.getuid() == 0 else {}

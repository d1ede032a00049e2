"""Child processes of the sandbox's process 1."""

import os
import signal
import time

DEFAULT_SIGNALS = (signal.SIGPIPE, signal.SIGXFSZ, signal.SIGINT, signal.SIGTERM, signal.SIGHUP)


def spawn(argv, env=None, quiet=False):
    """Starts a child with default signal handling; the Reaper collects it."""
    actions = []
    if quiet:
        actions = [(os.POSIX_SPAWN_OPEN, 0, os.devnull, os.O_RDONLY, 0),
                   (os.POSIX_SPAWN_OPEN, 1, os.devnull, os.O_WRONLY, 0)]
    return os.posix_spawnp(argv[0], argv, env if env is not None else os.environ,
                           file_actions=actions, setsigdef=DEFAULT_SIGNALS, setsigmask=())


class Reaper:
    """Process 1 inherits every orphan of the namespace and has to collect them all."""

    def __init__(self):
        self.exited = {}

    def collect(self):
        while True:
            try:
                pid, status = os.waitpid(-1, os.WNOHANG)
            except ChildProcessError:
                return
            if pid == 0:
                return
            self.exited[pid] = status

    def wait_for(self, pid, timeout):
        deadline = time.monotonic() + timeout
        killed = False
        while True:
            self.collect()
            if pid in self.exited:
                return self.exited.pop(pid)
            if time.monotonic() > deadline:
                if killed or not kill(pid, signal.SIGKILL):
                    return None
                killed = True
                deadline += timeout
            time.sleep(0.02)


def kill(pid, sig):
    try:
        os.kill(pid, sig)
        return True
    except ProcessLookupError:
        return False


def exit_code(status):
    if os.WIFSIGNALED(status):
        return 128 + os.WTERMSIG(status)
    return os.WEXITSTATUS(status)

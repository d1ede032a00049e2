"""wq-sandbox [--nodes N] [--containerised-node K] [--no-gluster] [--keep DIR] -- COMMAND ARGS...

The outer process makes the state directory, starts the inner one in new
mount, network and pid namespaces, passes SIGTERM on to it, and returns the
command's exit code (125 when the sandbox itself could not be set up). The
inner process is the namespace's process 1: when it ends, the kernel ends
every process left in the namespace, and with it every mount.
"""

import argparse
import ctypes
import os
import shutil
import signal
import subprocess
import sys
import tempfile

PR_SET_PDEATHSIG = 1
PYTHON = "/usr/bin/python3"


def parse(argv):
    parser = argparse.ArgumentParser(
        prog="wq-sandbox",
        description="Run COMMAND next to sandboxed storage nodes (sshd + glusterd).")
    parser.add_argument("--nodes", type=int, default=3, help="number of nodes (default 3)")
    parser.add_argument("--containerised-node", default="",
                        help="node (number from 1, or address) whose GlusterFS runs in a container")
    parser.add_argument("--no-gluster", dest="gluster", action="store_false",
                        help="do not start glusterd")
    parser.add_argument("--keep", metavar="DIR", default="",
                        help="use DIR as the state directory and keep it afterwards")
    parser.add_argument("--inner", action="store_true", help=argparse.SUPPRESS)
    parser.add_argument("--state", default="", help=argparse.SUPPRESS)
    if "--" not in argv:
        parser.error("the command goes after --")
    split = argv.index("--")
    options = parser.parse_args(argv[:split])
    command = argv[split + 1:]
    if not command:
        parser.error("no command after --")
    if not 1 <= options.nodes <= 200:
        parser.error("--nodes must be between 1 and 200")
    return options, command


def forward_options(options):
    args = ["--nodes", str(options.nodes)]
    if options.containerised_node:
        args += ["--containerised-node", options.containerised_node]
    if not options.gluster:
        args.append("--no-gluster")
    if options.keep:
        args += ["--keep", options.keep]
    return args


def die_with_parent():
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(PR_SET_PDEATHSIG, signal.SIGKILL, 0, 0, 0)


def children_of(pid):
    try:
        with open("/proc/%d/task/%d/children" % (pid, pid), encoding="ascii") as f:
            return [int(p) for p in f.read().split()]
    except OSError:
        return []


def outer(options, command):
    if os.geteuid() != 0:
        sys.stderr.write("wq-sandbox: must run as root\n")
        return 125
    for tool in ("unshare", "ip", "sshd", "ssh-keygen", "openssl"):
        if shutil.which(tool, path=os.environ.get("PATH", "") + ":/usr/sbin:/sbin") is None:
            sys.stderr.write("wq-sandbox: %s is missing (run scripts/install-deps.sh)\n" % tool)
            return 125
    if options.keep:
        state = os.path.abspath(options.keep)
        os.makedirs(state, exist_ok=True)
        if os.listdir(state):
            sys.stderr.write("wq-sandbox: --keep %s: the directory is not empty\n" % state)
            return 125
    else:
        state = tempfile.mkdtemp(prefix="wq-sandbox.", dir="/tmp")
    me = os.path.realpath(sys.argv[0])
    # unshare blocks SIGTERM while it waits; --kill-child passes its own end on to
    # the inner process, and the death signal below ends unshare with this one.
    argv = ["unshare", "--mount", "--net", "--pid", "--fork", "--mount-proc",
            "--kill-child=SIGTERM", "--", PYTHON, "-IB", me, "--inner", "--state", state]
    argv += forward_options(options) + ["--"] + command
    proc = subprocess.Popen(argv, preexec_fn=die_with_parent)

    def forward(signum, _frame):
        for child in children_of(proc.pid):
            try:
                os.kill(child, signal.SIGTERM)
            except ProcessLookupError:
                pass

    signal.signal(signal.SIGTERM, forward)
    signal.signal(signal.SIGHUP, forward)
    signal.signal(signal.SIGINT, lambda *_: None)
    rc = proc.wait()
    if not options.keep:
        shutil.rmtree(state, ignore_errors=True)
    return 128 - rc if rc < 0 else rc


def main(argv):
    options, command = parse(argv)
    if options.inner:
        from . import inner
        return inner.run(command, options)
    return outer(options, command)

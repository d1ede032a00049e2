"""The storage nodes: one real OpenSSH sshd per loopback address.

Every node has its own host key, configuration, pid file and log in the state
directory; all of them share the sandbox user, its authorised keys and the
glusterd of the sandbox, like the peers of one trusted storage pool.
"""

import os
import shlex
import signal
import socket
import subprocess
import time

from . import layout as lay
from . import procs

SSHD = "/usr/sbin/sshd"
# OpenSSH's default order, written out so that the classic curve25519 exchange
# stays on offer for clients (libssh2 1.10) that lack the post-quantum one.
KEX = ("sntrup761x25519-sha512@openssh.com,curve25519-sha256,curve25519-sha256@libssh.org,"
       "ecdh-sha2-nistp256,ecdh-sha2-nistp384,ecdh-sha2-nistp521,"
       "diffie-hellman-group-exchange-sha256,diffie-hellman-group16-sha512,"
       "diffie-hellman-group18-sha512,diffie-hellman-group14-sha256")
# name of the key file, ssh-keygen type, extra ssh-keygen arguments, needs the passphrase
USER_KEYS = (
    ("id_ed25519", "ed25519", [], False),
    ("id_ed25519_pass", "ed25519", [], True),
    ("id_ecdsa", "ecdsa", ["-b", "256", "-m", "PEM"], False),
    ("id_rsa", "rsa", ["-b", "2048", "-m", "PEM"], False),
)


def keygen(path, kind, extra, passphrase=""):
    """Starts ssh-keygen for one key; the caller waits for it."""
    return subprocess.Popen(["ssh-keygen", "-q", "-t", kind] + extra +
                            ["-N", passphrase, "-C", "wq-sandbox", "-f", path],
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)


def public_key(path):
    with open(path + ".pub", encoding="ascii") as f:
        return f.read().strip()


class Node:
    def __init__(self, layout, address, accept_rsa):
        self.layout = layout
        self.address = address
        self.accept_rsa = accept_rsa
        self.dir = layout.node_dir(address)
        self.host_key = os.path.join(self.dir, "ssh_host_ed25519_key")
        self.config = os.path.join(self.dir, "sshd_config")
        self.log = os.path.join(layout.log_dir, "sshd-%s.log" % address)
        self.pid = None
        self.refuse_password = False

    def write_config(self, refuse_password):
        self.refuse_password = refuse_password
        session = os.path.join(lay.SANDBOX_TOOLS, "bin", "wq-node-session")
        lines = [
            "ListenAddress %s:22" % self.address,
            "HostKey " + self.host_key,
            "PidFile " + os.path.join(self.dir, "sshd.pid"),
            "AuthorizedKeysFile " + os.path.join(self.layout.keys, "authorized_keys"),
            # The state directory sits below /tmp, which StrictModes would reject.
            "StrictModes no",
            # Without PAM sshd checks passwords against /etc/shadow itself, which
            # is the sandbox's own copy inside its mount namespace.
            "UsePAM no",
            "PermitRootLogin yes",
            "PasswordAuthentication " + ("no" if refuse_password else "yes"),
            "KbdInteractiveAuthentication no",
            "PubkeyAuthentication yes",
            "PermitEmptyPasswords no",
            "KexAlgorithms " + KEX,
            "UseDNS no",
            "PrintMotd no",
            "PrintLastLog no",
            "LogLevel VERBOSE",
            "MaxStartups 100:30:200",
            "Subsystem sftp internal-sftp",
            'SetEnv "WQSANDBOX_NODE=%s" "WQSANDBOX_DIR=%s"' % (self.address, self.layout.root),
            "ForceCommand " + shlex.quote(session),
        ]
        if self.accept_rsa:
            lines.append("PubkeyAcceptedAlgorithms +ssh-rsa")
        with open(self.config, "w", encoding="utf-8") as f:
            f.write("".join(line + "\n" for line in lines))

    def start(self):
        self.pid = procs.spawn([SSHD, "-D", "-f", self.config, "-E", self.log], quiet=True)

    def wait_listening(self, timeout=10.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            try:
                with socket.create_connection((self.address, 22), timeout=1.0) as s:
                    if s.recv(8).startswith(b"SSH-"):
                        return True
            except OSError:
                pass
            time.sleep(0.02)
        return False

    def session_pids(self):
        """The listener's descendants: the sessions a crash of the node would end."""
        found, queue = [], [self.pid]
        while queue:
            pid = queue.pop()
            try:
                with open("/proc/%d/task/%d/children" % (pid, pid), encoding="ascii") as f:
                    children = [int(p) for p in f.read().split()]
            except OSError:
                children = []
            found += children
            queue += children
        return found

    def stop(self, reaper):
        if self.pid is None:
            return
        sessions = self.session_pids()
        for pid in [self.pid] + sessions:
            try:
                os.kill(pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
        reaper.wait_for(self.pid, 5.0)
        self.pid = None

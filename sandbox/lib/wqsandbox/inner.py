"""The inside of a sandbox: process 1 of fresh mount, network and pid namespaces.

It prepares the namespaces (private /run, loopback up, the brick address, the
node user in copies of the account files, the snapshot-aware mount helper),
starts glusterd and one sshd per node, runs the command, applies the node
faults of the control directory while the command runs, and finally stops
every process and undoes every mount of the namespace.
"""

import glob
import os
import secrets
import shlex
import shutil
import signal
import subprocess
import sys
import time

from . import docker
from . import faults
from . import layout as lay
from . import mounts
from . import sshnodes
from .procs import Reaper, exit_code, kill, spawn

SYSTEM_PATH = "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"
class SetupError(Exception):
    pass


def run(command, options):
    return Sandbox(lay.Layout(options.state), options).run(command)


class Sandbox:
    def __init__(self, layout, options):
        self.layout = layout
        self.options = options
        self.reaper = Reaper()
        self.nodes = []
        self.command_pid = None
        self.stop_requested = None
        self.original_mounts = set()
        self.env = {}

    def log(self, text):
        with open(os.path.join(self.layout.log_dir, "sandbox.log"), "a", encoding="utf-8") as f:
            now = time.time()
            f.write("%s.%03d %s\n" % (time.strftime("%H:%M:%S", time.localtime(now)),
                                      int(now * 1000) % 1000, text))

    def run(self, command):
        self.original_mounts = {e.id for e in mounts.table()}
        os.makedirs(self.layout.log_dir, exist_ok=True)
        self.log("starting")
        signal.signal(signal.SIGTERM, self.on_stop)
        signal.signal(signal.SIGHUP, self.on_stop)
        # Ctrl-C reaches the command directly; the sandbox ends when the command does.
        signal.signal(signal.SIGINT, lambda *_: None)
        rc = 125
        try:
            self.setup()
            rc = self.supervise(command)
        except (SetupError, OSError, subprocess.SubprocessError) as e:
            sys.stderr.write("wq-sandbox: %s\n" % e)
        finally:
            self.teardown()
        return rc

    def on_stop(self, *_):
        if self.stop_requested is None:
            self.stop_requested = time.monotonic()
            if self.command_pid is not None:
                kill(self.command_pid, signal.SIGTERM)

    # --- setup --------------------------------------------------------------

    def setup(self):
        L = self.layout
        for folder in (L.log_dir, L.keys, L.bricks, L.snaps, L.path("gluster"), L.path("etc"),
                       L.path("home"), L.container_bin, os.path.join(L.ctl, "gluster"),
                       os.path.join(L.ctl, "mount"), L.live_mounts):
            os.makedirs(folder, exist_ok=True)
        os.symlink(lay.SANDBOX_TOOLS, L.path("tools"))
        # Bricks and snapshot copies live in memory: removing thousands of brick
        # directories from a disk mounted with `discard` takes many seconds.
        for folder in (L.bricks, L.snaps):
            mounts.mount("tmpfs", folder, "tmpfs", 0, "mode=755")
        self.private_run()
        self.network()
        self.password = secrets.token_urlsafe(12)
        self.passphrase = secrets.token_urlsafe(12)
        self.accounts()
        self.quiet_login_records()
        self.install_mount_helper()
        self.private_gluster_dirs()
        if self.options.gluster:
            self.start_glusterd()
            self.log("glusterd started")
        self.make_nodes()
        self.make_keys()
        for node in self.nodes:
            node.write_config(refuse_password=False)
            node.start()
        for node in self.nodes:
            if not node.wait_listening():
                raise SetupError("sshd of node %s did not start:\n%s" % (node.address,
                                                                        tail(node.log)))
            self.write_status(node, "up")
        if self.options.gluster:
            self.wait_glusterd()
            self.log("glusterd answers")
        self.write_config()

    def private_run(self):
        mounts.mount("tmpfs", "/run", "tmpfs", 0, "mode=755")
        for folder in ("/run/sshd", "/run/gluster", "/run/lock"):
            os.makedirs(folder, exist_ok=True)
        os.symlink(self.layout.root, lay.RUN_LINK)

    def network(self):
        for args in (["link", "set", "lo", "up"],
                     ["addr", "add", lay.BRICK_HOST + "/32", "dev", "lo"]):
            subprocess.run(["ip"] + args, check=True)

    def bind_copy(self, original, text=None):
        """Bind-mounts a copy of `original` (or `text`) over it; the original stays as it was."""
        copy = self.layout.path("etc", os.path.basename(original))
        if text is None:
            shutil.copy2(original, copy)
        else:
            with open(copy, "w", encoding="utf-8") as f:
                f.write(text)
            shutil.copymode(original, copy)
        st = os.stat(original)
        os.chown(copy, st.st_uid, st.st_gid)
        mounts.bind(copy, original)

    def accounts(self):
        """The node user: uid 0 under its own name, as storage nodes are run as root."""
        home = self.layout.path("home")
        with open("/etc/passwd", encoding="utf-8") as f:
            passwd = f.read()
        passwd = passwd if passwd.endswith("\n") else passwd + "\n"
        if not any(line.startswith("sshd:") for line in passwd.splitlines()):
            passwd += "sshd:x:65500:65534::/run/sshd:/usr/sbin/nologin\n"
        passwd += "%s:x:0:0:sandbox storage node:%s:/bin/bash\n" % (lay.NODE_USER, home)
        hashed = subprocess.run(["openssl", "passwd", "-6", "-stdin"], input=self.password,
                                capture_output=True, text=True, check=True).stdout.strip()
        with open("/etc/shadow", encoding="utf-8") as f:
            shadow = f.read()
        shadow = shadow if shadow.endswith("\n") else shadow + "\n"
        # A last-change day of today: 0 would force a password change at login.
        shadow += "%s:%s:%d:0:99999:7:::\n" % (lay.NODE_USER, hashed, int(time.time() // 86400))
        self.bind_copy("/etc/passwd", passwd)
        self.bind_copy("/etc/shadow", shadow)
        self.bind_copy("/etc/group")

    def quiet_login_records(self):
        """sshd records logins in these files; the machine's copies must not change."""
        for path in ("/var/log/wtmp", "/var/log/btmp", "/var/log/lastlog"):
            if os.path.isfile(path):
                self.bind_copy(path, "")

    def install_mount_helper(self):
        helper = os.path.realpath(lay.MOUNT_HELPER)
        if not os.path.isfile(helper):
            self.log("no %s: glusterfs-client is not installed" % lay.MOUNT_HELPER)
            return
        shutil.copy2(helper, self.layout.path("mount.glusterfs.real"))
        mounts.bind(os.path.join(lay.SANDBOX_TOOLS, "bin", "wq-dispatch"), helper)

    def private_gluster_dirs(self):
        """glusterd's working directory and every GlusterFS log (the CLI's too, even
        without glusterd) go to the state directory."""
        workdir = self.layout.path("glusterd")
        groups = "/var/lib/glusterd/groups"
        if os.path.isdir(groups):
            shutil.copytree(groups, os.path.join(workdir, "groups"))
        os.makedirs(workdir, exist_ok=True)
        logs = self.layout.path("log", "glusterfs")
        os.makedirs(logs, exist_ok=True)
        for private, original in ((workdir, "/var/lib/glusterd"), (logs, "/var/log/glusterfs")):
            if os.path.isdir(original):
                mounts.bind(private, original)

    def start_glusterd(self):
        if shutil.which("glusterd") is None or not os.path.isdir("/var/lib/glusterd"):
            raise SetupError("glusterd is not installed (glusterfs-server); try --no-gluster")
        self.quiet_geo_replication()
        # glusterd daemonizes: the first process ends once the daemon runs.
        proc = subprocess.run(["glusterd", "-p", "/run/glusterd.pid", "--log-level", "INFO"],
                              stdin=subprocess.DEVNULL, capture_output=True, text=True)
        if proc.returncode != 0:
            raise SetupError("glusterd did not start: %s%s" % (proc.stderr, proc.stdout))

    def quiet_geo_replication(self):
        """Stands in for gsyncd, which glusterd runs some twenty times at every start
        to configure geo-replication (seconds of Python start-up); the sandbox has no
        use for geo-replication, and glusterd only wants the version line."""
        stand_in = self.layout.path("gsyncd")
        with open(stand_in, "w", encoding="ascii") as f:
            f.write('#!/bin/sh\n[ "$1" = --version ] && echo "gsyncd.py 10.3"\nexit 0\n')
        os.chmod(stand_in, 0o755)
        for path in glob.glob("/usr/lib/*/glusterfs/gsyncd") + glob.glob("/usr/libexec/glusterfs/gsyncd"):
            mounts.bind(stand_in, path)

    def wait_glusterd(self, timeout=20.0):
        deadline = time.monotonic() + timeout
        last = None
        while time.monotonic() < deadline:
            last = subprocess.run([lay.REAL_GLUSTER, "--mode=script", "volume", "list"],
                                  stdin=subprocess.DEVNULL, capture_output=True, text=True)
            if last.returncode == 0:
                return
            time.sleep(0.1)
        raise SetupError("glusterd does not answer: %s" % (last.stderr if last else ""))

    def make_nodes(self):
        L = self.layout
        count = self.options.nodes
        addresses = [lay.node_address(i) for i in range(1, count + 1)]
        self.rsa_node = addresses[-1]
        self.containerised = ""
        if self.options.containerised_node:
            self.containerised = pick_node(self.options.containerised_node, addresses)
        gluster = os.path.join(lay.SANDBOX_TOOLS, "bin", "gluster")
        os.symlink(gluster, os.path.join(L.container_bin, "gluster"))
        system_path = self.docker_free_path()
        write_text(L.path("container", "path"), L.container_bin + ":" + system_path)
        for address in addresses:
            os.makedirs(L.node_bin(address))
            os.makedirs(L.ctl_node(address))
            write_text(os.path.join(L.node_dir(address), "path"),
                       L.node_bin(address) + ":" + system_path)
            os.symlink(gluster, os.path.join(L.node_bin(address), "gluster"))
            if address == self.containerised:
                os.symlink(os.path.join(lay.SANDBOX_TOOLS, "bin", "docker"),
                           os.path.join(L.node_bin(address), "docker"))
            self.nodes.append(sshnodes.Node(L, address, address == self.rsa_node))

    def docker_free_path(self):
        """The system PATH of the nodes, without the machine's own docker client.

        Only the containerised node has docker. A directory of the PATH that holds
        a docker client of the machine is replaced by a sandbox directory that
        links to everything else in it.
        """
        parts = []
        for folder in SYSTEM_PATH.split(":"):
            if not os.path.lexists(os.path.join(folder, "docker")):
                parts.append(folder)
                continue
            shadow = self.layout.path("path", folder.strip("/").replace("/", "-"))
            os.makedirs(shadow)
            for entry in os.listdir(folder):
                if entry != "docker":
                    os.symlink(os.path.join(folder, entry), os.path.join(shadow, entry))
            parts.append(shadow)
        return ":".join(parts)

    def make_keys(self):
        L = self.layout
        jobs = [sshnodes.keygen(n.host_key, "ed25519", []) for n in self.nodes]
        for name, kind, extra, protected in sshnodes.USER_KEYS:
            jobs.append(sshnodes.keygen(os.path.join(L.keys, name), kind, extra,
                                        self.passphrase if protected else ""))
        if any(job.wait() != 0 for job in jobs):
            raise SetupError("ssh-keygen failed")
        with open(os.path.join(L.keys, "authorized_keys"), "w", encoding="ascii") as f:
            for name, _, _, _ in sshnodes.USER_KEYS:
                f.write(sshnodes.public_key(os.path.join(L.keys, name)) + "\n")
        with open(os.path.join(L.keys, "known_hosts"), "w", encoding="ascii") as f:
            for node in self.nodes:
                kind, blob = sshnodes.public_key(node.host_key).split()[:2]
                f.write("%s %s %s\n" % (node.address, kind, blob))
        with open(os.path.join(L.keys, "ssh_config"), "w", encoding="ascii") as f:
            f.write("Host *\n  User %s\n  UserKnownHostsFile %s\n  GlobalKnownHostsFile /dev/null\n"
                    "  StrictHostKeyChecking yes\n  IdentitiesOnly yes\n  ConnectTimeout 10\n"
                    "  LogLevel ERROR\n" % (lay.NODE_USER, os.path.join(L.keys, "known_hosts")))

    def write_config(self):
        L = self.layout
        key = lambda name: os.path.join(L.keys, name)
        container_id = docker.storage_container_id(self.containerised) if self.containerised else ""
        self.env = {
            "WQSANDBOX_DIR": L.root,
            "WQSANDBOX_NODES": " ".join(n.address for n in self.nodes),
            "WQSANDBOX_USER": lay.NODE_USER,
            "WQSANDBOX_PASSWORD": self.password,
            "WQSANDBOX_KEY_ED25519": key("id_ed25519"),
            "WQSANDBOX_KEY_ED25519_PASS": key("id_ed25519_pass"),
            "WQSANDBOX_KEY_PASSPHRASE": self.passphrase,
            "WQSANDBOX_KEY_ECDSA": key("id_ecdsa"),
            "WQSANDBOX_KEY_RSA": key("id_rsa"),
            "WQSANDBOX_RSA_NODE": self.rsa_node,
            "WQSANDBOX_CTL": L.ctl,
            "WQSANDBOX_PROVISION": os.path.join(lay.SANDBOX_TOOLS, "bin", "wq-provision"),
            "WQSANDBOX_VOLUME": os.path.join(lay.SANDBOX_TOOLS, "bin", "wq-volume"),
            "WQSANDBOX_FAULT": os.path.join(lay.SANDBOX_TOOLS, "bin", "wq-fault"),
            "WQSANDBOX_SSH_CONFIG": key("ssh_config"),
            "WQSANDBOX_BRICK_HOST": lay.BRICK_HOST,
            "WQSANDBOX_GLUSTER": "1" if self.options.gluster else "0",
            "WQSANDBOX_CONTAINERISED_NODE": self.containerised,
            "WQSANDBOX_CONTAINER_ID": container_id[:12],
        }
        lay.write_json_atomic(L.config_file, {"env": self.env, "tools": lay.SANDBOX_TOOLS})
        with open(L.path("env"), "w", encoding="utf-8") as f:
            for name in sorted(self.env):
                f.write("export %s=%s\n" % (name, shlex.quote(self.env[name])))

    # --- running ------------------------------------------------------------

    def supervise(self, command):
        env = dict(os.environ)
        env.update(self.env)
        if self.stop_requested is not None:
            return 128 + signal.SIGTERM
        self.log("running %s" % " ".join(map(shlex.quote, command)))
        try:
            self.command_pid = spawn(command, env)
        except OSError as e:
            sys.stderr.write("wq-sandbox: %s: %s\n" % (command[0], e.strerror))
            return 127
        while True:
            self.reaper.collect()
            status = self.reaper.exited.pop(self.command_pid, None)
            if status is not None:
                return exit_code(status)
            if self.stop_requested is not None and time.monotonic() - self.stop_requested > 5:
                self.log("the command did not end after SIGTERM")
                return 128 + signal.SIGTERM
            self.apply_node_controls()
            time.sleep(0.05)

    def apply_node_controls(self):
        for node in self.nodes:
            ctl = self.layout.ctl_node(node.address)
            want = faults.wanted_status(ctl)
            down, refuse = want == "down", want.endswith("refuse-password")
            alive = node.pid is not None and node.pid not in self.reaper.exited
            if node.pid is not None and not alive:
                self.reaper.exited.pop(node.pid, None)
                node.pid = None
                self.log("sshd of %s ended by itself" % node.address)
            if down:
                node.stop(self.reaper)
            elif node.pid is None or refuse != node.refuse_password:
                node.stop(self.reaper)
                node.write_config(refuse)
                node.start()
                if not node.wait_listening():
                    self.log("sshd of %s did not come back:\n%s" % (node.address, tail(node.log)))
                    continue
            self.write_status(node, want)

    def write_status(self, node, text):
        path = os.path.join(self.layout.ctl_node(node.address), "status")
        try:
            with open(path, encoding="utf-8") as f:
                if f.read().strip() == text:
                    return
        except FileNotFoundError:
            pass
        self.log("node %s: %s" % (node.address, text))
        tmp = path + ".tmp"
        with open(tmp, "w", encoding="utf-8") as f:
            f.write(text + "\n")
        os.replace(tmp, path)

    # --- teardown -----------------------------------------------------------

    def teardown(self):
        self.log("stopping")
        self.stop_all_processes()
        self.log("stopped every process")
        for entry in reversed(mounts.table()):
            if entry.id not in self.original_mounts:
                try:
                    mounts.detach(entry.point)
                except OSError:
                    pass
        self.log("undid every mount")
        if not self.options.keep:
            shutil.rmtree(self.layout.root, ignore_errors=True)

    def stop_all_processes(self):
        for sig in (signal.SIGTERM, signal.SIGKILL):
            deadline = time.monotonic() + 3.0
            pids = other_processes()
            for pid in pids:
                kill(pid, sig)
            while pids and time.monotonic() < deadline:
                time.sleep(0.02)
                self.reaper.collect()
                pids = other_processes()
            if not pids:
                return


def other_processes():
    """Every process of the namespace but this one, which is process 1."""
    return [int(p) for p in os.listdir("/proc") if p.isdigit() and int(p) != os.getpid()]


def pick_node(choice, addresses):
    if choice in addresses:
        return choice
    if choice.isdigit() and 1 <= int(choice) <= len(addresses):
        return addresses[int(choice) - 1]
    raise SetupError("--containerised-node %s: no such node" % choice)


def write_text(path, text):
    with open(path, "w", encoding="utf-8") as f:
        f.write(text + "\n")


def tail(path, lines=20):
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            return "".join(f.readlines()[-lines:])
    except OSError:
        return ""

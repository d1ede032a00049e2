"""Runs wq-sandbox from outside and checks what it leaves behind.

run_sandbox_tests.py SANDBOX PROBE [unittest arguments]

Each sandboxed command writes a report: the state directory and the ids of the
sandbox's pid, mount and network namespaces. Once wq-sandbox has returned (or
has been killed), no process may remain in those namespaces (so no mount of
them remains either), the state directory must be gone, and the machine's
account files, mount helper and GlusterFS directories must be as before.
"""

import hashlib
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

SANDBOX = PROBE = ""
CHECKS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "sandbox_checks.py")
REPORT = ('printf "%s %s %s %s" "$WQSANDBOX_DIR" "$(readlink /proc/self/ns/pid)" '
          '"$(readlink /proc/self/ns/mnt)" "$(readlink /proc/self/ns/net)" > {report}')
MACHINE_FILES = ("/etc/passwd", "/etc/shadow", "/etc/group", "/usr/sbin/mount.glusterfs",
                 "/var/log/wtmp", "/var/log/btmp", "/var/log/lastlog")
MACHINE_DIRS = ("/var/lib/glusterd", "/var/log/glusterfs", "/run/gluster")
# What sshd and glusterd would leave in the machine's /run.
MACHINE_RUN = ("/run/sshd", "/run/sshd.pid", "/run/glusterd.pid", "/run/glusterd.socket",
               "/run/wq-sandbox")


def machine_state():
    state = {}
    for path in MACHINE_FILES:
        if os.path.exists(path):
            with open(path, "rb") as f:
                state[path] = hashlib.sha256(f.read()).hexdigest()
    for path in MACHINE_DIRS:
        if os.path.isdir(path):
            state[path] = sorted(os.listdir(path))
    state["run"] = [path for path in MACHINE_RUN if os.path.lexists(path)]
    return state


def leftovers(report):
    with open(report) as f:
        state_dir, *namespaces = f.read().split()
    found = [state_dir] if os.path.exists(state_dir) else []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        for kind in ("pid", "mnt", "net"):
            try:
                if os.readlink("/proc/%s/ns/%s" % (pid, kind)) in namespaces:
                    found.append("process %s in the sandbox's %s namespace" % (pid, kind))
            except OSError:
                pass
    with open("/proc/self/mounts") as f:
        found += [line for line in f if state_dir in line]
    return found


def sandbox(args, script, **popen):
    return subprocess.Popen([SANDBOX] + args + ["--", "bash", "-c", script], **popen)


class SandboxTest(unittest.TestCase):
    def setUp(self):
        self.before = machine_state()
        self.work = tempfile.mkdtemp(prefix="wq-sandbox-test.")
        self.addCleanup(shutil.rmtree, self.work, True)
        self.report = os.path.join(self.work, "report")

    def tearDown(self):
        self.assertEqual(machine_state(), self.before)
        with open("/etc/passwd") as f:
            self.assertNotIn("wqnode:", f.read())

    def assert_clean(self, timeout=0.0):
        deadline = time.monotonic() + timeout
        while leftovers(self.report) and time.monotonic() < deadline:
            time.sleep(0.2)
        self.assertEqual(leftovers(self.report), [])

    def wait_for_report(self, proc):
        for _ in range(300):
            if os.path.exists(self.report) or proc.poll() is not None:
                break
            time.sleep(0.1)
        self.assertTrue(os.path.exists(self.report))


class NodeChecks(SandboxTest):
    def test_node_checks_inside_and_nothing_left(self):
        script = (REPORT.format(report=self.report) + " && exec /usr/bin/python3 %s %s"
                  % (CHECKS, PROBE))
        proc = sandbox(["--nodes", "3", "--containerised-node", "2"], script)
        self.assertEqual(proc.wait(timeout=900), 0)
        self.assert_clean()


class Lifecycle(SandboxTest):
    def test_exit_code_of_the_command(self):
        proc = sandbox([], REPORT.format(report=self.report) + "; exit 7")
        self.assertEqual(proc.wait(timeout=120), 7)
        self.assert_clean()

    def test_crashing_command_leaves_nothing(self):
        # Live and snapshot mounts, brick processes, a stray background process, then SIGKILL.
        script = REPORT.format(report=self.report) + """
            set -e
            "$WQSANDBOX_PROVISION" cvol
            "$WQSANDBOX_VOLUME" write cvol f.txt data
            ssh -F "$WQSANDBOX_SSH_CONFIG" -o BatchMode=yes -i "$WQSANDBOX_KEY_ED25519" 127.0.0.2 \
                'gluster snapshot create cs cvol no-timestamp && gluster snapshot activate cs'
            mkdir -p "$WQSANDBOX_DIR/m1" "$WQSANDBOX_DIR/m2"
            mount -t glusterfs 127.0.0.2:/snaps/cs/cvol "$WQSANDBOX_DIR/m1"
            mount -t glusterfs 127.0.0.2:/cvol "$WQSANDBOX_DIR/m2"
            setsid sleep 600 &
            kill -9 $$
        """
        proc = sandbox([], script, stdout=subprocess.DEVNULL)
        self.assertEqual(proc.wait(timeout=120), 137)
        self.assert_clean()

    def test_sigterm_to_the_sandbox(self):
        proc = sandbox([], REPORT.format(report=self.report) + "; sleep 600")
        self.wait_for_report(proc)
        proc.send_signal(signal.SIGTERM)
        self.assertEqual(proc.wait(timeout=30), 143)
        self.assert_clean()

    def test_sandbox_killed_outright(self):
        proc = sandbox([], REPORT.format(report=self.report) + "; sleep 600")
        self.wait_for_report(proc)
        proc.kill()
        proc.wait()
        self.assert_clean(timeout=20)

    def test_keep_without_gluster(self):
        keep = os.path.join(self.work, "kept")
        script = REPORT.format(report=self.report) + """
            ssh -F "$WQSANDBOX_SSH_CONFIG" -o BatchMode=yes -i "$WQSANDBOX_KEY_ED25519" 127.0.0.2 \
                'gluster volume list'
        """
        proc = sandbox(["--keep", keep, "--no-gluster", "--nodes", "1"], script,
                       stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        out, err = proc.communicate(timeout=120)
        self.assertEqual((proc.returncode, out),
                         (1, "Connection failed. Please check if gluster daemon is operational.\n"))
        self.assertTrue(os.path.isfile(os.path.join(keep, "log", "sandbox.log")))
        shutil.rmtree(keep)
        self.assert_clean()

    def test_two_sandboxes_at_once(self):
        reports = [self.report, self.report + "2"]
        script = REPORT + """ && "$WQSANDBOX_PROVISION" twovol && ssh -F "$WQSANDBOX_SSH_CONFIG" \
            -o BatchMode=yes -i "$WQSANDBOX_KEY_ED25519" 127.0.0.2 'gluster volume list'"""
        procs = [sandbox([], script.format(report=r), stdout=subprocess.PIPE, text=True)
                 for r in reports]
        self.assertEqual([p.communicate(timeout=120) for p in procs], [("twovol\n", None)] * 2)
        self.assertEqual([p.returncode for p in procs], [0, 0])
        for report in reports:
            self.assertEqual(leftovers(report), [])


if __name__ == "__main__":
    if os.geteuid() != 0 or not os.path.exists("/dev/fuse"):
        print("the sandbox needs root and /dev/fuse: skipped")
        sys.exit(77)
    SANDBOX, PROBE = sys.argv[1], sys.argv[2]
    del sys.argv[1:3]
    unittest.main(verbosity=2)

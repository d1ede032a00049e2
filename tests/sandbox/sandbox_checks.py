"""Checks run inside a sandbox (wq-sandbox --nodes 3 --containerised-node 2).

Every node command goes through the OpenSSH client, and the credentials also
through libssh2 (ssh_probe), so the nodes are proven for both clients. Expected
gluster texts are written out literally, as the real CLI prints them.
"""

import concurrent.futures
import json
import os
import re
import subprocess
import sys
import tempfile
import time
import unittest

ENV = os.environ
NODES = ENV["WQSANDBOX_NODES"].split()
USER = ENV["WQSANDBOX_USER"]
PROBE = ""
FAULT = ENV["WQSANDBOX_FAULT"]
CONTAINERISED = ENV["WQSANDBOX_CONTAINERISED_NODE"]
PLAIN = [n for n in NODES if n != CONTAINERISED][0]
BRICKS = os.path.join(ENV["WQSANDBOX_DIR"], "bricks")

DEACTIVATE_PROMPT = ("Deactivating snap will make its data inaccessible. "
                     "Do you want to continue? (y/n) ")
DELETE_PROMPT = ("Deleting snap will erase all the information about the snap. "
                 "Do you still want to continue? (y/n) ")
STOP_PROMPT = "Stopping volume will make its data inaccessible. Do you want to continue? (y/n) "
FAILED = "Snapshot command failed\n"


def run(argv, stdin=None, timeout=60):
    proc = subprocess.run(argv, input=stdin, capture_output=True, text=True, timeout=timeout)
    return proc.returncode, proc.stdout, proc.stderr


def ssh(command, node=PLAIN, key="WQSANDBOX_KEY_ED25519", extra=()):
    # The classic exchange halves the OpenSSH client's time per connection.
    return run(["ssh", "-F", ENV["WQSANDBOX_SSH_CONFIG"], "-o", "BatchMode=yes",
                "-o", "KexAlgorithms=curve25519-sha256", "-i", ENV[key], *extra, node, command])


def probe(node, credential, command="echo ok"):
    return run([PROBE, node, USER, *credential, command])


def provision(volume, *args):
    rc, out, err = run([ENV["WQSANDBOX_PROVISION"], volume, *args])
    assert (rc, out, err) == (0, "", ""), (rc, out, err)


def snapshot_db():
    with open(os.path.join(ENV["WQSANDBOX_DIR"], "gluster", "snapshots.json")) as f:
        return json.load(f)["snapshots"]


def create(name, volume, node=PLAIN):
    rc, out, err = ssh("gluster snapshot create %s %s no-timestamp" % (name, volume), node)
    assert (rc, err) == (0, ""), (rc, out, err)
    return name


class Credentials(unittest.TestCase):
    """Every credential kind, through OpenSSH and through libssh2."""

    def test_keys_log_in_with_both_clients(self):
        rsa_node = ENV["WQSANDBOX_RSA_NODE"]
        for key in ("WQSANDBOX_KEY_ED25519", "WQSANDBOX_KEY_ECDSA", "WQSANDBOX_KEY_RSA"):
            with self.subTest(key=key):
                self.assertEqual(ssh("echo ok", rsa_node, key), (0, "ok\n", ""))
                self.assertEqual(probe(rsa_node, ["--key", ENV[key]]), (0, "ok\n", ""))
        protected = ["--key", ENV["WQSANDBOX_KEY_ED25519_PASS"]]
        self.assertEqual(probe(PLAIN, protected + ["--passphrase", ENV["WQSANDBOX_KEY_PASSPHRASE"]]),
                         (0, "ok\n", ""))
        self.assertNotEqual(probe(PLAIN, protected + ["--passphrase", "wrong"])[0], 0)

    def test_ssh_rsa_sha1_only_on_the_rsa_node(self):
        rsa_node = ENV["WQSANDBOX_RSA_NODE"]
        sha1 = ("-o", "PubkeyAcceptedAlgorithms=ssh-rsa")
        for node in NODES:
            with self.subTest(node=node):
                expect_ok = node == rsa_node
                # libssh2 1.10 signs with ssh-rsa (SHA-1) only.
                self.assertEqual(probe(node, ["--key", ENV["WQSANDBOX_KEY_RSA"]])[0] == 0, expect_ok)
                self.assertEqual(ssh("true", node, "WQSANDBOX_KEY_RSA", sha1)[0] == 0, expect_ok)

    def test_password_with_libssh2_and_openssh(self):
        self.assertEqual(probe(NODES[0], ["--password", ENV["WQSANDBOX_PASSWORD"]], "id -un"),
                         (0, "root\n", ""))
        self.assertNotEqual(probe(NODES[0], ["--password", "wrong"])[0], 0)
        self.assertEqual(password_login(NODES[0], ENV["WQSANDBOX_PASSWORD"]), (0, "ok\n"))
        self.assertNotEqual(password_login(NODES[0], "wrong")[0], 0)

    def test_exec_streams_and_exit_code_reach_the_client(self):
        command = "echo out; echo err >&2; exit 3"
        self.assertEqual(ssh(command), (3, "out\n", "err\n"))
        self.assertEqual(probe(PLAIN, ["--key", ENV["WQSANDBOX_KEY_ED25519"]], command),
                         (3, "out\n", "err\n"))


def password_login(node, password):
    """OpenSSH with a password and no terminal: SSH_ASKPASS in a new session."""
    with tempfile.NamedTemporaryFile("w", suffix=".sh", delete=False) as f:
        f.write("#!/bin/sh\nprintf '%s\\n' \"$WQ_TEST_PASSWORD\"\n")
    os.chmod(f.name, 0o700)
    env = dict(ENV, SSH_ASKPASS=f.name, SSH_ASKPASS_REQUIRE="force", WQ_TEST_PASSWORD=password)
    proc = subprocess.run(["setsid", "-w", "ssh", "-F", ENV["WQSANDBOX_SSH_CONFIG"],
                           "-o", "PubkeyAuthentication=no", "-o", "NumberOfPasswordPrompts=1",
                           node, "echo ok"], env=env, stdin=subprocess.DEVNULL,
                          capture_output=True, text=True, timeout=30)
    os.unlink(f.name)
    return proc.returncode, proc.stdout


class Volumes(unittest.TestCase):
    """The real gluster CLI, reached through a node's gluster."""

    def test_create_start_info_stop(self):
        brick = os.path.join(BRICKS, "rtest")
        self.assertEqual(ssh("gluster volume create rtest 192.0.2.1:%s force" % brick),
                         (0, "volume create: rtest: success: please start the volume to access "
                             "data\n", ""))
        self.assertEqual(ssh("gluster volume info rtest | grep Status"), (0, "Status: Created\n", ""))
        rc, out, err = ssh("gluster volume info rtest")
        self.assertTrue(out.startswith(" \nVolume Name: rtest\nType: Distribute\n"), out)
        self.assertIn("\nSnapshot Count: 0\n", out)
        self.assertEqual(ssh("gluster volume start rtest"), (0, "volume start: rtest: success\n", ""))
        self.assertEqual(ssh("gluster volume start rtest"),
                         (1, "", "volume start: rtest: failed: Volume rtest already started\n"))
        self.assertEqual(ssh("bash -c 'gluster volume stop rtest <<< y'"),
                         (0, STOP_PROMPT + "volume stop: rtest: success\n", ""))
        self.assertEqual(ssh("gluster volume info rtest | grep Status"), (0, "Status: Stopped\n", ""))
        self.assertEqual(ssh("bash -c 'gluster volume stop rtest <<< y'"),
                         (1, STOP_PROMPT, "volume stop: rtest: failed: Volume rtest is not in the "
                                          "started state\n"))

    def test_missing_volume(self):
        self.assertEqual(ssh("gluster volume info nosuchvol"),
                         (1, "", "Volume nosuchvol does not exist\n"))
        self.assertEqual(ssh("gluster volume info nosuchvol | grep Status"),
                         (1, "", "Volume nosuchvol does not exist\n"))


class Snapshots(unittest.TestCase):
    """The emulated snapshot commands, byte for byte."""

    @classmethod
    def setUpClass(cls):
        provision("svol")
        provision("stopped", "--no-start")

    def test_create_with_timestamp_and_awk_pipeline(self):
        before = time.gmtime()
        rc, out, err = ssh("gluster snapshot create snap1 svol")
        self.assertEqual((rc, err), (0, ""))
        m = re.fullmatch(r"snapshot create: success: Snap (snap1_GMT-(\d{4})\.(\d\d)\.(\d\d)-"
                         r"(\d\d)\.(\d\d)\.(\d\d)) created successfully\n", out)
        self.assertIsNotNone(m, out)
        self.assertEqual(tuple(int(x) for x in m.groups()[1:4]), before[:3])
        rc, name, err = ssh("gluster snapshot create snap2 svol | awk '{print $5}' | tr -d '\\n'")
        self.assertEqual((rc, err), (0, ""))
        self.assertRegex(name, r"^snap2_GMT-[0-9.]+-[0-9.]+$")

    def test_create_failures(self):
        rows = [
            ("gluster snapshot create s stopped", 1, FAILED,
             "snapshot create: failed: volume stopped is not started\n"),
            ("gluster snapshot create s nosuchvol", 1, FAILED,
             "snapshot create: failed: Volume (nosuchvol) does not exist \n"),
            ("gluster snapshot create s.1 svol", 1, "",
             'Snapname can contain only alphanumeric, "-" and "_" characters\n\nUsage:\n'
             "snapshot create <snapname> <volname> [no-timestamp] [description <description>]"
             "\n\n"),
            ("gluster snapshot create s stopped | awk '{print $5}' | tr -d '\\n'", 0, "",
             "snapshot create: failed: volume stopped is not started\n"),
        ]
        for command, rc, out, err in rows:
            with self.subTest(command=command):
                self.assertEqual(ssh(command), (rc, out, err))
        create("dup", "svol")
        self.assertEqual(ssh("gluster snapshot create dup svol no-timestamp"),
                         (1, FAILED, "snapshot create: failed: Snapshot dup already exists\n"))

    def test_lifecycle_texts(self):
        name = create("life", "svol")
        rows = [
            ("gluster snapshot info life | grep Status", 0, "\tStatus                    : Stopped\n", ""),
            ("gluster snapshot activate life", 0,
             "Snapshot activate: life: Snap activated successfully\n", ""),
            ("gluster snapshot activate life", 1, FAILED,
             "snapshot activate: failed: Snapshot life is already activated.\n"),
            ("gluster snapshot info life | grep Status", 0, "\tStatus                    : Started\n", ""),
            ("bash -c 'gluster snapshot deactivate life <<< y'", 0,
             DEACTIVATE_PROMPT + "Snapshot deactivate: life: Snap deactivated successfully\n", ""),
            ("bash -c 'gluster snapshot deactivate life <<< y'", 1, DEACTIVATE_PROMPT + FAILED,
             "snapshot deactivate: failed: Snapshot life is already deactivated.\n"),
            ("bash -c 'gluster snapshot delete life <<< n'", 0, DELETE_PROMPT, ""),
            ("gluster snapshot delete life < /dev/null", 0,
             DELETE_PROMPT + "gluster cli read error\nInvalid input, please enter y/n\n", ""),
            ("bash -c 'gluster snapshot delete life <<< y'", 0,
             DELETE_PROMPT + "snapshot delete: life: snap removed successfully\n", ""),
            ("gluster snapshot activate life", 1, FAILED,
             "snapshot activate: failed: Snapshot (life) does not exist.\n"),
            ("bash -c 'gluster snapshot deactivate life <<< y'", 1, DEACTIVATE_PROMPT + FAILED,
             "snapshot deactivate: failed: Snapshot (life) does not exist.\n"),
            ("bash -c 'gluster snapshot delete life <<< y'", 1, DELETE_PROMPT + FAILED,
             "snapshot delete: failed: Snapshot (life) does not exist\n"),
            ("gluster snapshot info life", 1, FAILED,
             "Snapshot info : failed: Snapshot (life) does not exist\n"),
            ("gluster snapshot info life | grep Status", 1, "",
             "Snapshot info : failed: Snapshot (life) does not exist\n"),
            ("gluster snapshot list nosuchvol", 1, FAILED,
             "Snapshot list : failed: Volume (nosuchvol) does not exist\n"),
            ("gluster snapshot list stopped", 0, "No snapshots present\n", ""),
            # On one pipe the block-buffered stdout comes after stderr.
            ("bash -c 'gluster snapshot delete life <<< y' 2>&1", 1,
             "snapshot delete: failed: Snapshot (life) does not exist\n" + DELETE_PROMPT + FAILED,
             ""),
            # An answer without a line end makes the real CLI wait for ever.
            ("printf y | timeout 2 gluster snapshot delete life", 124, "", ""),
        ]
        self.assertEqual(name, "life")
        for command, rc, out, err in rows:
            with self.subTest(command=command):
                self.assertEqual(ssh(command), (rc, out, err))
        self.assertIsNone(next((s for s in snapshot_db() if s["name"] == "life"), None))

    def test_info_status_list_layout(self):
        provision("ivol")
        create("first", "ivol")
        create("second", "ivol")
        records = {s["name"]: s for s in snapshot_db() if s["volume"] == "ivol"}
        first = records["first"]
        created = time.strftime("%Y-%m-%d %H:%M:%S +0000", time.gmtime(first["created"]))
        expected = ("Snapshot                  : first\n"
                    "Snap UUID                 : %s\n"
                    "Created                   : %s\n"
                    "Snap Volumes:\n\n"
                    "\tSnap Volume Name          : %s\n"
                    "\tOrigin Volume name        : ivol\n"
                    "\tSnaps taken for ivol      : 2\n"
                    "\tSnaps available for ivol  : 254\n"
                    "\tStatus                    : Stopped\n"
                    " \n") % (first["uuid"], created, first["snap_volume"])
        self.assertEqual(ssh("gluster snapshot info first"), (0, expected, ""))
        self.assertRegex(first["snap_volume"], r"^[0-9a-f]{32}$")
        self.assertEqual(ssh('gluster snapshot info first | grep "Snap Volume Name" | '
                             "awk '{print $5}' | tr -d '\\n'"), (0, first["snap_volume"], ""))
        self.assertEqual(ssh("gluster snapshot list ivol"), (0, "first\nsecond\n", ""))
        rc, out, err = ssh("gluster snapshot info volume ivol")
        self.assertTrue(out.startswith("Volume Name               : ivol\n"
                                       "Snaps Taken               : 2\n"
                                       "Snaps Available           : 254\n"
                                       "\tSnapshot                  : first\n"), out)
        rc, out, err = ssh("gluster snapshot status second")
        self.assertEqual((rc, err), (0, ""))
        self.assertTrue(out.startswith("\nSnap Name : second\nSnap UUID : %s\n\n\tBrick Path        :   "
                                       % records["second"]["uuid"]), out)
        self.assertIn("\tBrick Running     :   No\n", out)
        self.assertEqual(ssh("gluster volume info ivol | grep 'Snapshot Count'"),
                         (0, "Snapshot Count: 2\n", ""))

    def test_soft_and_hard_limit(self):
        provision("lvol")
        seed("lvol", 228)
        self.assertEqual(ssh("gluster snapshot create at229 lvol no-timestamp"),
                         (0, "snapshot create: success: Snap at229 created successfully\n", ""))
        warning = ("Warning: Soft-limit of volume (lvol) is reached. Snapshot creation is not "
                   "possible once hard-limit is reached.\n")
        self.assertEqual(ssh("gluster snapshot create at230 lvol no-timestamp"),
                         (0, "snapshot create: success: Snap at230 created successfully\n" + warning,
                          ""))
        seed("lvol", 26)
        self.assertEqual(ssh("gluster snapshot create over lvol no-timestamp"),
                         (1, FAILED, "snapshot create: failed: The number of existing snaps has "
                                     "reached the effective maximum limit of 256, for the volume "
                                     "(lvol). Please delete few snapshots before taking further "
                                     "snapshots.\n"))

    def test_concurrent_creates_from_all_nodes(self):
        provision("cvol")
        jobs = [("c%d" % i, NODES[i % len(NODES)]) for i in range(9)] + [("same", n) for n in NODES]
        with concurrent.futures.ThreadPoolExecutor(len(jobs)) as pool:
            results = list(pool.map(
                lambda job: ssh("gluster snapshot create %s cvol no-timestamp" % job[0], job[1]),
                jobs))
        self.assertTrue(all(r[0] == 0 for r in results[:9]), results)
        self.assertEqual(sorted(r[0] for r in results[9:]), [0] + [1] * (len(NODES) - 1))
        rc, out, err = ssh("gluster snapshot list cvol")
        self.assertEqual(sorted(out.split()), sorted(["c%d" % i for i in range(9)] + ["same"]))


def seed(volume, count):
    """Adds `count` snapshot records, as the limits need hundreds of snapshots."""
    path = os.path.join(ENV["WQSANDBOX_DIR"], "gluster", "snapshots.json")
    records = snapshot_db()
    start = len(records)
    for i in range(count):
        records.append({"name": "seed%d" % (start + i), "uuid": "0" * 36, "snap_volume": "0" * 32,
                        "volume": volume, "created": 0, "description": "", "status": "Stopped",
                        "brick": os.path.join(BRICKS, volume)})
    with open(path, "w") as f:
        json.dump({"snapshots": records}, f)


class Docker(unittest.TestCase):
    def test_ps_table_and_container_id(self):
        rc, out, err = ssh("docker ps", CONTAINERISED)
        self.assertEqual((rc, err), (0, ""))
        lines = out.splitlines()
        self.assertRegex(lines[0], r"^CONTAINER ID        IMAGE +COMMAND +CREATED +STATUS +PORTS +NAMES$")
        names_at = lines[0].index("NAMES")
        self.assertEqual(lines[0].index("CREATED") - lines[0].index("COMMAND"), 25)
        for line in lines[1:]:
            self.assertRegex(line, r"^[0-9a-f]{12}        \S")
            self.assertRegex(line[names_at:], r"^k8s_(glusterfs|POD)_glusterfs-")
        self.assertEqual(sum("k8s_glusterfs_glusterfs-storage" in l for l in lines), 1)
        self.assertEqual(ssh("docker ps | grep k8s_glusterfs_glusterfs-storage | "
                             "awk '{print $1}' | tr -d '\\n'", CONTAINERISED),
                         (0, ENV["WQSANDBOX_CONTAINER_ID"], ""))

    def test_exec(self):
        cid = ENV["WQSANDBOX_CONTAINER_ID"]
        provision("dvol")
        self.assertEqual(ssh("docker exec %s  gluster volume info dvol | grep Status" % cid,
                             CONTAINERISED), (0, "Status: Started\n", ""))
        self.assertEqual(ssh("docker exec %s  bash -c 'gluster volume stop dvol <<< y'" % cid,
                             CONTAINERISED), (0, STOP_PROMPT + "volume stop: dvol: success\n", ""))
        self.assertEqual(ssh("docker exec %s sh -c 'exit 5'" % cid, CONTAINERISED), (5, "", ""))
        self.assertEqual(ssh("docker exec 0123456789ab true", CONTAINERISED),
                         (1, "", "Error response from daemon: No such container: 0123456789ab\n"))
        rc, out, err = ssh("docker exec %s docker ps" % cid, CONTAINERISED)
        self.assertEqual((rc, out), (126, ""))

    def test_absent_elsewhere(self):
        for node in NODES:
            if node != CONTAINERISED:
                rc, out, err = ssh("docker ps | grep k8s_glusterfs_glusterfs-storage | "
                                   "awk '{print $1}' | tr -d '\\n'", node)
                self.assertEqual((rc, out), (0, ""))
                self.assertIn("docker: command not found", err)


class SnapshotMounts(unittest.TestCase):
    def test_snapshot_mount_shows_files_of_its_time_read_only(self):
        provision("mvol")
        write = ENV["WQSANDBOX_VOLUME"]
        self.assertEqual(run([write, "write", "mvol", "old.txt", "old"]), (0, "", ""))
        self.assertEqual(run([write, "write", "mvol", "dir/nested.txt", "nested"]), (0, "", ""))
        create("msnap", "mvol")
        self.assertEqual(run([write, "write", "mvol", "new.txt", "new"]), (0, "", ""))
        target = tempfile.mkdtemp(prefix="snap mount ")
        source = "%s:/snaps/msnap/mvol" % PLAIN
        self.assertEqual(run(["mount", "-t", "glusterfs", source, target]),
                         (1, "", "Mounting glusterfs on %s failed.\n" % target))
        ssh("gluster snapshot activate msnap")
        self.assertEqual(run(["mount", "-t", "glusterfs", source, target]), (0, "", ""))
        self.assertEqual(sorted(os.listdir(target)), ["dir", "old.txt"])
        with open(os.path.join(target, "dir", "nested.txt")) as f:
            self.assertEqual(f.read(), "nested")
        with self.assertRaises(OSError):
            open(os.path.join(target, "written"), "w").close()
        self.assertEqual(run(["mount", "-t", "glusterfs", source, target]),
                         (32, "", "/sbin/mount.glusterfs: according to mtab, GlusterFS is already "
                                  "mounted on %s\n" % target))
        self.assertEqual(run(["umount", target]), (0, "", ""))
        self.assertEqual(run(["mount", "-t", "glusterfs", "%s:/snaps/nosnap/mvol" % PLAIN, target]),
                         (1, "", "Mounting glusterfs on %s failed.\n" % target))

    def test_live_volume_goes_to_the_real_client(self):
        provision("lmvol")
        target = tempfile.mkdtemp(prefix="live")
        self.assertEqual(run(["mount", "-t", "glusterfs", "%s:/lmvol" % PLAIN, target]), (0, "", ""))
        with open("/proc/self/mounts") as f:
            self.assertIn(" %s fuse.glusterfs rw," % target, f.read())
        with open(os.path.join(target, "f"), "w") as f:
            f.write("x")
        self.assertTrue(os.path.exists(os.path.join(BRICKS, "lmvol", "f")))
        self.assertEqual(run(["umount", target]), (0, "", ""))


class Faults(unittest.TestCase):
    def tearDown(self):
        self.assertEqual(run([FAULT, "clear"]), (0, "", ""))

    def test_node_down_and_up(self):
        key = ["--key", ENV["WQSANDBOX_KEY_ED25519"]]
        self.assertEqual(run([FAULT, "node-down", NODES[0]]), (0, "", ""))
        self.assertEqual(probe(NODES[0], key)[0], 201)
        self.assertEqual(probe(NODES[1], key), (0, "ok\n", ""))
        self.assertEqual(run([FAULT, "node-up", NODES[0]]), (0, "", ""))
        self.assertEqual(probe(NODES[0], key), (0, "ok\n", ""))

    def test_refused_password_keeps_keys(self):
        self.assertEqual(run([FAULT, "refuse-password", NODES[0]]), (0, "", ""))
        self.assertEqual(probe(NODES[0], ["--password", ENV["WQSANDBOX_PASSWORD"]])[0], 203)
        self.assertEqual(probe(NODES[0], ["--key", ENV["WQSANDBOX_KEY_ECDSA"]]), (0, "ok\n", ""))

    def test_slow_node(self):
        self.assertEqual(run([FAULT, "delay", NODES[1], "1.5"]), (0, "", ""))
        started = time.monotonic()
        self.assertEqual(ssh("echo ok", NODES[1]), (0, "ok\n", ""))
        self.assertGreaterEqual(time.monotonic() - started, 1.5)

    def test_gluster_rules(self):
        provision("fvol")
        thin = ("snapshot create: failed: Snapshot is supported only for thin provisioned LV. "
                "Ensure that all bricks of fvol are thinly provisioned LV.")
        self.assertEqual(run([FAULT, "gluster", "thin", "--match", "^snapshot create", "--node",
                              NODES[0], "--stdout", "Snapshot command failed", "--stderr", thin,
                              "--count", "1"]), (0, "", ""))
        command = "gluster snapshot create f fvol no-timestamp"
        self.assertEqual(ssh(command, NODES[1])[0], 0)
        self.assertEqual(ssh(command.replace(" f ", " g "), NODES[0]), (1, FAILED, thin + "\n"))
        self.assertEqual(ssh(command.replace(" f ", " h "), NODES[0])[0], 0)
        self.assertEqual(run([FAULT, "gluster", "noise", "--match", "volume info", "--stderr",
                              "warning: noise", "--then-run"]), (0, "", ""))
        self.assertEqual(ssh("gluster volume info fvol | grep Status"),
                         (0, "Status: Started\n", "warning: noise\n"))

    def test_mount_rule(self):
        provision("frvol")
        self.assertEqual(run([FAULT, "mount", "broken", "--match", "frvol", "--stderr",
                              "Mount failed. Check the log file /x.log for more details."]),
                         (0, "", ""))
        target = tempfile.mkdtemp()
        self.assertEqual(run(["mount", "-t", "glusterfs", "%s:/frvol" % PLAIN, target]),
                         (1, "", "Mount failed. Check the log file /x.log for more details.\n"))


if __name__ == "__main__":
    PROBE = sys.argv.pop(1)
    unittest.main(verbosity=2)

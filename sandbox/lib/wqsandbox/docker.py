"""`docker` on the containerised node: GlusterFS runs in a kubelet-managed pod.

`docker ps` lists the GlusterFS container of an OpenShift storage pod (and the
pod's pause container, and one of a second GlusterFS cluster) in docker's own
table layout; `docker exec ID COMMAND...` runs COMMAND as if inside the
GlusterFS container: with the container's PATH, which holds `gluster` but no
`docker`.
"""

import hashlib
import os
import sys

from . import layout as lay

HEADER = ("CONTAINER ID", "IMAGE", "COMMAND", "CREATED", "STATUS", "PORTS", "NAMES")


def digest(node, what):
    return hashlib.sha256(("wq-sandbox %s %s" % (what, node)).encode()).hexdigest()


def pod_names(node):
    h = digest(node, "pod")
    suffix = "".join("bcdfghjklmnpqrstvwxz2456789"[int(h[i:i + 2], 16) % 27] for i in range(0, 10, 2))
    uid = "%s-%s-%s-%s-%s" % (h[10:18], h[18:22], h[22:26], h[26:30], h[30:42])
    return suffix, uid


def containers(node):
    """(full id, image, command, name, runs commands) of each running container."""
    suffix, uid = pod_names(node)
    storage_pod = "glusterfs-storage-%s_app-storage_%s_0" % (suffix, uid)
    registry_pod = "glusterfs-registry-%s_infra-storage_%s_0" % (suffix[::-1], digest(node, "reg")[:8]
                                                                 + uid[8:])
    return [
        (digest(node, "glusterfs-storage"), "gluster/gluster-centos:latest",
         "/usr/local/bin/update-params.sh", "k8s_glusterfs_" + storage_pod, True),
        (digest(node, "pause-storage"), "openshift/origin-pod:v3.11", "/usr/bin/pod",
         "k8s_POD_" + storage_pod, False),
        (digest(node, "glusterfs-registry"), "gluster/gluster-centos:latest",
         "/usr/local/bin/update-params.sh", "k8s_glusterfs_" + registry_pod, True),
    ]


def storage_container_id(node):
    return containers(node)[0][0]


def truncate(text, width):
    return text if len(text) <= width else text[:width - 1] + "\u2026"


def table(rows):
    """docker's tabwriter layout: columns of at least 20, three blanks of padding."""
    widths = [max(20, max(len(r[i]) for r in rows) + 3) for i in range(len(rows[0]) - 1)]
    return "".join("".join(c.ljust(w) for c, w in zip(r, widths)) + r[-1] + "\n" for r in rows)


def ps(node, args):
    quiet, no_trunc = "-q" in args, "--no-trunc" in args
    for arg in args:
        if arg not in ("-q", "--no-trunc", "-a", "--all"):
            sys.stderr.write("unknown flag: %s\nSee 'docker ps --help'.\n" % arg)
            return 125
    rows = [HEADER]
    for cid, image, command, name, _ in containers(node):
        short = cid if no_trunc else cid[:12]
        if quiet:
            rows.append((short,))
            continue
        shown = command if no_trunc else truncate(command, 20)
        rows.append((short, image, '"%s"' % shown, "3 days ago", "Up 3 days", "", name))
    if quiet:
        sys.stdout.write("".join(r[0] + "\n" for r in rows[1:]))
    else:
        sys.stdout.write(table(rows))
    return 0


def find_container(node, ref):
    matches = [c for c in containers(node) if ref == c[3] or (ref and c[0].startswith(ref))]
    return matches[0] if len(matches) == 1 else None


def find_program(name, path):
    candidates = [name] if "/" in name else [os.path.join(d, name) for d in path.split(":")]
    for candidate in candidates:
        if os.path.isfile(candidate) and os.access(candidate, os.X_OK):
            return candidate
    return None


def exec_(layout, node, args):
    interactive = False
    while args and args[0].startswith("-"):
        flag = args.pop(0)
        if flag in ("-u", "--user", "-e", "--env", "-w", "--workdir") and args:
            args.pop(0)
        interactive = interactive or flag in ("-i", "--interactive", "-it", "-ti")
    if len(args) < 2:
        sys.stderr.write('"docker exec" requires at least 2 arguments.\n'
                         "See 'docker exec --help'.\n\n"
                         "Usage:  docker exec [OPTIONS] CONTAINER COMMAND [ARG...]\n\n"
                         "Execute a command in a running container\n")
        return 1
    container = find_container(node, args[0])
    if container is None:
        sys.stderr.write("Error response from daemon: No such container: %s\n" % args[0])
        return 1
    command = args[1:]
    env = dict(os.environ)
    with open(layout.path("container", "path"), encoding="utf-8") as f:
        env["PATH"] = f.read().strip()
    env["HOME"] = "/root"
    program = find_program(command[0], env["PATH"]) if container[4] else None
    if program is None:
        sys.stderr.write('OCI runtime exec failed: exec failed: unable to start container process: '
                         'exec: "%s": executable file not found in $PATH: unknown\n' % command[0])
        return 126
    if not interactive:
        devnull = os.open(os.devnull, os.O_RDONLY)
        os.dup2(devnull, 0)
    os.chdir("/")
    os.execve(program, command, env)
    return 127


def main(argv):
    layout = lay.layout_or_complain("docker")
    node = os.environ.get("WQSANDBOX_NODE", "")
    if layout is None:
        return 1
    if not argv:
        sys.stdout.write("\nUsage:  docker [OPTIONS] COMMAND\n")
        return 0
    if argv[0] == "ps":
        return ps(node, argv[1:])
    if argv[0] == "exec":
        return exec_(layout, node, argv[1:])
    sys.stderr.write("docker: '%s' is not a docker command.\nSee 'docker --help'\n" % argv[0])
    return 1

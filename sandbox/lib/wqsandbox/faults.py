"""Fault injection: rule files read by the node tools, and the wq-fault command.

Everything lives below the control directory (WQSANDBOX_CTL):

  node/<address>/down             the node's sshd is stopped while the file exists
  node/<address>/refuse-password  the node's sshd refuses password logins
  node/<address>/delay            seconds every command waits before it runs
  node/<address>/status           written by the sandbox once the above is in force
  gluster/<rule>                  a rule for gluster commands run on the nodes
  mount/<rule>                    a rule for mount.glusterfs

A rule file holds key=value lines: match=REGEX (searched in the command's
arguments joined by blanks; for mounts "SOURCE DIR"), node=ADDRESS (gluster
only), rc=N (default 1), stdout=LINE and stderr=LINE (repeatable), then=run
(write the lines, then run the command as usual) and count=N (the rule is
removed after N uses). Rules are tried in the order of their file names.
"""

import argparse
import os
import re
import sys
import time

from . import layout as lay


class Rule:
    def __init__(self, path, fields):
        self.path = path
        self.match = fields.get("match", [""])[-1]
        self.node = fields.get("node", [""])[-1]
        self.rc = int(fields.get("rc", ["1"])[-1])
        self.stdout = fields.get("stdout", [])
        self.stderr = fields.get("stderr", [])
        self.then_run = fields.get("then", [""])[-1] == "run"
        count = fields.get("count", [""])[-1]
        self.count = int(count) if count else None

    def applies(self, text, node):
        if self.node and self.node != node:
            return False
        return re.search(self.match, text) is not None


def parse_rule(path):
    fields = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if not line or line.startswith("#") or "=" not in line:
                continue
            key, value = line.split("=", 1)
            fields.setdefault(key.strip(), []).append(value)
    return Rule(path, fields)


def take_rule(ctl, kind, text, node=""):
    """The first rule of `kind` that matches, with its use counted, or None."""
    folder = os.path.join(ctl, kind)
    if not os.path.isdir(folder):
        return None
    with lay.locked(os.path.join(ctl, ".lock")):
        for name in sorted(os.listdir(folder)):
            path = os.path.join(folder, name)
            if name.startswith(".") or not os.path.isfile(path):
                continue
            try:
                rule = parse_rule(path)
            except (OSError, ValueError):
                continue
            if not rule.applies(text, node):
                continue
            if rule.count is not None:
                spend(rule)
            return rule
    return None


def spend(rule):
    if rule.count <= 1:
        os.unlink(rule.path)
        return
    with open(rule.path, encoding="utf-8") as f:
        lines = [l for l in f if not l.startswith("count=")]
    lines.append("count=%d\n" % (rule.count - 1))
    with open(rule.path, "w", encoding="utf-8") as f:
        f.writelines(lines)


# --- the wq-fault command -------------------------------------------------

NODE_FLAGS = {
    "node-down": ("down", True),
    "node-up": ("down", False),
    "refuse-password": ("refuse-password", True),
    "accept-password": ("refuse-password", False),
}


def wanted_status(node_ctl):
    if os.path.exists(os.path.join(node_ctl, "down")):
        return "down"
    if os.path.exists(os.path.join(node_ctl, "refuse-password")):
        return "up refuse-password"
    return "up"


def wait_for_status(node_ctl, timeout=15.0):
    want = wanted_status(node_ctl)
    deadline = time.monotonic() + timeout
    status_file = os.path.join(node_ctl, "status")
    while time.monotonic() < deadline:
        try:
            with open(status_file, encoding="utf-8") as f:
                if f.read().strip() == want:
                    return True
        except FileNotFoundError:
            pass
        time.sleep(0.05)
    return False


def write_rule(path, lines):
    tmp = path + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        f.writelines(l + "\n" for l in lines)
    os.replace(tmp, path)


def fault_main(argv):
    layout = lay.layout_or_complain("wq-fault")
    if layout is None:
        return 2
    parser = argparse.ArgumentParser(prog="wq-fault", description="Inject faults into the sandbox.")
    sub = parser.add_subparsers(dest="what", required=True)
    for name in NODE_FLAGS:
        sub.add_parser(name).add_argument("node")
    delay = sub.add_parser("delay")
    delay.add_argument("node")
    delay.add_argument("seconds", type=float)
    for kind in ("gluster", "mount"):
        p = sub.add_parser(kind)
        p.add_argument("name")
        p.add_argument("--match", required=True)
        p.add_argument("--rc", type=int, default=1)
        p.add_argument("--stdout", action="append", default=[])
        p.add_argument("--stderr", action="append", default=[])
        p.add_argument("--count", type=int)
        if kind == "gluster":
            p.add_argument("--node", default="")
            p.add_argument("--then-run", action="store_true")
    sub.add_parser("clear")
    args = parser.parse_args(argv)

    ctl = layout.ctl
    if args.what in NODE_FLAGS or args.what == "delay":
        node_ctl = layout.ctl_node(args.node)
        if not os.path.isdir(node_ctl):
            print("wq-fault: no node %s" % args.node, file=sys.stderr)
            return 2
        if args.what == "delay":
            path = os.path.join(node_ctl, "delay")
            if args.seconds > 0:
                write_rule(path, ["%g" % args.seconds])
            elif os.path.exists(path):
                os.unlink(path)
            return 0
        flag, on = NODE_FLAGS[args.what]
        path = os.path.join(node_ctl, flag)
        if on:
            open(path, "a", encoding="utf-8").close()
        elif os.path.exists(path):
            os.unlink(path)
        if not wait_for_status(node_ctl):
            print("wq-fault: node %s did not reach the requested state" % args.node, file=sys.stderr)
            return 1
        return 0
    if args.what == "clear":
        return clear(layout)
    lines = ["match=" + args.match, "rc=%d" % args.rc]
    lines += ["stdout=" + l for l in args.stdout] + ["stderr=" + l for l in args.stderr]
    if args.count is not None:
        lines.append("count=%d" % args.count)
    if getattr(args, "node", ""):
        lines.append("node=" + args.node)
    if getattr(args, "then_run", False):
        lines.append("then=run")
    write_rule(os.path.join(ctl, args.what, args.name), lines)
    return 0


def clear(layout):
    for kind in ("gluster", "mount"):
        folder = os.path.join(layout.ctl, kind)
        for name in os.listdir(folder):
            os.unlink(os.path.join(folder, name))
    nodes = os.listdir(os.path.join(layout.ctl, "node"))
    for node in nodes:
        for flag in ("down", "refuse-password", "delay"):
            path = os.path.join(layout.ctl_node(node), flag)
            if os.path.exists(path):
                os.unlink(path)
    ok = all(wait_for_status(layout.ctl_node(node)) for node in nodes)
    return 0 if ok else 1

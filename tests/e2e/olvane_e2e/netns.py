"""Network namespaces of our own, so that multicast never leaves the test."""
import os
import subprocess


def _ip(*args, check=True):
    return subprocess.run(["ip"] + list(args), check=check, capture_output=True, text=True)


def unique_suffix():
    """Six hex digits: short enough for interface names, distinct across parallel runs."""
    return os.urandom(3).hex()


class NetNamespace:
    """A fresh network namespace with its loopback up, deleted on stop()."""

    def __init__(self, role):
        self.name = "olv%s_%s" % (role, unique_suffix())

    def start(self):
        _ip("netns", "add", self.name)
        _ip("-n", self.name, "link", "set", "lo", "up")
        return self

    def command(self, command):
        """The command line that runs `command` inside this namespace."""
        return ["ip", "netns", "exec", self.name] + list(command)

    def run(self, command, **kwargs):
        kwargs.setdefault("capture_output", True)
        kwargs.setdefault("text", True)
        return subprocess.run(self.command(command), **kwargs)

    def stop(self):
        _ip("netns", "del", self.name, check=False)


def join(a, b, address_a="10.200.0.1", address_b="10.200.0.2"):
    """Joins two namespaces with a veth pair on 10.200.0.0/24, multicast routed over it."""
    suffix = unique_suffix()
    end_a, end_b = "ov%sa" % suffix, "ov%sb" % suffix
    _ip("-n", a.name, "link", "add", end_a, "type", "veth", "peer", "name", end_b,
        "netns", b.name)
    for ns, end, address in ((a, end_a, address_a), (b, end_b, address_b)):
        _ip("-n", ns.name, "addr", "add", address + "/24", "dev", end)
        _ip("-n", ns.name, "link", "set", end, "up")
        _ip("-n", ns.name, "route", "add", "224.0.0.0/4", "dev", end)
    return end_a, end_b

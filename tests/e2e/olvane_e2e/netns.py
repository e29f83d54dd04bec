"""Network namespaces of our own, so that multicast never leaves the test."""
import os
import subprocess


def ip(*args, check=True):
    return subprocess.run(["ip", *args], check=check, capture_output=True)


class NetNamespace:
    """A fresh network namespace with its loopback up, deleted on stop()."""

    def __init__(self):
        self.name = "olv_" + os.urandom(3).hex()

    def start(self):
        ip("netns", "add", self.name)
        ip("-n", self.name, "link", "set", "lo", "up")
        return self

    def command(self, command=()):
        return ["ip", "netns", "exec", self.name, *command]

    def stop(self):
        ip("netns", "del", self.name, check=False)

    def join(self, other):
        """Links the two namespaces, as 10.200.0.1 and 10.200.0.2, multicast routed between."""
        ends = ["ov%s%s" % (os.urandom(3).hex(), side) for side in "ab"]
        ip("-n", self.name, "link", "add", ends[0], "type", "veth", "peer", "name", ends[1],
           "netns", other.name)
        for ns, end, address in ((self, ends[0], "10.200.0.1"), (other, ends[1], "10.200.0.2")):
            ip("-n", ns.name, "addr", "add", address + "/24", "dev", end)
            ip("-n", ns.name, "link", "set", end, "up")
            ip("-n", ns.name, "route", "add", "224.0.0.0/4", "dev", end)

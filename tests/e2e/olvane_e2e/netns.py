"""Network namespaces of our own, so that multicast never leaves the test."""
import os
import subprocess


def ip(*args, check=True):
    return subprocess.run(["ip"] + list(args), check=check, capture_output=True)


class NetNamespace:
    """A fresh network namespace with its loopback up, deleted on stop()."""

    def __init__(self):
        self.name = "olv_" + os.urandom(3).hex()

    def start(self):
        ip("netns", "add", self.name)
        ip("-n", self.name, "link", "set", "lo", "up")
        return self

    def command(self, command=()):
        """The command line that runs `command` inside this namespace."""
        return ["ip", "netns", "exec", self.name] + list(command)

    def stop(self):
        ip("netns", "del", self.name, check=False)

    def join(self, other, address="10.200.0.1", other_address="10.200.0.2"):
        """Links the two namespaces with a veth pair on 10.200.0.0/24, multicast routed over
        it."""
        ends = ["ov%s%s" % (os.urandom(3).hex(), side) for side in "ab"]
        ip("-n", self.name, "link", "add", ends[0], "type", "veth", "peer", "name", ends[1],
           "netns", other.name)
        for ns, end, addr in ((self, ends[0], address), (other, ends[1], other_address)):
            ip("-n", ns.name, "addr", "add", addr + "/24", "dev", end)
            ip("-n", ns.name, "link", "set", end, "up")
            ip("-n", ns.name, "route", "add", "224.0.0.0/4", "dev", end)

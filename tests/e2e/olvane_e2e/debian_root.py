"""A fresh Debian 12 root to install packages into, made by debootstrap from the mirror that
this machine's apt uses. The bare root and the packages apt downloads are kept in a cache
folder, so that only the first run waits for the mirror; every run works on a copy."""
import os
import re
import shutil
import subprocess

SOURCES = "/etc/apt/sources.list.d/debian.sources"
# The copy's commands see a /proc and the cached downloads, in a mount namespace of their
# own that ends with them.
IN_ROOT = ('mount -t proc proc "$1/proc" && mount --bind "$2" "$1/var/cache/apt/archives" '
           '&& root=$1 && shift 2 && exec chroot "$root" "$@"')


def run(command, **options):
    out = subprocess.run(command, capture_output=True, text=True, **options)
    if out.returncode != 0:
        raise RuntimeError("%s failed (%d):\n%s%s" % (command[0], out.returncode, out.stdout,
                                                      out.stderr))
    return out.stdout


class NoRoot(Exception):
    """debootstrap could not make a root here, most likely for want of the mirror."""


def mirror():
    with open(SOURCES) as f:
        return re.search(r"^URIs:\s*(\S+)", f.read(), re.M).group(1)


class DebianRoot:
    def __init__(self, cache):
        self.base = os.path.join(cache, "bookworm-minbase")
        self.archives = os.path.join(cache, "archives")
        self.path = os.path.join(cache, "root-%d" % os.getpid())

    def create(self):
        os.makedirs(os.path.join(self.archives, "partial"), exist_ok=True)
        if not os.path.isdir(self.base):
            self._bootstrap()
        shutil.rmtree(self.path, ignore_errors=True)
        run(["cp", "-a", self.base, self.path])

    def _bootstrap(self):
        partial = self.base + ".partial"
        shutil.rmtree(partial, ignore_errors=True)
        try:
            run(["debootstrap", "--variant=minbase", "bookworm", partial, mirror()])
        except RuntimeError as e:
            raise NoRoot(str(e)[-2000:])
        # Every suite this machine's apt knows (updates, security), not only the main one.
        os.remove(os.path.join(partial, "etc/apt/sources.list"))
        shutil.copy(SOURCES, os.path.join(partial, "etc/apt/sources.list.d/"))
        self.run("apt-get", "update", root=partial)
        os.rename(partial, self.base)

    def run(self, *command, root=None):
        env = {"PATH": "/usr/sbin:/usr/bin:/sbin:/bin", "LANG": "C.UTF-8",
               "DEBIAN_FRONTEND": "noninteractive", "ASAN_OPTIONS": "detect_leaks=0"}
        return run(["unshare", "--mount", "--fork", "sh", "-c", IN_ROOT, "sh",
                    root or self.path, self.archives, *command], env=env)

    def apt_install(self, deb):
        shutil.copy(deb, os.path.join(self.path, "tmp"))
        command = ["apt-get", "install", "-y", "--no-install-recommends",
                   "-o", "Dpkg::Options::=--force-unsafe-io", "/tmp/" + os.path.basename(deb)]
        try:
            return self.run(*command)
        except RuntimeError:
            # The cached package lists went stale: the mirror has moved on.
            self.run("apt-get", "update")
            return self.run(*command)

    def remove(self):
        shutil.rmtree(self.path, ignore_errors=True)


class HostRoot:
    """This machine's own root, for when no Debian root can be made (no mirror in reach)."""
    path = "/"

    def create(self):
        pass

    def run(self, *command):
        return run(list(command), env=dict(os.environ, DEBIAN_FRONTEND="noninteractive",
                                           ASAN_OPTIONS="detect_leaks=0"))

    def apt_install(self, deb):
        return self.run("apt-get", "install", "-y", "--no-install-recommends",
                        os.path.abspath(deb))

    def remove(self):
        pass

# SPDX-License-Identifier: GPL-3.0-or-later
import glob
import os
import re
import shutil
import subprocess
import tempfile
import unittest

from olvane_e2e.programs import ROOT

BUILD = os.path.dirname(os.path.abspath(os.environ.get("OLVANE_BINARY", "olvane-helper")))
SOURCES = "/etc/apt/sources.list.d/debian.sources"
# Commands in the root see a /proc and the cached downloads, in a mount namespace of their
# own that ends with them.
IN_ROOT = ('mount -t proc proc "$1/proc" && mount --bind "$2" "$1/var/cache/apt/archives" '
           '&& root=$1 && shift 2 && exec chroot "$root" "$@"')
# Where the desktop, the session, udev and systemd look for them; the menu entries come last.
FILES = ["/usr/bin/olvane-helper", "/usr/share/man/man1/olvane-helper.1.gz",
         "/usr/share/icons/hicolor/scalable/apps/org.olvane.OlvaneHelper.svg",
         "/usr/lib/systemd/user/olvane-helper.service",
         "/usr/share/metainfo/org.olvane.OlvaneHelper.metainfo.xml",
         "/usr/share/applications/org.olvane.OlvaneHelper.desktop",
         "/etc/xdg/autostart/olvane-helper.desktop"]
UINPUT_FILES = ["/usr/lib/udev/rules.d/70-olvane-uinput.rules",
                "/usr/lib/modules-load.d/olvane-uinput.conf"]


def run(*command, **options):
    out = subprocess.run(command, capture_output=True, text=True, **options)
    if out.returncode != 0:
        raise RuntimeError("%s failed (%d):\n%s%s" % (command[0], out.returncode, out.stdout,
                                                      out.stderr))
    return out.stdout


class DebianRoot:
    """A copy of a bare Debian 12 root that debootstrap made from the mirror this machine's apt
    uses. The bare root and apt's downloads are kept in the cache folder, so that only the
    first run waits for the mirror."""

    def __init__(self, cache):
        self.base = os.path.join(cache, "bookworm-minbase")
        self.archives = os.path.join(cache, "archives")
        self.path = os.path.join(cache, "root-%d" % os.getpid())
        os.makedirs(os.path.join(self.archives, "partial"), exist_ok=True)
        if not os.path.isdir(self.base):
            self.bootstrap(self.base + ".partial")
        shutil.rmtree(self.path, ignore_errors=True)
        run("cp", "-a", self.base, self.path)

    def bootstrap(self, partial):
        shutil.rmtree(partial, ignore_errors=True)
        with open(SOURCES) as f:
            mirror = re.search(r"^URIs:\s*(\S+)", f.read(), re.M).group(1)
        run("debootstrap", "--variant=minbase", "bookworm", partial, mirror)
        # Every suite this machine's apt knows (updates, security), not only the main one.
        os.remove(os.path.join(partial, "etc/apt/sources.list"))
        shutil.copy(SOURCES, os.path.join(partial, "etc/apt/sources.list.d/"))
        self.run("apt-get", "update", root=partial)
        os.rename(partial, self.base)

    def run(self, *command, root=None):
        env = {"PATH": "/usr/sbin:/usr/bin:/sbin:/bin", "LANG": "C.UTF-8",
               "DEBIAN_FRONTEND": "noninteractive", "ASAN_OPTIONS": "detect_leaks=0"}
        return run("unshare", "--mount", "--fork", "sh", "-c", IN_ROOT, "sh",
                   root or self.path, self.archives, *command, env=env)

    def apt_install(self, deb):
        shutil.copy(deb, os.path.join(self.path, "tmp"))
        command = ["apt-get", "install", "-y", "--no-install-recommends",
                   "-o", "Dpkg::Options::=--force-unsafe-io", "/tmp/" + os.path.basename(deb)]
        try:
            self.run(*command)
        except RuntimeError:  # the cached package lists went stale: the mirror has moved on
            self.run("apt-get", "update")
            self.run(*command)


class Package(unittest.TestCase):
    """The Debian packages of the build: lintian's verdict, and apt installing, running and
    purging them in a fresh Debian 12 root."""

    @classmethod
    def setUpClass(cls):
        tmp = tempfile.TemporaryDirectory(prefix="olvane-deb-")
        cls.addClassCleanup(tmp.cleanup)
        run("cpack", "-G", "DEB", "--config", os.path.join(BUILD, "CPackConfig.cmake"),
            "-B", tmp.name)
        cls.deb, cls.uinput_deb = (glob.glob(os.path.join(tmp.name, pattern))[0]
                                   for pattern in ("olvane-helper_*.deb", "*-uinput_*.deb"))

    def test_lintian_finds_no_error_nor_warning_and_the_metainfo_validates(self):
        out = subprocess.run(["lintian", self.deb, self.uinput_deb], capture_output=True,
                             text=True)
        self.assertIsNone(re.search(r"^[EW]: ", out.stdout, re.M), out.stdout)
        metainfo = os.path.join(ROOT, "data", os.path.basename(FILES[4]))
        run("appstreamcli", "validate", "--no-net", metainfo)

    def test_the_unit_follows_the_session_and_starts_hidden_entries_only_if_installed(self):
        with open(os.path.join(BUILD, "data", "olvane-helper.service")) as f:
            text = f.read()
        with tempfile.TemporaryDirectory() as folder:  # verify wants the program in place
            with open(os.path.join(folder, "olvane-helper.service"), "w") as f:
                f.write(text.replace("/usr/bin/", BUILD + "/"))
            out = subprocess.run(["systemd-analyze", "verify", "--user", "--man=no", f.name],
                                 env=dict(os.environ, XDG_RUNTIME_DIR=folder),
                                 capture_output=True, text=True)
            self.assertEqual((out.returncode, out.stderr), (0, ""))
        for line in ("PartOf=graphical-session.target", "WantedBy=graphical-session.target",
                     "Restart=on-failure", "ExecStart=/usr/bin/olvane-helper --hidden"):
            self.assertIn("\n%s\n" % line, text)
        self.assertRegex(text, r"\nAfter=graphical-session.target\b")
        for entry in ("olvane-helper-autostart.desktop", "org.olvane.OlvaneHelper.desktop"):
            with open(os.path.join(ROOT, "data", entry)) as f:
                self.assertIn("\nTryExec=olvane-helper\n", f.read())

    def test_apt_installs_runs_and_purges_it_leaving_nothing(self):
        # Its dependencies are right when it runs in a root that has only them.
        root = DebianRoot(os.path.join(BUILD, "package-test"))
        self.addCleanup(shutil.rmtree, root.path, True)
        root.apt_install(self.deb)
        self.assertTrue(root.run("olvane-helper", "--version").startswith("olvane-helper "))
        self.assertIn("--input-backend", root.run("olvane-helper", "--help"))
        root.run("dpkg", "-s", "libqt6svg6")  # the icons' plugin: loaded, not linked
        installed = root.run("dpkg", "-L", "olvane-helper").splitlines()
        self.assertEqual(set(FILES) - set(installed), set())
        self.assertEqual([p for p in installed if "udev" in p or "modules-load" in p], [])
        for entry in FILES[-2:]:
            run("desktop-file-validate", root.path + entry)
        root.apt_install(self.uinput_deb)
        installed += root.run("dpkg", "-L", "olvane-helper-uinput").splitlines()
        self.assertEqual(set(UINPUT_FILES) - set(installed), set())
        root.run("apt-get", "purge", "-y", "olvane-helper", "olvane-helper-uinput")
        left = [p for p in installed if os.path.lexists(root.path + p)]
        self.assertEqual([p for p in left if not os.path.isdir(root.path + p)], [])
        self.assertRaises(RuntimeError, root.run, "dpkg", "-L", "olvane-helper")


if __name__ == "__main__":
    unittest.main()

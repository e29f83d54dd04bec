import configparser
import glob
import gzip
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import xml.etree.ElementTree as ET

from olvane_e2e.debian_root import DebianRoot, HostRoot, NoRoot, run
from olvane_e2e.programs import ROOT

BINARY = os.environ.get("OLVANE_BINARY", "olvane-helper")
BUILD = os.path.dirname(os.path.abspath(BINARY))
README = os.path.join(os.path.dirname(__file__), "../../README.md")


def desktop_entry(path):
    parser = configparser.ConfigParser(interpolation=None)
    parser.optionxform = str
    parser.read(path, encoding="utf-8")
    return parser["Desktop Entry"]


class Package(unittest.TestCase):
    """The Debian package of the build: its files where Debian wants them, lintian's verdict,
    and apt installing, running and removing it in a fresh Debian 12 root."""

    @classmethod
    def setUpClass(cls):
        cls._tmp = tempfile.TemporaryDirectory(prefix="olvane-deb-")
        started = time.monotonic()
        run(["cpack", "-G", "DEB", "--config", os.path.join(BUILD, "CPackConfig.cmake"),
             "-B", cls._tmp.name])
        cls.deb = glob.glob(os.path.join(cls._tmp.name, "*.deb"))[0]
        cls.root = os.path.join(cls._tmp.name, "files")
        run(["dpkg-deb", "-x", cls.deb, cls.root])
        print("package built in %.0f s" % (time.monotonic() - started), file=sys.stderr)

    @classmethod
    def tearDownClass(cls):
        cls._tmp.cleanup()

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    def test_its_version_dependencies_binary_manual_and_service(self):
        fields = run(["dpkg-deb", "-f", self.deb, "Version", "Depends"])
        with open(os.path.join(os.path.dirname(__file__), "../../CMakeLists.txt")) as f:
            version = re.search(r"project\(OlvaneHelper VERSION (\S+)", f.read()).group(1)
        self.assertIn("Version: %s\n" % version, fields)
        for library in ("libc6 (>=", "libqt6core6 (>=", "libpulse0 (>=", "libqt6svg6"):
            self.assertIn(library, fields)
        self.assertTrue(os.access(self.path("usr/bin/olvane-helper"), os.X_OK))
        icon = self.path("usr/share/icons/hicolor/scalable/apps/olvane-helper.svg")
        self.assertTrue(ET.parse(icon).getroot().tag.endswith("svg"))
        with gzip.open(self.path("usr/share/man/man1/olvane-helper.1.gz"), "rt") as f:
            manual = f.read()
        self.assertIn("\\-\\-input\\-backend", manual)
        with open(self.path("usr/lib/systemd/user/olvane-helper.service")) as f:
            self.assertIn("\nExecStart=/usr/bin/olvane-helper\n", f.read())

    def test_the_menu_entry_and_the_login_entry_are_valid_and_french(self):
        entries = [self.path("usr/share/applications/olvane-helper.desktop"),
                   self.path("etc/xdg/autostart/olvane-helper.desktop")]
        for path in entries:
            out = subprocess.run(["desktop-file-validate", path], capture_output=True,
                                 text=True)
            self.assertEqual(out.returncode, 0, out.stdout + out.stderr)
            entry = desktop_entry(path)
            self.assertEqual(entry["Name"], "Olvane")
            self.assertIn("téléphone", entry["Comment"])
            self.assertEqual(entry["Exec"], "olvane-helper")
            self.assertEqual(entry["Icon"], "olvane-helper")

    def test_the_uinput_rule_and_module_where_udev_and_systemd_read_them(self):
        with open(self.path("usr/lib/udev/rules.d/70-olvane-uinput.rules")) as f:
            rules = [l for l in f.read().splitlines() if l and not l.startswith("#")]
        self.assertEqual(len(rules), 1)
        keys = [k.strip() for k in rules[0].split(",")]
        for key in ('KERNEL=="uinput"', 'SUBSYSTEM=="misc"', 'TAG+="uaccess"'):
            self.assertIn(key, keys)
        with open(self.path("usr/lib/modules-load.d/olvane-uinput.conf")) as f:
            self.assertIn("uinput", f.read().split())

    def test_lintian_finds_no_error_and_only_warnings_the_readme_explains(self):
        out = subprocess.run(["lintian", self.deb], capture_output=True, text=True)
        tags = re.findall(r"^([EW]): olvane-helper\S*: (\S+)", out.stdout, re.M)
        self.assertNotIn("E", [kind for kind, _ in tags], out.stdout)
        with open(README) as f:
            readme = f.read()
        for _, tag in tags:
            self.assertIn("`%s`" % tag, readme, out.stdout)

    def test_apt_installs_runs_and_purges_it_leaving_nothing(self):
        started = time.monotonic()
        root = DebianRoot(os.path.join(BUILD, "package-test"))
        try:
            root.create()
        except NoRoot as e:
            print("No Debian root could be made, so the package goes into this machine's "
                  "own root: %s" % e, file=sys.stderr)
            root = HostRoot()
        self.addCleanup(root.remove)
        made = time.monotonic()
        root.apt_install(self.deb)
        self.assertTrue(root.run("olvane-helper", "--version").startswith("olvane-helper "))
        self.assertIn("--input-backend", root.run("olvane-helper", "--help"))
        installed = root.run("dpkg", "-L", "olvane-helper").splitlines()
        root.run("apt-get", "purge", "-y", "olvane-helper")
        left = [p for p in installed if os.path.lexists(os.path.join(root.path, p.lstrip("/")))
                and not os.path.isdir(os.path.join(root.path, p.lstrip("/")))]
        self.assertEqual(left, [])
        self.assertFalse(os.path.exists(os.path.join(root.path, "usr/share/doc/olvane-helper")))
        with self.assertRaises(RuntimeError):
            root.run("dpkg", "-L", "olvane-helper")
        print("root ready in %.0f s, install to purge %.0f s"
              % (made - started, time.monotonic() - made), file=sys.stderr)


class PackageLists(unittest.TestCase):
    """scripts/check-programs.py, which `make test` runs first: every program the tests start
    comes from a package of the lists, or the check names it and its package."""

    def test_a_package_left_out_of_the_lists_fails_the_check_with_its_programs_named(self):
        check = os.path.join(ROOT, "scripts", "check-programs.py")
        out = subprocess.run([check], capture_output=True, text=True)
        self.assertEqual(out.returncode, 0, out.stderr)
        with tempfile.TemporaryDirectory() as lists:
            for name in ("programs.txt", "packages-build.txt", "packages-test.txt"):
                shutil.copy(os.path.join(ROOT, "scripts", name), lists)
            with open(os.path.join(lists, "packages-test.txt"), "r+") as f:
                kept = [l for l in f.read().splitlines() if l != "x11-xserver-utils"]
                f.seek(0), f.truncate(), f.write("\n".join(kept))
            out = subprocess.run([check, lists], capture_output=True, text=True)
        self.assertEqual(out.returncode, 1)
        for program in ("xset", "xmodmap", "xrandr"):
            self.assertIn("%s (/usr/bin/%s) comes from the package x11-xserver-utils, which no "
                          "list installs" % (program, program), out.stderr)


if __name__ == "__main__":
    unittest.main()

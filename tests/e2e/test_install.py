import configparser
import os
import shutil
import subprocess
import tempfile
import unittest
import xml.etree.ElementTree as ET

from olvane_e2e.programs import ROOT

BINARY = os.environ.get("OLVANE_BINARY", "olvane-helper")


def desktop_entry(path):
    parser = configparser.ConfigParser(interpolation=None)
    parser.optionxform = str
    parser.read(path, encoding="utf-8")
    return parser["Desktop Entry"]


class Install(unittest.TestCase):
    """`make install` into a staging folder puts every file in its XDG place."""

    @classmethod
    def setUpClass(cls):
        cls._tmp = tempfile.TemporaryDirectory(prefix="olvane-install-")
        cls.root = cls._tmp.name
        build_dir = os.path.dirname(os.path.abspath(BINARY))
        out = subprocess.run(["cmake", "--install", build_dir, "--prefix", "/usr/local"],
                             env=dict(os.environ, DESTDIR=cls.root), capture_output=True,
                             text=True)
        if out.returncode != 0:
            raise AssertionError(out.stdout + out.stderr)

    @classmethod
    def tearDownClass(cls):
        cls._tmp.cleanup()

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    def test_the_binary_and_its_scalable_icon(self):
        binary = self.path("usr/local/bin/olvane-helper")
        self.assertTrue(os.access(binary, os.X_OK))
        icon = self.path("usr/local/share/icons/hicolor/scalable/apps/olvane-helper.svg")
        self.assertTrue(ET.parse(icon).getroot().tag.endswith("svg"))

    def test_the_menu_entry_and_the_login_entry_are_valid_and_french(self):
        entries = [self.path("usr/local/share/applications/olvane-helper.desktop"),
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
        with open(self.path("etc/udev/rules.d/70-olvane-uinput.rules")) as f:
            rules = [l for l in f.read().splitlines() if l and not l.startswith("#")]
        self.assertEqual(len(rules), 1)
        keys = [k.strip() for k in rules[0].split(",")]
        for key in ('KERNEL=="uinput"', 'SUBSYSTEM=="misc"', 'TAG+="uaccess"'):
            self.assertIn(key, keys)
        with open(self.path("etc/modules-load.d/olvane-uinput.conf")) as f:
            self.assertIn("uinput", f.read().split())


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

# SPDX-License-Identifier: GPL-3.0-or-later
import functools
import json
import os
import subprocess
import tempfile

import dbus

from olvane_e2e import (AS_NOBODY, E2E_DIR, PYTHON, AgentTestCase, ChildProcess, DBusBus, Xvfb,
                        our_module, wait_for)

SECOND_COPY = "Instance déjà active, on la met en avant et on quitte"
# Run by another user in the shared temporary folder: takes the name of the folder a copy
# without a runtime folder makes there, and holds a lock and a socket in it; prints what the
# socket hears.
PLANT = """import os, socket, sys
os.mkdir(sys.argv[1], 0o755)
os.chdir(sys.argv[1])
with open("olvane-helper.lock", "w") as f:
    f.write("%d\\n%s\\n\\n\\n\\n" % (os.getpid(), os.path.basename(os.readlink("/proc/self/exe"))))
server = socket.socket(socket.AF_UNIX)
server.bind("olvane-helper.socket")
server.listen()
print("ready", flush=True)
while True:
    print(server.accept()[0].recv(64), flush=True)
"""


# What the window says in a French session, and in any other language.
FRENCH = ["En attente de connexion…", "CODE DE JUMELAGE", "Nouveau code", "SANS L'APP",
          "Ouvre l'app Olvane sur ton téléphone et saisis ce code", "Fenêtre"]
ENGLISH = ["Waiting for connection…", "PAIRING CODE", "New code", "WITHOUT THE APP",
           "Open the Olvane app on your phone and enter this code", "Window"]


class Desktop(AgentTestCase):
    """The agent on an X server with a tray host, as a user sees it; copies of it for one user."""

    def setUp(self):
        self.xvfb = self.started(Xvfb())
        self.started(ChildProcess(
            ["trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel", "--width",
             "200", "--height", "30"], lambda: self.x("xdotool", "search", "--classname", "panel"),
            env=dict(os.environ, DBUS_SESSION_BUS_ADDRESS="disabled:", **self.xvfb.env())))

    def x(self, *command):
        return self.xvfb.run(list(command), False)

    def windows(self, docked=False):
        """The agent's visible top-level windows (menus too); docked, its tray icon too."""
        return [w for w in self.x("xdotool", "search", "--onlyvisible", "--class",
                                  "olvane-helper").split()
                if docked or "(the root window)" in self.x("xwininfo", "-children", "-id", w)
                .split("Parent window id:")[-1].split("\n")[0]]

    def from_the_tray(self, item=2):
        """An item of the docked icon's menu, with the keyboard: the information lines are
        skipped, "New code" is the first, "Show the pairing window" the second."""
        shown = set(self.windows())
        icon = next(iter(set(self.windows(docked=True)) - shown))
        self.x("xdotool", "mousemove", "--window", icon, "5", "5", "click", "1")
        menu = wait_for(lambda: set(self.windows()) - shown)
        self.assertTrue(menu)
        self.x("xdotool", "key", *["Down"] * item, "Return")
        self.assertTrue(wait_for(lambda: not menu & set(self.windows())))

    def on_screen(self, env=None, **options):
        return self.start_agent(dry_run=False, **options, env={
            "DISPLAY": self.xvfb.display, "QT_QPA_PLATFORM": None, "OLVANE_INPUT_BACKEND": "none",
            **(env or {})})

    def code_in_qr_code(self, window, folder):
        """The pairing code, as a phone scanning the window's QR code reads it."""
        self.x("/usr/bin/import", "-window", window, os.path.join(folder, "window.png"))
        link = subprocess.run(["zbarimg", "--quiet", "--raw", os.path.join(folder, "window.png")],
                              capture_output=True, text=True).stdout
        return link.strip().partition("#code=")[2]

    def second_copy(self, first):
        """Another copy for the same user hands over and exits without serving."""
        second = self.make_agent(workdir=first.workdir, dry_run=first.dry_run, env=first.extra_env)
        second.start(wait_line=SECOND_COPY)
        self.assertEqual(second.process.wait(30), 0, second.log())
        self.assertNotIn("WS server on port", second.log())
        self.assertTrue(first.alive())

    def test_the_window_shows_the_code_closes_comes_back_from_a_copy_that_crashed_and_quits(self):
        # A copy that crashed leaves its lock and socket; they stop neither the next copy nor a
        # copy after it from handing over.
        crashed = self.make_agent().start()
        crashed.kill()
        agent = self.on_screen(workdir=crashed.workdir)
        windows = wait_for(self.windows)
        self.assertEqual(len(windows), 1)
        self.assertTrue(wait_for(lambda: len(self.windows(docked=True)) == 2))  # and the icon
        self.assertRegex(self.x("xdotool", "getwindowgeometry", "--shell", windows[0]),
                         r"WIDTH=380\nHEIGHT=(29\d|[3-9]\d\d)\n")  # 290 or more
        path = os.path.join(os.environ.get("OLVANE_TEST_ARTIFACTS", agent.workdir),
                            "pairing-window.png")
        os.makedirs(os.path.dirname(path), exist_ok=True)
        self.x("/usr/bin/import", "-window", windows[0], path)

        # Closed, it comes back when a second copy starts (the first copy's window alone), and
        # from the tray's menu. As a user would: the window takes the keyboard, XTEST presses.
        for bring_back in (lambda: self.second_copy(agent), self.from_the_tray):
            self.x("xdotool", "windowfocus", "--sync", wait_for(self.windows)[0], "key",
                   "ctrl+w")  # "Close Window"
            self.assertTrue(wait_for(lambda: not self.windows()))
            bring_back()
            self.assertEqual(len(wait_for(self.windows)), 1)
        self.x("xdotool", "windowfocus", "--sync", self.windows()[0], "key", "ctrl+q")  # Quit
        self.assertEqual(agent.process.wait(10), 0, agent.log())

    def test_a_new_code_from_the_tray_ends_the_lockout_of_a_guesser(self):
        agent = self.on_screen(code=None)
        window = wait_for(self.windows)[0]
        first = wait_for(lambda: self.code_in_qr_code(window, agent.workdir))
        guesser = self.connect_phone(agent, paired=False)
        wrong = "%04d" % ((int(first) + 1) % 10000)
        self.assertEqual({guesser.pair(wrong)["t"] for _ in range(5)}, {"badcode"})
        self.assertIn("lockout", guesser.pair(first))  # even the right code waits
        self.from_the_tray(1)
        second = wait_for(lambda: self.code_in_qr_code(window, agent.workdir) not in ("", first)
                          and self.code_in_qr_code(window, agent.workdir))
        self.assertEqual(self.connect_phone(agent, paired=False).pair(second)["t"], "paired")

    def test_a_lock_and_socket_another_user_planted_in_the_shared_temp_folder_are_ignored(self):
        first = self.make_agent(env={"XDG_RUNTIME_DIR": None})
        shared = os.path.join(first.workdir, "tmp")
        os.mkdir(shared)
        os.chmod(shared, 0o1777)
        os.chmod(first.workdir, 0o755)
        first.extra_env["TMPDIR"] = shared
        taken = os.path.join(shared, "olvane-helper-%d" % os.geteuid())
        planter = self.started(ChildProcess(AS_NOBODY + [PYTHON, "-c", PLANT, taken], "ready",
                                            stdout=subprocess.PIPE))
        self.second_copy(self.launch(first))
        planter.kill()
        self.assertEqual(planter.lines(), ["ready"])
        self.assertIn(taken + " is not a private folder of ours; not used", first.log_lines())
        self.assertTrue(os.path.exists(taken + "-2/olvane-helper.socket"))

    def read_window(self, lang):
        """The window's texts as a screen reader reads them, in a session of that language."""
        bus = self.started(DBusBus(self.folder()))
        env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=bus.address)
        self.started(ChildProcess(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
                                  lambda: dbus.bus.BusConnection(bus.address)
                                  .name_has_owner("org.a11y.Bus"), env=env))
        agent = self.on_screen(env={"LANG": lang, "LOCPATH": locales(),
                                    "DBUS_SESSION_BUS_ADDRESS": bus.address,
                                    "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1"})
        out = subprocess.run(our_module("accessible", "Olvane"), cwd=E2E_DIR, env=env,
                             capture_output=True, text=True, timeout=60)
        agent.stop_cleanly()
        return json.loads(out.stdout or "[]")

    def test_a_french_session_reads_french_and_others_english(self):
        for lang, texts in (("fr_FR.UTF-8", FRENCH), ("en_US.UTF-8", ENGLISH)):
            with self.subTest(lang=lang):
                self.assertEqual([t for t in texts if t not in self.read_window(lang)], [])

    def test_hidden_shows_the_window_only_while_no_phone_is_paired(self):
        first = self.on_screen(args=["--hidden"])
        self.assertEqual(len(wait_for(self.windows)), 1)  # the user needs the code
        self.connect_phone(first)
        first.stop_cleanly()
        self.on_screen(workdir=first.workdir, args=["--hidden"])
        self.assertTrue(wait_for(lambda: self.windows(docked=True)))  # the icon only
        self.assertEqual(self.windows(), [])
        self.from_the_tray()
        self.assertEqual(len(wait_for(self.windows)), 1)


@functools.cache
def locales(folder=tempfile.TemporaryDirectory()):  # removed at exit
    """A fresh Debian has no locale but C.UTF-8: ours, made from the locales package."""
    for name in ("fr_FR", "en_US"):
        subprocess.run(["localedef", "-i", name, "-f", "UTF-8", folder.name + "/%s.UTF-8" % name],
                       check=True)
    return folder.name

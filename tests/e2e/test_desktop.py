import os

from olvane_e2e import AgentTestCase, wait_for
from olvane_e2e.desktop import Trayer, focus_and_type, geometry, visible_windows
from olvane_e2e.xvfb import Xvfb


class Desktop(AgentTestCase):
    """The agent on an X server with a tray host, seen from outside as a user sees it."""

    def setUp(self):
        self.xvfb = self.started(Xvfb(1280, 800))
        self.trayer = self.started(Trayer(self.xvfb))

    def start_agent(self, dry_run):
        agent = super().start_agent(code="4821", dry_run=dry_run, env={
            "DISPLAY": self.xvfb.display, "QT_QPA_PLATFORM": None, "OLVANE_INPUT_BACKEND": "none"})
        self.assertTrue(wait_for(lambda: "olvane-helper" in self.trayer.docked().values()))
        return agent

    def windows(self):
        return visible_windows(self.xvfb, "Olvane")

    def choose_show_pairing_window(self):
        """"Afficher la fenêtre de jumelage" from the tray menu, with the keyboard."""
        before = set(visible_windows(self.xvfb))
        self.trayer.click_icon()
        menu = wait_for(lambda: set(visible_windows(self.xvfb)) - before)
        self.assertTrue(menu)
        # Past "Nouveau code" to the next enabled item; the information lines are skipped.
        self.xvfb.run(["xdotool", "key", "Down", "Down", "Return"])
        self.assertTrue(wait_for(lambda: not menu & set(visible_windows(self.xvfb))))

    def test_the_window_shows_the_code_in_the_dark_closes_comes_back_from_the_tray_and_quits(self):
        agent = self.start_agent(dry_run=False)
        windows = wait_for(self.windows)
        self.assertEqual(len(windows), 1)
        size = geometry(self.xvfb, windows[0])
        self.assertEqual(size["WIDTH"], 380)
        self.assertGreaterEqual(size["HEIGHT"], 290)
        path = os.path.join(os.environ.get("OLVANE_TEST_ARTIFACTS", agent.workdir),
                            "pairing-window.png")
        os.makedirs(os.path.dirname(path), exist_ok=True)
        self.xvfb.run(["/usr/bin/import", "-window", windows[0], path])
        corner = "%%[fx:int(255*p{3,%d}.r)]" % (size["HEIGHT"] - 3)
        pixel = [self.xvfb.run(["/usr/bin/convert", path, "-format", corner.replace(".r", c),
                                "info:"]) for c in (".r", ".g", ".b")]
        self.assertEqual(pixel, ["21", "21", "24"])

        focus_and_type(self.xvfb, windows[0], "ctrl+w")  # "Fermer la fenêtre"
        self.assertTrue(wait_for(lambda: not self.windows()))
        self.choose_show_pairing_window()
        focus_and_type(self.xvfb, wait_for(self.windows)[0], "ctrl+q")  # "Quitter Olvane"
        self.assertEqual(agent.process.wait(10), 0, agent.log())
        self.assertEqual(agent.log_lines()[-1], "Olvane stopped.")

    def test_in_dry_run_no_window_appears_even_when_asked_for_from_the_tray(self):
        self.start_agent(dry_run=True)
        self.assertEqual(self.windows(), [])
        self.choose_show_pairing_window()
        # The menu has gone and nothing took its place.
        self.assertFalse(wait_for(self.windows, 1.0))


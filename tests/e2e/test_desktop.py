import os
import unittest

from olvane_e2e import AgentTestCase
from olvane_e2e.agent import wait_for
from olvane_e2e.desktop import (Trayer, focus_and_type, geometry, open_tray_menu, pixel,
                                screenshot, visible_windows)
from olvane_e2e.xvfb import Xvfb

ARTIFACTS = os.environ.get("OLVANE_TEST_ARTIFACTS")


class Desktop(AgentTestCase):
    """The agent on an X server with a tray host, seen from outside as a user sees it."""

    def setUp(self):
        self.xvfb = self.started(Xvfb(1280, 800))
        self.trayer = self.started(Trayer(self.xvfb))

    def start_agent(self, dry_run):
        self.agent = super().start_agent(code="4821", dry_run=dry_run, env={
            "DISPLAY": self.xvfb.display, "QT_QPA_PLATFORM": None,
            "OLVANE_INPUT_BACKEND": "none"})
        return self.agent

    def pairing_window(self):
        return wait_for(lambda: visible_windows(self.xvfb, "Olvane"), 10)

    def choose_show_pairing_window(self):
        """"Afficher la fenêtre de jumelage" from the tray menu, with the keyboard."""
        before = set(visible_windows(self.xvfb))
        open_tray_menu(self.xvfb, self.trayer)
        menu = wait_for(lambda: set(visible_windows(self.xvfb)) - before, 10)
        self.assertTrue(menu)
        # Past "Nouveau code" to the next enabled item; the information lines are skipped.
        self.xvfb.run(["xdotool", "key", "Down", "Down", "Return"])
        self.assertTrue(wait_for(lambda: not menu & set(visible_windows(self.xvfb)), 10))

    def test_the_icon_docks_in_the_tray_and_the_window_shows_the_code_in_the_dark(self):
        self.start_agent(dry_run=False)
        self.assertTrue(wait_for(lambda: "olvane-helper" in self.trayer.docked_classes(), 10))
        windows = self.pairing_window()
        self.assertEqual(len(windows), 1)
        size = geometry(self.xvfb, windows[0])
        self.assertEqual(size["WIDTH"], 380)
        self.assertGreaterEqual(size["HEIGHT"], 290)

        path = screenshot(self.xvfb, windows[0],
                          os.path.join(ARTIFACTS or self.agent.workdir, "pairing-window.png"))
        self.assertEqual(pixel(self.xvfb, path, 3, size["HEIGHT"] - 3), (21, 21, 24))

    def test_closing_the_window_from_its_menu_and_reopening_it_from_the_tray(self):
        self.start_agent(dry_run=False)
        window = self.pairing_window()[0]
        focus_and_type(self.xvfb, window, "ctrl+w")  # "Fermer la fenêtre"
        self.assertTrue(wait_for(lambda: not visible_windows(self.xvfb, "Olvane"), 10))
        self.choose_show_pairing_window()
        self.assertTrue(self.pairing_window())

    def test_quitting_from_the_windows_menu_ends_the_process_cleanly(self):
        self.start_agent(dry_run=False)
        focus_and_type(self.xvfb, self.pairing_window()[0], "ctrl+q")  # "Quitter Olvane"
        self.assertEqual(self.agent.process.wait(10), 0, self.agent.log())
        self.assertEqual(self.agent.log_lines()[-1], "Olvane stopped.")

    def test_in_dry_run_no_window_appears_even_when_asked_for_from_the_tray(self):
        self.start_agent(dry_run=True)
        self.assertTrue(wait_for(lambda: "olvane-helper" in self.trayer.docked_classes(), 10))
        self.assertEqual(visible_windows(self.xvfb, "Olvane"), [])
        self.choose_show_pairing_window()
        # The menu has gone and nothing took its place.
        self.assertFalse(wait_for(lambda: visible_windows(self.xvfb, "Olvane"), 1.0))


if __name__ == "__main__":
    unittest.main()

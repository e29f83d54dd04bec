# SPDX-License-Identifier: GPL-3.0-or-later
import os
import socket

from olvane_e2e import AgentTestCase

DOES_NOT_ANSWER = "the compositor of display wayland-silent does not answer"


class SilentCompositor(AgentTestCase):
    """A Wayland display that takes every connection and never answers holds up no phone."""

    def silent_display(self, runtime):
        """Connections are taken (the kernel completes them for the listener) and never read."""
        listener = socket.socket(socket.AF_UNIX)
        listener.bind(os.path.join(runtime, "wayland-silent"))
        listener.listen()
        self.addCleanup(listener.close)

    def test_phones_pair_and_ax_stays_false_with_one_line_for_either_wayland_backend(self):
        for backend in ("wlroots", "portal"):
            with self.subTest(backend):
                agent = self.make_agent(dry_run=False, env={
                    "OLVANE_INPUT_BACKEND": backend, "WAYLAND_DISPLAY": "wayland-silent"})
                self.silent_display(agent.environment()["XDG_RUNTIME_DIR"])
                # Listening is enough: neither the backend nor the start line is waited for.
                agent.start(wait_line="WS server on port")
                self.addCleanup(agent.stop_cleanly)
                phone = self.connect_phone(agent)
                self.assert_input_dropped(phone)
                self.assertTrue(agent.wait_for_log(DOES_NOT_ANSWER, 20), agent.log())
                self.assertTrue(agent.wait_for_log("Olvane started. code: 4321  ax: false"))
                self.assert_input_dropped(phone)
                said = [l for l in agent.log_lines() if "WS server" in l or DOES_NOT_ANSWER in l]
                self.assertEqual(len(said), 2, agent.log())
                self.assertIn("WS server on port", said[0])

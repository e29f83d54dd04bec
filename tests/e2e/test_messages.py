import struct
import unittest

import websockets

from olvane_e2e import AgentTestCase


class Messages(AgentTestCase):
    """Commands in dry run, and everything a hostile or broken client may send."""

    def setUp(self):
        self.agent = self.start_agent()

    def new_phone(self, paired=True):
        return self.connect_phone(self.agent, paired)

    def test_dry_run_answers_and_logs_commands_without_injecting(self):
        p = self.new_phone()
        self.assertEqual(p.request({"t": "ping", "ts": 42}), {"t": "pong", "ax": True, "ts": 42})
        self.assertEqual(p.request({"t": "getvol"}), {"t": "vol", "value": 50})
        p.send(struct.pack("<Bff", 1, 1.0, -2.0))
        p.send({"t": "mv", "dx": 3})
        self.assertTrue(self.agent.wait_for_log("input: mv "))
        lines = self.agent.log_lines()
        self.assertIn("input(bin): op=1 dx=1.0 dy=-2.0", lines)
        self.assertIn('input: mv {"dx":3,"t":"mv"}', lines)

    def test_malformed_messages_are_dropped_and_the_connection_goes_on(self):
        p = self.new_phone()
        for junk in ["", "[1,2]", "42", "{", '{"t":3}', "{}", '{"t":"nosuch"}',
                     "[" * 30000 + "]" * 30000, '{"t":"mv","dx":1e999}']:
            p.send(junk)
        p.send(b"")
        p.send(b"\x01\x00")
        p.send(struct.pack("<Bff", 1, float("nan"), float("inf")))
        self.assertTrue(p.nothing_received())
        self.assertEqual(p.request({"t": "ping"})["t"], "pong")

    def test_invalid_utf8_and_oversized_messages_end_only_that_connection(self):
        bystander = self.new_phone()
        broken = self.new_phone()
        broken.send_raw_text_frame(b'{"t":"ping","x":"\xff\xfe"}')
        self.assertIsNotNone(broken.closed())
        huge = self.new_phone()
        try:
            huge.send("x" * (10 * 1024 * 1024))
        except websockets.ConnectionClosed as e:
            self.assertEqual(e.code, 1009)
        else:
            self.assertEqual(huge.closed(), 1009)
        fits = self.new_phone()
        self.assertEqual(fits.request({"t": "ping", "ts": "y" * 60000})["t"], "pong")
        self.assertEqual(bystander.request({"t": "ping"})["t"], "pong")
        self.assertTrue(self.agent.alive())


if __name__ == "__main__":
    unittest.main()

import os
import struct

import websockets

from olvane_e2e import AgentTestCase


class Protocol(AgentTestCase):
    """Pairing, tokens and commands as a phone sees them, in dry run; and what a broken client
    may send."""

    def setUp(self):
        self.agent = self.start_agent()
        self.phone = self.connect_phone(self.agent)

    def hello(self, token):
        phone = self.connect_phone(self.agent, paired=False)
        return phone.request({"t": "hello", "token": token})["t"]

    def test_a_paired_phone_comes_back_with_its_token_until_the_token_is_revoked(self):
        first = self.connect_phone(self.agent, paired=False)
        self.assertEqual(first.request({"t": "hello"})["t"], "needpair")
        reply = first.pair("4321")
        self.assertRegex(reply["token"], r"^[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}$")
        self.assertEqual(reply["version"], "1.1.0 (13)")
        self.assertEqual(self.hello(reply["token"]), "authok")
        # An unpair, from any connection, ends every connection that uses the token.
        self.connect_phone(self.agent, paired=False).send({"t": "unpair", "token": reply["token"]})
        self.assertIsNotNone(first.closed())
        self.assertEqual(self.hello(reply["token"]), "needpair")

        # So does a token file deleted by hand: the next command is not carried out.
        second = self.connect_phone(self.agent)
        os.remove(self.agent.token_file)
        second.send({"t": "key", "name": "return"})
        self.assertIsNotNone(second.closed())
        self.assertFalse([l for l in self.agent.log_lines() if l.startswith("input: key")])

    def test_two_phones_at_once_each_get_their_own_replies(self):
        a, b = self.connect_phone(self.agent), self.connect_phone(self.agent)
        for i in range(20):
            a.send({"t": "ping", "ts": "a%d" % i})
            b.send({"t": "ping", "ts": "b%d" % i})
        self.assertEqual([a.receive()["ts"] for _ in range(20)], ["a%d" % i for i in range(20)])
        self.assertEqual([b.receive()["ts"] for _ in range(20)], ["b%d" % i for i in range(20)])

    def test_dry_run_answers_and_logs_commands_without_injecting(self):
        self.assertEqual(self.phone.request({"t": "ping", "ts": 42}),
                         {"t": "pong", "ax": True, "ts": 42})
        self.assertEqual(self.phone.request({"t": "getvol"}), {"t": "vol", "value": 50})
        self.phone.send(struct.pack("<Bff", 1, 1.0, -2.0))
        self.phone.send({"t": "mv", "dx": 3})
        self.assertTrue(self.agent.wait_for_log('input: mv {"dx":3,"t":"mv"}'))
        self.assertIn("input(bin): op=1 dx=1.0 dy=-2.0", self.agent.log_lines())

    def test_malformed_messages_are_dropped_and_the_connection_goes_on(self):
        for junk in ["", "[1,2]", "42", "{", '{"t":3}', "{}", '{"t":"nosuch"}',
                     "[" * 30000 + "]" * 30000, '{"t":"mv","dx":1e999}', b"", b"\x01\x00",
                     struct.pack("<Bff", 1, float("nan"), float("inf"))]:
            self.phone.send(junk)
        # None of them was answered: the next message is the ping's answer.
        self.assertEqual(self.phone.request({"t": "ping"})["t"], "pong")

    def test_invalid_utf8_and_oversized_messages_end_only_that_connection(self):
        for opcode, payload, code in [(1, b'{"t":"ping","x":"\xff\xfe"}', 1007),
                                      (2, b"x" * 10_000_000, 1009),
                                      (1, b'{"t":"ping","ts":"%s"}' % (b"x" * 10_000_000), 1009)]:
            broken = self.connect_phone(self.agent)
            try:
                broken.run(broken.ws.write_frame(True, opcode, payload))
            except websockets.ConnectionClosed:
                pass
            self.assertEqual(broken.closed(), code)
        # The phone still gets its answers, to a message just under the limit too.
        self.assertEqual(self.phone.request({"t": "ping", "ts": "y" * 60000})["t"], "pong")


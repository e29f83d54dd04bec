import unittest

from olvane_e2e import AgentTestCase


class Pairing(AgentTestCase):
    def setUp(self):
        self.agent = self.start_agent()

    def new_phone(self):
        return self.connect_phone(self.agent, paired=False)

    def test_a_paired_phone_comes_back_with_its_token_until_it_unpairs(self):
        first = self.new_phone()
        self.assertEqual(first.request({"t": "hello"})["t"], "needpair")
        reply = first.pair("4321")
        self.assertEqual(reply["t"], "paired")
        self.assertRegex(reply["token"], r"^[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}$")
        self.assertEqual(reply["version"], "1.1.0 (13)")
        self.assertTrue(self.agent.wait_for_log("Client paired"))  # logged after the reply

        again = self.new_phone()
        welcome = again.request({"t": "hello", "token": reply["token"]})
        self.assertEqual(welcome["t"], "authok")
        self.assertEqual(welcome["name"], reply["name"])
        again.send({"t": "unpair", "token": reply["token"]})
        self.assertIsNotNone(again.closed())

        third = self.new_phone()
        self.assertEqual(third.request({"t": "hello", "token": reply["token"]})["t"], "needpair")

    def test_wrong_codes_lock_pairing_for_everyone(self):
        guessers = [self.new_phone() for _ in range(3)]
        for i in range(5):
            code = "%04d" % (1000 + i)
            self.assertEqual(guessers[i % 3].pair(code)["t"], "badcode")
        # The right code is refused too while locked, from any connection, with the time left.
        reply = self.new_phone().pair("4321")
        self.assertEqual((reply["t"], reply["lockout"] in (29, 30)), ("badcode", True), reply)
        lines = self.agent.log_lines()
        self.assertEqual(lines.count("Bad pairing code attempt"), 5)
        self.assertEqual(len([l for l in lines if l.startswith("Pairing locked for 30 s")]), 1)

    def test_two_phones_at_once_each_get_their_own_replies(self):
        a, b = self.new_phone(), self.new_phone()
        self.assertEqual(a.pair("4321")["t"], "paired")
        self.assertEqual(b.pair("4321")["t"], "paired")
        for i in range(20):
            a.send({"t": "ping", "ts": "a%d" % i})
            b.send({"t": "ping", "ts": "b%d" % i})
        self.assertEqual([a.receive()["ts"] for _ in range(20)], ["a%d" % i for i in range(20)])
        self.assertEqual([b.receive()["ts"] for _ in range(20)], ["b%d" % i for i in range(20)])


if __name__ == "__main__":
    unittest.main()

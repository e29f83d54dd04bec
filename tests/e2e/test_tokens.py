import asyncio
import json
import os
import random
import stat
import unittest

import websockets

from olvane_e2e import Agent, Phone


class Tokens(unittest.TestCase):
    """The token list on disk: private, kept across restarts and crashes."""

    def setUp(self):
        self.agent = Agent()

    def tearDown(self):
        self.agent.cleanup()

    def test_a_token_survives_a_restart_and_the_file_is_private(self):
        self.agent.start()
        p = Phone(self.agent.port)
        token = p.pair("4321")["token"]
        p.close()
        self.agent.stop_cleanly()
        self.assertEqual(stat.S_IMODE(os.stat(self.agent.token_file).st_mode), 0o600)

        self.agent.start()
        p = Phone(self.agent.port)
        self.assertEqual(p.request({"t": "hello", "token": token})["t"], "authok")
        p.close()
        self.agent.stop_cleanly()

    def test_kill_9_while_tokens_are_being_written_loses_no_acknowledged_token(self):
        received = []
        for round in range(4):
            self.agent.start()
            asyncio.run(self._pair_until_killed(received, random.uniform(0.1, 0.4)))
            with open(self.agent.token_file) as f:
                saved = json.load(f)["olvane.tokens"]
            missing = [t for t in received if t not in saved]
            self.assertEqual(missing, [], "round %d" % round)
        self.assertGreater(len(received), 20)

    async def _pair_until_killed(self, received, after):
        writing = asyncio.Event()

        async def pair_forever():
            async with websockets.connect(f"ws://127.0.0.1:{self.agent.port}") as ws:
                while True:
                    await ws.send(json.dumps({"t": "pair", "code": "4321"}))
                    received.append(json.loads(await ws.recv())["token"])
                    writing.set()

        tasks = [asyncio.create_task(pair_forever()) for _ in range(4)]
        # The kill lands while tokens are being written, not before the first handshake.
        await asyncio.wait_for(writing.wait(), 30)
        await asyncio.sleep(after)
        self.agent.kill()
        results = await asyncio.gather(*tasks, return_exceptions=True)
        self.assertTrue(all(isinstance(r, websockets.ConnectionClosed) for r in results), results)

    def test_a_garbled_file_is_kept_aside_and_pairing_goes_on(self):
        os.makedirs(os.path.dirname(self.agent.token_file))
        with open(self.agent.token_file, "w") as f:
            f.write('{"olvane.tokens": ["A", ')
        self.agent.start()
        p = Phone(self.agent.port)
        token = p.pair("4321")["token"]
        p.close()
        self.agent.stop_cleanly()
        folder = os.path.dirname(self.agent.token_file)
        aside = [n for n in os.listdir(folder) if n.startswith("tokens.json.corrupt-")]
        self.assertEqual(len(aside), 1)
        with open(os.path.join(folder, aside[0])) as f:
            self.assertEqual(f.read(), '{"olvane.tokens": ["A", ')
        with open(self.agent.token_file) as f:
            self.assertEqual(json.load(f), {"olvane.tokens": [token]})


if __name__ == "__main__":
    unittest.main()

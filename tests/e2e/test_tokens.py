import asyncio
import json
import os
import random
import stat
import unittest

import websockets

from olvane_e2e import AgentTestCase, Phone

NOBODY = 65534
# Mounts a tmpfs of two pages on the token folder, in a mount namespace of the agent's own,
# puts the saved tokens in it and fills the rest.
FULL_DISK = """dir=$1 seed=$2; shift 2
mount -t tmpfs -o size=8k,mode=700 olvane-full "$dir" || exit 1
cp "$seed" "$dir/tokens.json" && chmod 600 "$dir/tokens.json"
cat /dev/zero > "$dir/filler" 2>/dev/null
exec "$@"
"""


class Tokens(AgentTestCase):
    """The token list on disk: private, kept across restarts and crashes, and never lost to a
    file that cannot be read or a disk that is full."""

    def setUp(self):
        self.agent = self.make_agent()

    def saved_tokens(self, agent, tokens):
        os.makedirs(os.path.dirname(agent.token_file), exist_ok=True)
        with open(agent.token_file, "w") as f:
            json.dump({"olvane.tokens": tokens}, f)
        with open(agent.token_file, "rb") as f:
            return f.read()

    def welcomes(self, agent, token):
        return self.connect_phone(agent, paired=False).request({"t": "hello", "token": token})["t"] == "authok"

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
        garbage = b'{"olvane.tokens": ["A", \x00\xff\xfe' + bytes(range(256))
        with open(self.agent.token_file, "wb") as f:
            f.write(garbage)
        self.agent.start()
        p = Phone(self.agent.port)
        token = p.pair("4321")["token"]
        p.close()
        self.agent.stop_cleanly()
        folder = os.path.dirname(self.agent.token_file)
        aside = [n for n in os.listdir(folder) if n.startswith("tokens.json.corrupt-")]
        self.assertEqual(len(aside), 1)
        with open(os.path.join(folder, aside[0]), "rb") as f:
            self.assertEqual(f.read(), garbage)
        with open(self.agent.token_file) as f:
            self.assertEqual(json.load(f), {"olvane.tokens": [token]})

    def test_an_unreadable_file_is_left_as_it_is_and_a_new_token_works_for_this_run(self):
        # Root reads any file: the agent runs as nobody, and the file stays root's.
        agent = self.make_agent(prefix=["setpriv", "--reuid=%d" % NOBODY,
                                         "--regid=%d" % NOBODY, "--clear-groups"])
        saved = self.saved_tokens(agent, ["B7F0C3A2-0000-4000-8000-000000000001"])
        agent.environment()  # makes the runtime folder, which nobody must own too
        for folder, _, _ in os.walk(agent.workdir):
            os.chown(folder, NOBODY, NOBODY)
        os.chmod(agent.token_file, 0o600)
        agent.start()

        token = self.connect_phone(agent, paired=False).pair("4321")["token"]
        self.assertIn("Token issued but not saved: %s cannot be read" % agent.token_file,
                      agent.log_lines())
        self.assertTrue(self.welcomes(agent, token))
        with open(agent.token_file, "rb") as f:
            self.assertEqual(f.read(), saved)
        agent.stop_cleanly()

    def test_a_full_disk_keeps_a_new_token_for_this_run_and_loses_no_saved_one(self):
        old = "B7F0C3A2-0000-4000-8000-000000000002"
        seed = os.path.join(self.agent.workdir, "seed.json")
        folder = os.path.dirname(self.agent.token_file)
        os.makedirs(folder)
        with open(seed, "w") as f:
            json.dump({"olvane.tokens": [old]}, f)
        agent = self.make_agent(workdir=self.agent.workdir, prefix=[
            "unshare", "--mount", "--propagation", "private", "sh", "-c", FULL_DISK, "sh",
            folder, seed])
        agent.start()
        # The full folder exists only in the agent's namespace; its /proc root leads there.
        inside = "/proc/%d/root%s" % (agent.process.pid, folder)

        first = self.connect_phone(agent, paired=False).pair("4321")["token"]
        self.assertIn("Token issued but not saved: cannot write %s" % agent.token_file,
                      agent.log_lines())
        self.assertTrue(self.welcomes(agent, first))
        self.assertTrue(self.welcomes(agent, old))
        with open(os.path.join(inside, "tokens.json")) as f:
            self.assertEqual(json.load(f), {"olvane.tokens": [old]})

        os.remove(os.path.join(inside, "filler"))
        second = self.connect_phone(agent, paired=False).pair("4321")["token"]
        with open(os.path.join(inside, "tokens.json")) as f:
            self.assertEqual(json.load(f), {"olvane.tokens": [old, first, second]})
        agent.stop_cleanly()


if __name__ == "__main__":
    unittest.main()

# SPDX-License-Identifier: GPL-3.0-or-later
import asyncio
import json
import os
import pathlib
import random

import websockets

from olvane_e2e import AS_NOBODY, AgentTestCase, hand_over

OLD = "B7F0C3A2-0000-4000-8000-000000000001"
# In a mount namespace of the agent's own: a tmpfs of two pages on the token folder, with the
# saved tokens, the rest filled.
FULL_DISK = ('dir=$1; shift; saved=$(cat "$dir/tokens.json"); mount -t tmpfs -o size=8k,mode=700 '
             'olvane-full "$dir" || exit 1; printf %s "$saved" > "$dir/tokens.json"; '
             'chmod 600 "$dir/tokens.json"; cat /dev/zero > "$dir/filler" 2>/dev/null; exec "$@"')


def saved(path):
    return json.loads(pathlib.Path(path).read_text())["olvane.tokens"]


class Tokens(AgentTestCase):
    """Tokens are kept across restarts and crashes, and never lost to a file or a disk."""

    def agent_with_file(self, content, **options):
        agent = self.make_agent(**options)
        os.makedirs(os.path.dirname(agent.token_file))
        pathlib.Path(agent.token_file).write_bytes(content)
        return agent

    def pair(self, agent):
        return self.connect_phone(agent, paired=False).pair("4321")["token"]

    def welcomes(self, agent, *tokens):
        return all(self.connect_phone(agent, paired=False).request(
            {"t": "hello", "token": t})["t"] == "authok" for t in tokens)

    def test_a_garbled_file_is_kept_aside_and_a_new_token_survives_a_restart(self):
        garbage = b'{"olvane.tokens": ["A", \x00\xff\xfe' + bytes(range(256))
        agent = self.agent_with_file(garbage)
        token = self.pair(agent.start())
        agent.stop_cleanly()
        aside = pathlib.Path(agent.token_file).parent.glob("tokens.json.corrupt-*")
        self.assertEqual([p.read_bytes() for p in aside], [garbage])
        self.assertTrue(self.welcomes(self.launch(agent), token))

    def test_kill_9_while_tokens_are_being_written_loses_no_acknowledged_token(self):
        agent, received = self.make_agent(), []

        async def pair_until_killed():
            async def pair_forever():
                async with websockets.connect(f"ws://127.0.0.1:{agent.port}") as ws:
                    while True:
                        await ws.send(json.dumps({"t": "pair", "code": "4321"}))
                        received.append(json.loads(await ws.recv())["token"])
            tasks = [asyncio.create_task(pair_forever()) for _ in range(4)]
            # The kill lands while tokens are being written, not before the first handshake.
            while not received:
                await asyncio.sleep(0.01)
            await asyncio.sleep(random.uniform(0.1, 0.4))
            agent.kill()
            return await asyncio.gather(*tasks, return_exceptions=True)

        for round in range(4):
            agent.start()
            asyncio.run(asyncio.wait_for(pair_until_killed(), 60))
            lost = [t for t in received if t not in saved(agent.token_file)]
            self.assertEqual(lost, [], "round %d" % round)

    def test_an_unreadable_file_is_left_as_it_is_and_a_new_token_works_for_this_run(self):
        content = json.dumps({"olvane.tokens": [OLD]}).encode()
        # Root reads any file: the agent runs as nobody, and the file stays root's.
        agent = self.agent_with_file(content, prefix=AS_NOBODY)
        os.chmod(agent.token_file, 0o600)
        agent.environment()  # makes the runtime folder, which nobody must own too
        hand_over(agent.workdir)
        token = self.pair(self.launch(agent))
        self.assertIn("Token issued but not saved: %s cannot be read" % agent.token_file,
                      agent.log_lines())
        self.assertTrue(self.welcomes(agent, token))
        self.assertEqual(pathlib.Path(agent.token_file).read_bytes(), content)

    def test_a_full_disk_keeps_a_new_token_for_this_run_and_loses_no_saved_one(self):
        agent = self.agent_with_file(json.dumps({"olvane.tokens": [OLD]}).encode())
        folder = os.path.dirname(agent.token_file)
        agent.prefix = ["unshare", "--mount", "--propagation", "private", "sh", "-c", FULL_DISK,
                        "sh", folder]
        self.launch(agent)
        # The full folder exists only in the agent's namespace; its /proc root leads there.
        inside = "/proc/%d/root%s/" % (agent.process.pid, folder)
        first = self.pair(agent)
        self.assertIn("Token issued but not saved: cannot write %s" % agent.token_file,
                      agent.log_lines())
        self.assertTrue(self.welcomes(agent, first, OLD))
        self.assertEqual(saved(inside + "tokens.json"), [OLD])
        os.remove(inside + "filler")
        second = self.pair(agent)
        self.assertEqual(saved(inside + "tokens.json"), [OLD, first, second])

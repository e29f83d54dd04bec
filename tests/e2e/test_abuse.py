"""Hostile traffic on loopback: handshakes that never end, code guessing, garbled bytes.
Throughout, a paired phone keeps pinging and must get every answer; its round trips are
printed, not judged (the machine is shared)."""
import asyncio
import json
import os
import random
import statistics
import sys
import threading
import time

import websockets

from olvane_e2e import AgentTestCase
from test_attacks import upgrade


class Abuse(AgentTestCase):
    def setUp(self):
        self.agent = self.start_agent(dry_run=False, env={"OLVANE_INPUT_BACKEND": "none"})
        phone = self.connect_phone(self.agent, paired=False)
        self.token = phone.pair("4321")["token"]
        self.round_trips, self.failures, self.done = [], [], threading.Event()
        self.pinging = threading.Thread(target=self.ping, args=(phone,), daemon=True)
        self.pinging.start()
        self.addCleanup(self.stop_pinging)

    def ping(self, phone):
        """Every 20 ms, from a thread of its own."""
        asyncio.set_event_loop(phone.loop)
        while not self.done.wait(0.02):
            start = time.monotonic()
            try:
                assert phone.request({"t": "ping", "ts": start}, timeout=10)["ts"] == start
                self.round_trips.append(1000 * (time.monotonic() - start))
            except Exception as e:
                return self.failures.append(repr(e))

    def stop_pinging(self):
        self.done.set()
        self.pinging.join(15)

    def served_throughout(self, what):
        """The paired phone got every answer, and a new connection is served too."""
        self.stop_pinging()
        ms = sorted(self.round_trips) or [float("nan")]
        print("\n%s: %d pings of a paired phone, median %.1f ms, max %.1f ms"
              % (what, len(ms), statistics.median(ms), ms[-1]), file=sys.stderr)
        self.assertEqual(self.failures, [])
        again = self.connect_phone(self.agent, paired=False)
        self.assertEqual(again.request({"t": "hello", "token": self.token})["t"], "authok")

    async def upgraded(self, sent=None):
        """A raw connection that sent that many bytes of a handshake, or all of it and got
        its answer (None when refused)."""
        reader, writer = await asyncio.open_connection("127.0.0.1", self.agent.port)
        writer.write(upgrade("127.0.0.1")[:sent])
        if sent is not None:
            return reader, writer
        try:
            head = await asyncio.wait_for(reader.readuntil(b"\r\n\r\n"), 30)
        except (OSError, asyncio.IncompleteReadError):
            return None
        return (reader, writer) if head.startswith(b"HTTP/1.1 101") else None

    @staticmethod
    async def closed_by_peer(connection, timeout=15):
        """Whether the agent ends the connection (reading what it still sends) in time."""
        reader, writer = connection
        try:
            while await asyncio.wait_for(reader.read(65536), timeout):
                pass
            return True
        except asyncio.TimeoutError:
            return False
        except OSError:
            return True
        finally:
            writer.close()

    def test_handshakes_that_never_finish_neither_keep_a_phone_out_nor_stay(self):
        async def stall():
            # Half send nothing, half the start of a handshake that never ends; then a phone
            # comes, gets in, and is dropped too as it never says anything.
            held = [await self.upgraded(sent=20 * (i % 2)) for i in range(32)]
            held.append(await self.upgraded())
            return await asyncio.gather(*[self.closed_by_peer(c) for c in held if c])

        self.assertEqual(asyncio.run(stall()), [True] * 33)
        self.served_throughout("32 stalled handshakes")

    def test_a_hundred_thousand_wrong_codes_get_five_compared(self):
        wrong = ["%04d" % c for c in range(10000) if c != 4321]

        async def guess(count):
            async with websockets.connect("ws://127.0.0.1:%d" % self.agent.port) as ws:
                async def send_all():
                    for _ in range(count):
                        await ws.send(json.dumps({"t": "pair", "code": random.choice(wrong)}))
                sender = asyncio.create_task(send_all())
                replies = [json.loads(await asyncio.wait_for(ws.recv(), 30))["t"]
                           for _ in range(count)]
                await sender
                return replies

        async def flood():
            return sum(await asyncio.gather(*[guess(5000) for _ in range(20)]), [])

        replies = asyncio.run(flood())
        self.assertEqual((len(replies), set(replies)), (100_000, {"badcode"}))
        lines = self.agent.log_lines()
        self.assertEqual(lines.count("Bad pairing code attempt"), 5)
        self.assertEqual(len([l for l in lines if l.startswith("Pairing locked for 30 s")]), 1)
        # The lockout holds for everyone, the right code included.
        # The right code is refused too while locked, with the seconds left for the page.
        reply = self.connect_phone(self.agent, paired=False).pair("4321")
        self.assertEqual(reply["t"], "badcode")
        self.assertTrue(0 < reply["lockout"] <= 30, reply)
        self.served_throughout("100,000 wrong codes")

    def test_random_bytes_after_a_valid_handshake_close_the_connection(self):
        async def garble(size):
            connection = await self.upgraded()
            connection[1].write(os.urandom(size))
            # At once when the bytes cannot be a frame; else at the deadline for a first
            # message.
            return await self.closed_by_peer(connection)

        async def garble_all():  # within the 32 connections that may await authentication
            return await asyncio.gather(*[garble(size) for size in [1, 2, 7, 64, 1000] * 6])

        self.assertEqual(asyncio.run(garble_all()), [True] * 30)
        # A paired phone that sends garbage is cut off too.
        garbler = self.connect_phone(self.agent)
        garbler.ws.transport.write(b"\xff" * 16)
        self.assertIsNotNone(garbler.closed())
        self.served_throughout("random bytes")


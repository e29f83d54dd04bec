"""Hostile traffic on loopback: floods of connections, handshakes that never end, huge and
garbled messages, code guessing. Throughout, a paired phone keeps pinging and must be served;
its round trips are printed, not judged (the machine is shared)."""
import asyncio
import json
import os
import random
import statistics
import sys
import threading
import time
import unittest

import websockets

from olvane_e2e import AgentTestCase, Phone
from olvane_e2e.agent import wait_for
from test_attacks import upgrade


def handshake():
    return upgrade("127.0.0.1")


class ServedPhone:
    """A paired phone that pings every 20 ms from a thread of its own."""

    def __init__(self, port):
        self.phone = Phone(port)
        self.token = self.phone.pair("4321")["token"]
        self.round_trips, self.failures = [], []
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._ping, daemon=True)
        self._thread.start()

    def _ping(self):
        asyncio.set_event_loop(self.phone.loop)
        while not self._stop.wait(0.02):
            start = time.monotonic()
            try:
                reply = self.phone.request({"t": "ping", "ts": start}, timeout=10)
                assert reply["ts"] == start, reply
                self.round_trips.append(time.monotonic() - start)
            except Exception as e:  # reported by stop()
                self.failures.append(repr(e))
                return

    def stop(self, what):
        """Stops pinging, prints the round trips, returns the failures."""
        self._stop.set()
        self._thread.join(15)
        ms = sorted(1000 * t for t in self.round_trips) or [float("nan")]
        print("\n%s: the paired phone's %d pings took %.2f ms (median), %.2f ms (p99), "
              "%.2f ms (max)" % (what, len(self.round_trips), statistics.median(ms),
                                 ms[int(0.99 * (len(ms) - 1))], ms[-1]), file=sys.stderr)
        self.phone.close()
        return self.failures


class Abuse(AgentTestCase):
    def setUp(self):
        self.agent = self.start_agent(dry_run=False, env={"OLVANE_INPUT_BACKEND": "none"})
        self.served = ServedPhone(self.agent.port)

    def served_throughout(self, what):
        """The paired phone got every answer, and a new connection is served too."""
        self.assertEqual(self.served.stop(what), [])
        self.assertTrue(self.agent.alive())
        again = self.connect_phone(self.agent, paired=False)
        self.assertEqual(again.request({"t": "hello", "token": self.served.token})["t"], "authok")

    async def open_raw(self):
        return await asyncio.open_connection("127.0.0.1", self.agent.port)

    async def upgraded(self):
        """A raw connection after a completed handshake, or None when refused."""
        async def attempt():
            reader, writer = await self.open_raw()
            writer.write(handshake())
            return reader, writer, await reader.readuntil(b"\r\n\r\n")
        try:
            reader, writer, head = await asyncio.wait_for(attempt(), 30)
        except (OSError, asyncio.IncompleteReadError):
            return None
        return (reader, writer) if head.startswith(b"HTTP/1.1 101") else None

    @staticmethod
    async def closed_by_peer(reader, timeout):
        """Whether the agent ends the connection (reading what it still sends) in time."""
        try:
            while await asyncio.wait_for(reader.read(65536), timeout):
                pass
            return True
        except asyncio.TimeoutError:
            return False
        except OSError:
            return True

    def test_a_thousand_connections_at_once(self):
        async def flood():
            results = await asyncio.gather(*[self.upgraded() for _ in range(1000)])
            upgraded = [r for r in results if r]
            # The oldest made room for the newer ones: at most 32 are left waiting.
            ended = await asyncio.gather(*[self.closed_by_peer(r, 1) for r, _ in upgraded])
            for _, writer in upgraded:
                writer.close()
            return len(upgraded), ended.count(False)

        upgraded, waiting = asyncio.run(flood())
        print("\n1,000 connections at once: %d upgraded, %d still waiting at the end"
              % (upgraded, waiting), file=sys.stderr)
        self.assertLessEqual(waiting, 32)
        self.assertIn("WS: 32 connections await authentication; closing the oldest from the "
                      "address that holds most", self.agent.log_lines())
        self.served_throughout("1,000 connections")

    def test_handshakes_that_never_finish_neither_keep_a_phone_out_nor_stay(self):
        async def stall():
            held = [await self.open_raw() for _ in range(32)]
            for i, (_, writer) in enumerate(held):
                # Half send nothing, half trickle a handshake that never ends.
                if i % 2:
                    writer.write(handshake()[:20])
            started = time.monotonic()
            newcomer = await self.upgraded()
            dropped = await asyncio.gather(*[self.closed_by_peer(r, 15) for r, _ in held])
            return newcomer, dropped, time.monotonic() - started

        newcomer, dropped, seconds = asyncio.run(stall())
        self.assertIsNotNone(newcomer)
        self.assertEqual(dropped, [True] * 32)
        print("\n32 stalled handshakes all dropped within %.1f s" % seconds, file=sys.stderr)
        self.served_throughout("stalled handshakes")

    def test_ten_megabyte_messages_close_the_connection(self):
        async def send_big():
            codes = []
            for frame in (b"x" * 10_000_000, '{"t":"ping","ts":"%s"}' % ("x" * 10_000_000)):
                async with websockets.connect("ws://127.0.0.1:%d" % self.agent.port,
                                              max_size=None, ping_interval=None) as ws:
                    try:
                        await ws.send(frame)
                        await asyncio.wait_for(ws.recv(), 10)
                    except websockets.ConnectionClosed as e:
                        codes.append(e.rcvd.code if e.rcvd else None)
            # And as the head of the request, before any handshake.
            reader, writer = await self.open_raw()
            try:
                writer.write(b"GET / HTTP/1.1\r\nX-Big: " + b"y" * 10_000_000)
                await writer.drain()
            except OSError:
                pass
            return codes, await self.closed_by_peer(reader, 15)

        codes, head_dropped = asyncio.run(send_big())
        self.assertEqual(codes, [1009, 1009])
        self.assertTrue(head_dropped)
        self.served_throughout("10 MB messages")

    def test_a_hundred_thousand_wrong_codes_get_five_compared(self):
        wrong = ["%04d" % c for c in range(10000) if c != 4321]

        async def guess(count):
            async with websockets.connect("ws://127.0.0.1:%d" % self.agent.port,
                                          ping_interval=None) as ws:
                codes = [random.choice(wrong) for _ in range(count)]
                sender = asyncio.create_task(self._send_all(ws, [
                    json.dumps({"t": "pair", "code": c}) for c in codes]))
                replies = [json.loads(await asyncio.wait_for(ws.recv(), 30))["t"]
                           for _ in range(count)]
                await sender
                return replies

        async def flood():
            per_connection = await asyncio.gather(*[guess(5000) for _ in range(20)])
            return [r for replies in per_connection for r in replies]

        started = time.monotonic()
        replies = asyncio.run(flood())
        lines = self.agent.log_lines()
        compared = lines.count("Bad pairing code attempt")
        print("\n100,000 wrong codes from 20 connections in %.1f s: %d compared, the rest "
              "refused by the lockout" % (time.monotonic() - started, compared), file=sys.stderr)
        self.assertEqual(set(replies), {"badcode"})
        self.assertEqual(len(replies), 100_000)
        self.assertEqual(compared, 5)
        self.assertEqual(len([l for l in lines if l.startswith("Pairing locked for 30 s")]), 1)
        self.served_throughout("100,000 wrong codes")

    @staticmethod
    async def _send_all(ws, messages):
        for m in messages:
            await ws.send(m)

    def test_random_bytes_after_a_valid_handshake(self):
        async def garble(size):
            connection = await self.upgraded()
            self.assertIsNotNone(connection)
            reader, writer = connection
            writer.write(os.urandom(size))
            # Closed at once when the bytes cannot be a frame; otherwise after the deadline
            # for a first message.
            return await self.closed_by_peer(reader, 15)

        async def garble_all():
            # 30 at once, within the 32 connections that may await authentication.
            return await asyncio.gather(*[garble(size) for size in [1, 2, 7, 64, 1000] * 6])

        outcomes = asyncio.run(garble_all())
        self.assertEqual(outcomes, [True] * len(outcomes))
        # A paired phone that sends garbage is cut off too, and no longer counted.
        garbler = self.connect_phone(self.agent)
        garbler.ws.transport.write(b"\xff" * 16)
        self.assertIsNotNone(garbler.closed())
        self.served_throughout("random bytes")


    def test_a_client_that_never_reads_its_replies_is_cut_off(self):
        def frame(message):
            data, mask = json.dumps(message).encode(), os.urandom(4)
            body = bytes(b ^ mask[i % 4] for i, b in enumerate(data))
            return bytes([0x81, 0x80 | 126]) + len(data).to_bytes(2, "big") + mask + body

        async def never_read():
            reader, writer = await self.open_raw()
            writer.write(handshake())
            await reader.readuntil(b"\r\n\r\n")
            writer.write(frame({"t": "pair", "code": "4321", "pad": "x" * 200}))
            await reader.readuntil(b'"paired"')
            # Pings with a 60 KB "ts": 120 MB of replies that pile up unread.
            ping = frame({"t": "ping", "ts": "x" * 60_000})
            try:
                for _ in range(2000):
                    writer.write(ping)
                    await asyncio.wait_for(writer.drain(), 30)
            except (OSError, asyncio.TimeoutError):
                pass
            return await self.closed_by_peer(reader, 30)

        self.assertTrue(asyncio.run(never_read()))
        self.assertTrue(self.agent.wait_for_log("unread; closing the connection"), self.agent.log())
        self.served_throughout("unread replies")


if __name__ == "__main__":
    unittest.main()

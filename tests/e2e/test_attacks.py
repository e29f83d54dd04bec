# SPDX-License-Identifier: GPL-3.0-or-later
"""Attacks from the network or a browser's page, from the attacker's side, while a paired phone
pings every 20 ms and must get every answer (its round trips are printed, not judged)."""
import asyncio
import base64
import collections
import contextlib
import json
import os
import random
import socket
import struct
import sys
import threading
import time

import websockets
from websockets.frames import OP_PING, OP_TEXT, Frame

from olvane_e2e import AgentTestCase, Phone

MB, LINGER_0 = 1 << 20, struct.pack("ii", 1, 0)


def upgrade(host, origin=None):
    key = base64.b64encode(os.urandom(16)).decode()
    fields = ["GET / HTTP/1.1", "Host: " + host, "Upgrade: websocket", "Connection: Upgrade",
              "Sec-WebSocket-Key: " + key, "Sec-WebSocket-Version: 13"]
    return ("\r\n".join(fields + (["Origin: " + origin] if origin else [])) + "\r\n\r\n").encode()


def proc_number(agent, name, field):
    with open("/proc/%d/%s" % (agent.process.pid, name)) as f:
        return int(next(l for l in f if l.startswith(field + ":")).split()[1])


def sockets_of(agent):
    count, fds = 0, "/proc/%d/fd/" % agent.process.pid
    for fd in os.listdir(fds):
        with contextlib.suppress(FileNotFoundError):  # closed meanwhile
            count += os.readlink(fds + fd).startswith("socket:")
    return count


async def raw_connection(port, sent=None):
    """A connection that sent that many bytes of a handshake, or all of it and was upgraded."""
    reader, writer = await asyncio.open_connection("127.0.0.1", port)
    writer.write(upgrade("127.0.0.1")[:sent])
    if sent is None:
        head = await asyncio.wait_for(reader.readuntil(b"\r\n\r\n"), 30)
        assert head.startswith(b"HTTP/1.1 101"), head
    return reader, writer


async def closed_by_peer(connection, timeout=15):
    """Whether the agent ends the connection in time (what it still sends is read)."""
    reader, writer = connection
    try:
        while await asyncio.wait_for(reader.read(65536), timeout):
            pass
    except asyncio.TimeoutError:
        return False
    except OSError:
        pass
    finally:
        writer.close()
    return True


class Attacks(AgentTestCase):
    def setUp(self):
        # AddressSanitizer would keep what is freed, which is not held.
        self.agent = self.start_agent(env={"ASAN_OPTIONS": os.environ.get("ASAN_OPTIONS", "") +
                                           ":quarantine_size_mb=0"})
        phone = self.connect_phone(self.agent, paired=False)
        self.token = phone.pair("4321")["token"]
        self.round_trips, self.failures, self.done = [], [], threading.Event()
        self.pinging = threading.Thread(target=self.ping, args=(phone,))
        self.pinging.start()

    def ping(self, phone):
        asyncio.set_event_loop(phone.loop)
        while not self.done.wait(0.02):
            start = time.monotonic()
            try:
                assert phone.request({"t": "ping", "ts": start}, timeout=10)["ts"] == start
            except Exception as e:
                return self.failures.append(repr(e))
            self.round_trips.append(1000 * (time.monotonic() - start))

    def tearDown(self):
        self.done.set()
        self.pinging.join(15)
        ms = sorted(self.round_trips) or [0]
        print("\n%d pings of a paired phone, median %.1f ms, max %.1f ms"
              % (len(ms), ms[len(ms) // 2], ms[-1]), file=sys.stderr)
        self.assertEqual(self.failures, [])

    def test_pongs_or_replies_left_unread_cut_the_connection_before_they_cost_memory(self):
        # The WebSocket layer's own pongs, or our replies to pings that carry 60 KB.
        for case, opcode, payload, times in [
                ("pongs", OP_PING, b"x" * 125, 500),
                ("replies", OP_TEXT, b'{"t":"ping","ts":"%s"}' % (b"x" * 60000), 1)]:
            message = Frame(opcode, payload).serialize(mask=True) * times
            before = proc_number(self.agent, "status", "VmRSS")
            attacker = socket.socket()
            # A small window, so that what the agent keeps shows in its memory soon.
            attacker.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
            attacker.connect(("127.0.0.1", self.agent.port))
            attacker.settimeout(30)
            received = b""
            for request, answer in [(upgrade("127.0.0.1"), b"\r\n\r\n"),
                                    (Frame(OP_TEXT, b'{"t":"pair","code":"4321"}')
                                     .serialize(mask=True), b'"paired"')]:
                attacker.sendall(request)
                while answer not in received:
                    received += attacker.recv(4096) or self.fail("closed before pairing")
            sent, started, cut = 0, time.monotonic(), False
            try:
                while sent < 128 * MB and time.monotonic() - started < 60:
                    attacker.sendall(message)
                    sent += len(message)
            except (ConnectionResetError, BrokenPipeError):
                cut = True
            grown = 1024 * (proc_number(self.agent, "status", "VmRSS") - before)
            attacker.close()
            print("\nUnread %s: cut off after %.1f MB sent; the agent grew by %.1f MB"
                  % (case, sent / MB, grown / MB), file=sys.stderr)
            self.assertTrue(cut and sent < 32 * MB and grown < 32 * MB, case)
        self.assertEqual(len([l for l in self.agent.log_lines()
                              if l.endswith("unread; closing the connection")]), 2)

    def test_one_address_churning_connections_keeps_no_phone_of_another_out_and_costs_little(self):
        agent, stop, opened, held = self.agent, threading.Event(), [0], [sockets_of(self.agent)]

        def churn(rate=2400):
            # Connections opened without waiting, at a steady rate, 200 at most held open;
            # closed with a reset, so that no port waits out a TIME_WAIT.
            ours, started = collections.deque(), time.monotonic()
            while not stop.wait(0.005):
                while opened[0] < rate * (time.monotonic() - started):
                    ours.append(socket.socket())
                    ours[-1].setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, LINGER_0)
                    ours[-1].setblocking(False)
                    ours[-1].connect_ex(("127.0.0.1", agent.port))
                    opened[0] += 1
                    if len(ours) > 200:
                        ours.popleft().close()
                held.append(sockets_of(agent))
            for s in ours:
                s.close()

        churning, begun = threading.Thread(target=churn), time.monotonic()
        churning.start()
        try:
            self.assertTrue(agent.wait_for_log("closing the oldest from the address that holds"))
            welcomed = 0
            for _ in range(10):
                phone = Phone(agent.port, local_addr=("127.0.0.2", 0))
                time.sleep(0.05)  # a hello that comes late, as over a slow network
                with contextlib.suppress(websockets.ConnectionClosed):
                    welcomed += phone.request({"t": "hello", "token": self.token})["t"] == "authok"
                phone.close()
        finally:
            stop.set()
            churning.join()
            rate = opened[0] / (time.monotonic() - begun)
        print("\nWhile 127.0.0.1 opened %d connections a second, %d of 10 phones on 127.0.0.2 "
              "got in; the agent held %d sockets at most, %d before"
              % (rate, welcomed, max(held), held[0]), file=sys.stderr)
        self.assertEqual(welcomed, 10)
        self.assertLess(max(held) - held[0], 32 + 20)

    def test_a_hundred_thousand_wrong_codes_get_five_compared_then_even_the_right_one_waits(self):
        async def guess(count):
            async with websockets.connect("ws://127.0.0.1:%d" % self.agent.port,
                                          max_queue=None) as ws:  # reads every reply at once
                for _ in range(count):
                    await ws.send('{"t":"pair","code":"%d"}' % random.randrange(4322, 10000))
                return [json.loads(await ws.recv())["t"] for _ in range(count)]

        async def flood():
            return sum(await asyncio.gather(*[guess(5000) for _ in range(20)]), [])

        self.assertEqual(asyncio.run(asyncio.wait_for(flood(), 120)), ["badcode"] * 100_000)
        lines = self.agent.log_lines()
        self.assertEqual(lines.count("Bad pairing code attempt"), 5)
        self.assertEqual(len([l for l in lines if l.startswith("Pairing locked for 30 s")]), 1)
        # The right code is refused too, with the seconds left for the page to count down.
        reply = self.connect_phone(self.agent, paired=False).pair("4321")
        self.assertTrue(reply["t"] == "badcode" and 0 < reply["lockout"] <= 30, reply)

    def test_stalled_garbled_or_oversized_connections_end_alone_and_forge_no_log_line(self):
        port = self.agent.port

        async def garbled(size):
            reader, writer = await raw_connection(port)
            writer.write(os.urandom(size))
            return reader, writer

        async def attack():
            # Half send nothing, half the start of a handshake that never ends; then a phone
            # comes, gets in, and is dropped too as it never says anything.
            held = [await raw_connection(port, 20 * (i % 2)) for i in range(32)]
            held.append(await raw_connection(port))
            stalled = await asyncio.gather(*[closed_by_peer(c) for c in held])
            # Random bytes after a handshake: closed at once when they cannot be a frame, else
            # at the deadline for a first message.
            return stalled + await asyncio.gather(*[closed_by_peer(await garbled(size))
                                                    for size in [1, 2, 7, 64, 1000] * 6])

        self.assertEqual(asyncio.run(attack()), [True] * 63)
        oversized = self.connect_phone(self.agent)
        with contextlib.suppress(websockets.ConnectionClosed):
            oversized.send(b"x" * 10_000_000)
        self.assertEqual(oversized.closed(), 1009)

        # A paired phone's junk is dropped, unanswered; what it makes up is logged as escapes.
        phone = self.connect_phone(self.agent)
        forged = "2030-01-01T00:00:00.000 olvane-helper[1]: Client paired"
        for junk in ["{", "[" * 30000 + "]" * 30000, {"t": "x\n" + forged + "\x1b[2J"}]:
            phone.send(junk)
        self.assertEqual(phone.request({"t": "ping"})["t"], "pong")
        self.assertTrue(self.agent.wait_for_log("input: x\\n" + forged + "\\u001b[2J"))
        self.assertFalse([l for l in self.agent.log().splitlines() if l.startswith("2030")])

    def test_pages_of_other_sites_and_names_of_other_sites_are_refused(self):
        here, rebound = "127.0.0.1:%d" % self.agent.port, "evil.example:%d" % self.agent.port
        page = b"GET / HTTP/1.1\r\nHost: %s\r\n\r\n"
        for request, status in [
                (upgrade(here, "https://evil.example"), 403), (upgrade(here, "null"), 403),
                # DNS rebinding: the other site's name now leads here, and it is its own origin.
                (upgrade(rebound, "http://" + rebound), 421), (page % rebound.encode(), 421),
                (upgrade(here, "http://" + here), 101),
                (upgrade(rebound), 101)]:  # the app sends no Origin
            with socket.create_connection(("127.0.0.1", self.agent.port), timeout=10) as s:
                s.sendall(request)
                self.assertEqual(int(s.recv(4096).split(b" ")[1]), status, request)
        self.assertIn("origin https://evil.example", self.agent.log())

    def test_made_up_tokens_cost_no_disk_work_and_a_revoked_token_gets_nothing_done(self):
        known = ["B7F0C3A2-0000-4000-8000-%012d" % i for i in range(2000)]
        # A token taken out of the file by hand: nothing more its phone sends is carried out.
        revoked = self.connect_phone(self.agent)
        with open(self.agent.token_file + ".new", "w") as f:  # saved whole, as an editor does
            json.dump({"olvane.tokens": known + [self.token]}, f)
        os.replace(self.agent.token_file + ".new", self.agent.token_file)
        revoked.send({"t": "key", "name": "return"})
        self.assertIsNotNone(revoked.closed())
        self.assertFalse([l for l in self.agent.log_lines() if l.startswith("input: key")])
        # An unpair, from any connection, ends every connection that uses the token.
        other = self.connect_phone(self.agent, paired=False)
        self.assertEqual(other.request({"t": "hello", "token": known[0]})["t"], "authok")
        self.connect_phone(self.agent, paired=False).send({"t": "unpair", "token": known[0]})
        self.assertIsNotNone(other.closed())

        size, stamp = os.path.getsize(self.agent.token_file), os.stat(self.agent.token_file)
        liar = self.connect_phone(self.agent, paired=False)
        read_before = proc_number(self.agent, "io", "rchar")
        for i in range(1000):
            liar.send({"t": "hello", "token": "made-up-%d" % i})
        self.assertEqual({liar.receive()["t"] for _ in range(1000)}, {"needpair"})
        read = proc_number(self.agent, "io", "rchar") - read_before
        print("\n1,000 hellos against 2,000 tokens read %d bytes (the file has %d)"
              % (read, size), file=sys.stderr)
        self.assertLess(read, 10 * size)
        liar.send({"t": "unpair", "token": "nope"})
        self.assertIsNotNone(liar.closed())  # the unpair is done
        self.assertEqual(os.stat(self.agent.token_file).st_mtime_ns, stamp.st_mtime_ns)

"""What an attacker on the network, or a page in the user's browser, can try against the real
agent, each seen from the attacker's side: what the agent then holds, whom it still serves,
what it refuses, what it writes."""
import asyncio
import base64
import collections
import json
import os
import socket
import struct
import sys
import threading
import time
import unittest

import websockets

from olvane_e2e import AgentTestCase, Phone
from olvane_e2e.agent import wait_for

MB = 1 << 20


def upgrade(host, origin=None):
    key = base64.b64encode(os.urandom(16)).decode()
    fields = ["GET / HTTP/1.1", "Host: " + host, "Upgrade: websocket", "Connection: Upgrade",
              "Sec-WebSocket-Key: " + key, "Sec-WebSocket-Version: 13"]
    if origin:
        fields.append("Origin: " + origin)
    return ("\r\n".join(fields) + "\r\n\r\n").encode()


def frame(opcode, payload):
    """A masked client frame of at most 125 bytes."""
    mask = os.urandom(4)
    return (bytes([0x80 | opcode, 0x80 | len(payload)]) + mask +
            bytes(b ^ mask[i % 4] for i, b in enumerate(payload)))


def status_of(port, request):
    with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
        s.sendall(request)
        return int(s.recv(4096).split(b" ")[1])


def proc_number(agent, name, field):
    """A field of /proc/<pid>/<name>: VmRSS in status (kB), rchar in io (bytes)..."""
    with open("/proc/%d/%s" % (agent.process.pid, name)) as f:
        return int(next(l for l in f if l.startswith(field + ":")).split()[1])


class Attacks(AgentTestCase):
    def test_pings_left_unread_cut_the_connection_before_they_cost_memory(self):
        agent = self.start_agent()
        before = proc_number(agent, "status", "VmRSS")
        attacker = socket.socket()
        # A small window, so that what the agent keeps shows in its memory soon.
        attacker.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        attacker.connect(("127.0.0.1", agent.port))
        attacker.settimeout(20)
        attacker.sendall(upgrade("127.0.0.1"))
        # One message ends the deadline for a first message; then pings, never reading.
        attacker.sendall(frame(0x1, b'{"t":"ping"}'))
        pings, sent, cut = frame(0x9, b"x" * 125) * 500, 0, False
        started = time.monotonic()
        try:
            while sent < 128 * MB and time.monotonic() - started < 60:
                attacker.sendall(pings)
                sent += len(pings)
        except (ConnectionResetError, BrokenPipeError):
            cut = True
        grown = 1024 * (proc_number(agent, "status", "VmRSS") - before)
        attacker.close()
        print("\nUnread pongs: cut off after %.1f MB of pings; the agent grew by %.1f MB"
              % (sent / MB, grown / MB), file=sys.stderr)
        self.assertTrue(cut)
        self.assertLess(sent, 32 * MB)
        self.assertLess(grown, 64 * MB)  # the sanitizers keep freed memory a while
        self.assertTrue(agent.wait_for_log("unread; closing the connection"))

    def test_a_phone_on_another_address_gets_in_while_one_address_churns(self):
        agent = self.start_agent()
        token = self.connect_phone(agent, paired=False).pair("4321")["token"]
        stop, opened = threading.Event(), [0]

        def churn(rate=2400):
            # Connections opened without waiting, at a steady rate, 200 at most held open;
            # closed with a reset, so that no port waits out a TIME_WAIT.
            held, started = collections.deque(), time.monotonic()
            while not stop.is_set():
                if opened[0] > rate * (time.monotonic() - started):
                    time.sleep(0.001)
                    continue
                s = socket.socket()
                s.setblocking(False)
                s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                s.connect_ex(("127.0.0.1", agent.port))
                held.append(s)
                opened[0] += 1
                if len(held) > 200:
                    held.popleft().close()
            for s in held:
                s.close()

        churning = threading.Thread(target=churn)
        churning.start()
        try:
            self.assertTrue(agent.wait_for_log("closing the oldest from the address that holds most"))
            welcomed = 0
            for _ in range(10):
                phone = Phone(agent.port, local_addr=("127.0.0.2", 0))
                time.sleep(0.05)  # a hello that comes late, as over a slow network
                try:
                    welcomed += phone.request({"t": "hello", "token": token})["t"] == "authok"
                except websockets.ConnectionClosed:
                    pass
                phone.close()
        finally:
            stop.set()
            churning.join()
        print("\nWhile 127.0.0.1 opened 2,400 connections a second, %d of 10 phones on "
              "127.0.0.2 got in" % welcomed, file=sys.stderr)
        self.assertEqual(welcomed, 10)

    def test_pages_of_other_sites_and_names_of_other_sites_are_refused(self):
        agent = self.start_agent()
        here = "127.0.0.1:%d" % agent.port
        rebound = "evil.example:%d" % agent.port
        cases = [
            (upgrade(here, "https://evil.example"), 403),
            (upgrade(here, "null"), 403),
            # DNS rebinding: the other site's name now leads here, and it is its own origin.
            (upgrade(rebound, "http://" + rebound), 421),
            (b"GET / HTTP/1.1\r\nHost: %s\r\n\r\n" % rebound.encode(), 421),
            (upgrade(here, "http://" + here), 101),
            (upgrade("localhost:%d" % agent.port, "http://localhost:%d" % agent.port), 101),
            (upgrade(rebound), 101),  # the app sends no Origin
            (b"GET / HTTP/1.1\r\nHost: %s\r\n\r\n" % here.encode(), 200),
        ]
        self.assertEqual([status_of(agent.port, r) for r, _ in cases], [s for _, s in cases])
        self.assertIn("origin https://evil.example", agent.log())

    def test_a_revoked_token_ends_the_connections_that_use_it(self):
        agent = self.start_agent()
        first = Phone(agent.port)
        self.addCleanup(first.close)
        token = first.pair("4321")["token"]
        self.connect_phone(agent, paired=False).send({"t": "unpair", "token": token})
        self.assertIsNotNone(first.closed())

        # A token file deleted by hand revokes too: the next command is not carried out.
        second = self.connect_phone(agent)
        os.remove(agent.token_file)
        second.send({"t": "key", "name": "return"})
        self.assertIsNotNone(second.closed())
        self.assertFalse([l for l in agent.log_lines() if l.startswith("input: key")])

    def test_made_up_tokens_neither_read_nor_write_the_token_file(self):
        agent = self.start_agent()
        known = ["B7F0C3A2-0000-4000-8000-%012d" % i for i in range(2000)]
        self.connect_phone(agent)
        with open(agent.token_file, "w") as f:
            json.dump({"olvane.tokens": known}, f)
        size, stamp = os.path.getsize(agent.token_file), os.stat(agent.token_file).st_mtime_ns
        self.assertEqual(self.connect_phone(agent, paired=False).request(
            {"t": "hello", "token": known[-1]})["t"], "authok")

        async def hellos(count):
            async with websockets.connect("ws://127.0.0.1:%d" % agent.port) as ws:
                for i in range(count):
                    await ws.send(json.dumps({"t": "hello", "token": "made-up-%d" % i}))
                return [json.loads(await ws.recv())["t"] for _ in range(count)]

        read_before = proc_number(agent, "io", "rchar")
        self.assertEqual(set(asyncio.run(asyncio.wait_for(hellos(1000), 60))), {"needpair"})
        read = proc_number(agent, "io", "rchar") - read_before
        print("\n1,000 hellos against 2,000 tokens read %d bytes (the file has %d)"
              % (read, size), file=sys.stderr)
        self.assertLess(read, 10 * size)

        for i in range(20):
            self.connect_phone(agent, paired=False).send({"t": "unpair", "token": "nope-%d" % i})
        self.assertEqual(os.stat(agent.token_file).st_mtime_ns, stamp)
        os.remove(agent.token_file)
        unpair = self.connect_phone(agent, paired=False)
        unpair.send({"t": "unpair", "token": "nope"})
        self.assertIsNotNone(unpair.closed())
        self.assertFalse(os.path.exists(agent.token_file))

        # What is written by hand counts at once.
        with open(agent.token_file, "w") as f:
            json.dump({"olvane.tokens": known[:1]}, f)
        hello = self.connect_phone(agent, paired=False)
        self.assertEqual(hello.request({"t": "hello", "token": known[0]})["t"], "authok")
        self.assertEqual(hello.request({"t": "hello", "token": known[1]})["t"], "needpair")

    def test_a_paired_phone_cannot_forge_log_lines(self):
        agent = self.start_agent(dry_run=False, env={"OLVANE_INPUT_BACKEND": "none",
                                                     "OLVANE_LOG_INPUT": "1"})
        phone = self.connect_phone(agent)
        forged = "2030-01-01T00:00:00.000 olvane-helper[1]: Client paired"
        phone.send({"t": "x\n" + forged + "\x1b[2J"})
        self.assertEqual(phone.request({"t": "ping"})["t"], "pong")
        self.assertTrue(agent.wait_for_log("input: x\\n" + forged + "\\u001b[2J"))
        self.assertFalse([l for l in agent.log().splitlines() if l.startswith("2030")])


if __name__ == "__main__":
    unittest.main()

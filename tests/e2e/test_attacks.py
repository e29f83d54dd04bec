"""What an attacker on the network, or a page in the user's browser, can try against the real
agent, each seen from the attacker's side: what the agent then holds, whom it still serves,
what it refuses, what it writes."""
import base64
import collections
import json
import os
import socket
import struct
import sys
import threading
import time

import websockets

from olvane_e2e import AgentTestCase, Phone

MB = 1 << 20


def upgrade(host, origin=None):
    key = base64.b64encode(os.urandom(16)).decode()
    fields = ["GET / HTTP/1.1", "Host: " + host, "Upgrade: websocket", "Connection: Upgrade",
              "Sec-WebSocket-Key: " + key, "Sec-WebSocket-Version: 13"]
    return ("\r\n".join(fields + (["Origin: " + origin] if origin else [])) + "\r\n\r\n").encode()


def frame(opcode, payload):
    """A masked client frame of less than 64 KiB."""
    mask = os.urandom(4)
    size = [len(payload)] if len(payload) < 126 else [126] + list(len(payload).to_bytes(2, "big"))
    return (bytes([0x80 | opcode, 0x80 | size[0]] + size[1:]) + mask +
            bytes(b ^ mask[i % 4] for i, b in enumerate(payload)))


def proc_number(agent, name, field):
    """A field of /proc/<pid>/<name>: VmRSS in status (kB), rchar in io (bytes)..."""
    with open("/proc/%d/%s" % (agent.process.pid, name)) as f:
        return int(next(l for l in f if l.startswith(field + ":")).split()[1])


def sockets_of(agent):
    """How many sockets the agent holds open."""
    folder, count = "/proc/%d/fd" % agent.process.pid, 0
    for name in os.listdir(folder):
        try:
            count += os.readlink(os.path.join(folder, name)).startswith("socket:")
        except FileNotFoundError:
            pass
    return count


class Attacks(AgentTestCase):
    def test_pongs_or_replies_left_unread_cut_the_connection_before_they_cost_memory(self):
        # AddressSanitizer would keep what is freed, which is not held.
        agent = self.start_agent(env={"ASAN_OPTIONS": os.environ.get("ASAN_OPTIONS", "") +
                                      ":quarantine_size_mb=0"})
        # The WebSocket layer's own pongs, or our replies to pings that carry 60 KB.
        for case, message in [("pongs", frame(0x9, b"x" * 125) * 500),
                              ("replies", frame(0x1, b'{"t":"ping","ts":"%s"}' % (b"x" * 60000)))]:
            before = proc_number(agent, "status", "VmRSS")
            attacker = socket.socket()
            # A small window, so that what the agent keeps shows in its memory soon.
            attacker.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
            attacker.connect(("127.0.0.1", agent.port))
            attacker.settimeout(30)
            received = b""
            for request, answer in [(upgrade("127.0.0.1"), b"\r\n\r\n"),
                                    (frame(0x1, b'{"t":"pair","code":"4321"}'), b'"paired"')]:
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
            grown = 1024 * (proc_number(agent, "status", "VmRSS") - before)
            attacker.close()
            print("\nUnread %s: cut off after %.1f MB sent; the agent grew by %.1f MB"
                  % (case, sent / MB, grown / MB), file=sys.stderr)
            self.assertTrue(cut, case)
            self.assertLess(sent, 32 * MB, case)
            self.assertLess(grown, 32 * MB, case)
        self.assertEqual(len([l for l in agent.log_lines()
                              if l.endswith("unread; closing the connection")]), 2)

    def test_one_address_churning_connections_keeps_no_phone_of_another_out_and_costs_little(self):
        agent = self.start_agent()
        token = self.connect_phone(agent, paired=False).pair("4321")["token"]
        stop, held, opened = threading.Event(), [sockets_of(agent)], [0]

        def churn(rate=2400):
            # Connections opened without waiting, at a steady rate, 200 at most held open;
            # closed with a reset, so that no port waits out a TIME_WAIT.
            ours, started = collections.deque(), time.monotonic()
            while not stop.wait(0.005):
                while opened[0] < rate * (time.monotonic() - started):
                    ours.append(socket.socket())
                    ours[-1].setblocking(False)
                    ours[-1].setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                        struct.pack("ii", 1, 0))
                    ours[-1].connect_ex(("127.0.0.1", agent.port))
                    opened[0] += 1
                    if len(ours) > 200:
                        ours.popleft().close()
                held.append(sockets_of(agent))
            for s in ours:
                s.close()
            opened.append(opened[0] / (time.monotonic() - started))

        churning = threading.Thread(target=churn)
        churning.start()
        try:
            self.assertTrue(agent.wait_for_log("closing the oldest from the address that holds"))
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
        print("\nWhile 127.0.0.1 opened %d connections a second, %d of 10 phones on 127.0.0.2 "
              "got in; the agent held %d sockets at most, %d before"
              % (opened[1], welcomed, max(held), held[0]), file=sys.stderr)
        self.assertEqual(welcomed, 10)
        self.assertLess(max(held) - held[0], 32 + 20)

    def test_pages_of_other_sites_and_names_of_other_sites_are_refused(self):
        agent = self.start_agent()
        here, rebound = "127.0.0.1:%d" % agent.port, "evil.example:%d" % agent.port
        page = b"GET / HTTP/1.1\r\nHost: %s\r\n\r\n"
        cases = [
            (upgrade(here, "https://evil.example"), 403),
            (upgrade(here, "null"), 403),
            # DNS rebinding: the other site's name now leads here, and it is its own origin.
            (upgrade(rebound, "http://" + rebound), 421),
            (page % rebound.encode(), 421),
            (upgrade(here, "http://" + here), 101),
            (upgrade("localhost:%d" % agent.port, "http://localhost:%d" % agent.port), 101),
            (upgrade(rebound), 101),  # the app sends no Origin
            (page % here.encode(), 200),
        ]
        for request, status in cases:
            with socket.create_connection(("127.0.0.1", agent.port), timeout=10) as s:
                s.sendall(request)
                self.assertEqual(int(s.recv(4096).split(b" ")[1]), status, request)
        self.assertIn("origin https://evil.example", agent.log())

    def test_made_up_tokens_neither_read_nor_write_the_token_file(self):
        agent = self.start_agent()
        known = ["B7F0C3A2-0000-4000-8000-%012d" % i for i in range(2000)]
        self.connect_phone(agent)
        with open(agent.token_file, "w") as f:
            json.dump({"olvane.tokens": known}, f)
        size, stamp = os.path.getsize(agent.token_file), os.stat(agent.token_file).st_mtime_ns
        hello = self.connect_phone(agent, paired=False)
        # What is written by hand counts at once.
        self.assertEqual(hello.request({"t": "hello", "token": known[-1]})["t"], "authok")

        liar = self.connect_phone(agent, paired=False)
        read_before = proc_number(agent, "io", "rchar")
        for i in range(1000):
            liar.send({"t": "hello", "token": "made-up-%d" % i})
        self.assertEqual({liar.receive()["t"] for _ in range(1000)}, {"needpair"})
        read = proc_number(agent, "io", "rchar") - read_before
        print("\n1,000 hellos against 2,000 tokens read %d bytes (the file has %d)"
              % (read, size), file=sys.stderr)
        self.assertLess(read, 10 * size)
        for i in range(20):
            unpair = self.connect_phone(agent, paired=False)
            unpair.send({"t": "unpair", "token": "nope-%d" % i})
            self.assertIsNotNone(unpair.closed())  # the unpair is done
        self.assertEqual(os.stat(agent.token_file).st_mtime_ns, stamp)

    def test_a_paired_phone_cannot_forge_log_lines(self):
        agent = self.start_agent(dry_run=False, env={"OLVANE_INPUT_BACKEND": "none",
                                                     "OLVANE_LOG_INPUT": "1"})
        phone = self.connect_phone(agent)
        forged = "2030-01-01T00:00:00.000 olvane-helper[1]: Client paired"
        phone.send({"t": "x\n" + forged + "\x1b[2J"})
        self.assertTrue(agent.wait_for_log("input: x\\n" + forged + "\\u001b[2J"))
        self.assertFalse([l for l in agent.log().splitlines() if l.startswith("2030")])


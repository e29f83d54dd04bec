# SPDX-License-Identifier: GPL-3.0-or-later
"""Attacks from the network or a browser's page, from the attacker's side, while a paired phone
pings every 20 ms and must get every answer."""
import asyncio
import base64
import collections
import contextlib
import json
import os
import random
import socket
import struct
import subprocess
import sys
import threading
import time

import websockets
from websockets.frames import OP_PING, OP_TEXT, Frame

from olvane_e2e import AS_NOBODY, E2E_DIR, PYTHON, AgentTestCase, ChildProcess, Phone

MB, LINGER_0 = 1 << 20, struct.pack("ii", 1, 0)
IN_OWN_NETWORK = "OLVANE_TEST_IN_OWN_NETWORK"
# Another user's program that takes a port first, and says which.
SQUAT = ("import socket, time\ns = socket.socket()\ns.bind(('127.0.0.1', 0))\ns.listen()\n"
         "print(s.getsockname()[1], flush=True)\ntime.sleep(600)")


def upgrade(host, origin=None):
    key = base64.b64encode(os.urandom(16)).decode()
    fields = ["GET / HTTP/1.1", "Host: " + host, "Upgrade: websocket", "Connection: Upgrade",
              "Sec-WebSocket-Key: " + key, "Sec-WebSocket-Version: 13"]
    return ("\r\n".join(fields + (["Origin: " + origin] if origin else [])) + "\r\n\r\n").encode()


def huge_file(path):
    with open(path, "wb") as f:
        f.truncate(512 * MB)  # sparse: it takes no room on the disk


def proc_number(agent, name, field):
    with open("/proc/%d/%s" % (agent.process.pid, name)) as f:
        return int(next(l for l in f if l.startswith(field + ":")).split()[1])


def sockets_of(agent):
    count, fds = 0, "/proc/%d/fd/" % agent.process.pid
    for fd in os.listdir(fds):
        with contextlib.suppress(FileNotFoundError):  # closed meanwhile
            count += os.readlink(fds + fd).startswith("socket:")
    return count


@contextlib.contextmanager
def churning(host, port, rate, source=lambda n: None, watch=lambda: None):
    """Connections opened without waiting, at a steady rate, the nth from source(n) when it names
    an address, none saying anything; 200 at most held open, closed with a reset so that no port
    waits out a TIME_WAIT; for a minute at most. Yields how many were opened."""
    stop, opened = threading.Event(), [0]

    def churn():
        held, started = collections.deque(), time.monotonic()
        while not stop.wait(0.005) and time.monotonic() - started < 60:
            while opened[0] < rate * (time.monotonic() - started):
                held.append(socket.socket(socket.AF_INET6 if ":" in host else socket.AF_INET))
                held[-1].setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, LINGER_0)
                held[-1].setblocking(False)
                if source(opened[0]):
                    held[-1].bind((source(opened[0]), 0))
                held[-1].connect_ex((host, port))
                opened[0] += 1
                if len(held) > 200:
                    held.popleft().close()
            watch()
        for s in held:
            s.close()

    thread = threading.Thread(target=churn)
    thread.start()
    try:
        yield opened
    finally:
        stop.set()
        thread.join()


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
        self.failures, self.done = [], threading.Event()
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

    def tearDown(self):
        self.done.set()
        self.pinging.join(15)
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
            self.assertTrue(cut and sent < 32 * MB and grown < 32 * MB, (case, sent, grown))
        self.assertEqual(len([l for l in self.agent.log_lines()
                              if l.endswith("unread; closing the connection")]), 2)

    def test_one_address_churning_connections_keeps_no_phone_of_another_out_and_costs_little(self):
        agent, held = self.agent, [sockets_of(self.agent)]
        watch = lambda: held.append(sockets_of(agent))  # noqa: E731
        with churning("127.0.0.1", agent.port, 2400, watch=watch) as opened:
            self.assertTrue(agent.wait_for_log("closing the oldest from the address that holds"))
            welcomed = 0
            for _ in range(10):
                phone = Phone(agent.port, local_addr=("127.0.0.2", 0))
                time.sleep(0.05)  # a hello that comes late, as over a slow network
                with contextlib.suppress(websockets.ConnectionClosed):
                    welcomed += phone.request({"t": "hello", "token": self.token})["t"] == "authok"
                phone.close()
        self.assertEqual(welcomed, 10, "while %d connections came" % opened[0])
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
        self.assertTrue(self.agent.wait_for_log("WS: message over 65536 bytes from 127.0.0.1"))

        # A paired phone's junk is dropped, unanswered; what it makes up is logged as escapes,
        # text that would show in another order too, and cut short.
        phone = self.connect_phone(self.agent)
        forged = "2030-01-01T00:00:00.000 olvane-helper[1]: Client paired"
        hidden = "\x1b[2J\u202e\u2066\u200b\ufeff\U000e0001"
        for junk in ["{", "[" * 30000 + "]" * 30000, {"t": "x\n" + forged + hidden + "y" * 5000}]:
            phone.send(junk)
        self.assertEqual(phone.request({"t": "ping"})["t"], "pong")
        line = self.agent.wait_for_log("input: x\\n" + forged + "\\u001b[2J\\u202e\\u2066"
                                       "\\u200b\\ufeff\\U000e0001yyy")
        self.assertTrue(line and line.endswith("more characters)") and len(line) < 1100, line)
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
        self.assertLess(proc_number(self.agent, "io", "rchar") - read_before, 10 * size)
        liar.send({"t": "unpair", "token": "nope"})
        self.assertIsNotNone(liar.closed())  # the unpair is done
        self.assertEqual(os.stat(self.agent.token_file).st_mtime_ns, stamp.st_mtime_ns)

    def test_a_flood_of_refused_and_page_requests_grows_the_log_by_little(self):
        far = "x" * 400  # quoted in the refusal's line
        requests = [upgrade(far + ".example", "http://" + far),
                    b"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", b"GET /\r\n\r\n"]
        size, started, sent = os.path.getsize(self.agent.log_path), time.monotonic(), 0
        while time.monotonic() - started < 7 and sent < 64 * MB:  # one connection at a time
            with socket.create_connection(("127.0.0.1", self.agent.port), timeout=10) as s:
                s.sendall(requests[sent % 3])
                s.recv(64)
            sent += 1
        rate = (os.path.getsize(self.agent.log_path) - size) / (time.monotonic() - started)
        self.assertLess(rate, 10 * 1024, "bytes a second, over %d requests" % sent)
        lines = self.agent.log_lines()
        self.assertTrue([l for l in lines if "similar lines suppressed" in l])
        self.assertLess(max(map(len, lines)), 300)

    def test_request_heads_trickled_a_byte_at_a_time_are_read_in_few_pieces(self):
        head = upgrade("127.0.0.1")[:-2] + b"X-Filler: %s\r\n" % (b"y" * 50) * 40 + b"\r\n"
        trickling = [socket.create_connection(("127.0.0.1", self.agent.port)) for _ in range(32)]
        for s in trickling:
            s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)  # a segment a byte
        reads, started = proc_number(self.agent, "io", "syscr"), time.monotonic()
        for i in range(len(head)):
            for s in trickling:
                s.send(head[i:i + 1])
            time.sleep(0.001)  # a byte a millisecond
        for s in trickling:
            s.settimeout(10)
            self.assertEqual(s.recv(12), b"HTTP/1.1 101")
            s.close()
        reads, seconds = proc_number(self.agent, "io", "syscr") - reads, time.monotonic() - started
        # Two pieces at once, then ten reads a second of each at most; and the pinging phone's.
        self.assertLess(reads, 32 * (3 + 12 * seconds) + 200 * seconds)

    def test_a_token_file_swapped_for_a_pipe_or_a_huge_file_is_left_unread_and_tokens_stay(self):
        for make, why in [(os.mkfifo, "not a regular file"),
                          (huge_file, "536870912 bytes, over 1048576")]:
            os.remove(self.agent.token_file)
            make(self.agent.token_file)
            phone = self.connect_phone(self.agent, paired=False)
            self.assertEqual(phone.request({"t": "hello", "token": self.token})["t"], "authok")
            self.assertEqual(phone.pair("4321")["t"], "paired")  # its token kept in memory
            self.assertEqual(self.agent.log_lines().count(
                "Token file %s not read: %s" % (self.agent.token_file, why)), 1)

    def test_an_empty_fixed_code_is_not_used(self):
        agent = self.start_agent(code="")
        self.assertIn("OLVANE_FIXED_CODE is empty, which anyone could pair with; using a random "
                      "code", agent.log_lines())
        phone = self.connect_phone(agent, paired=False)
        self.assertEqual([phone.request(m)["t"] for m in ({"t": "pair"}, {"t": "pair", "code": ""})],
                         ["badcode", "badcode"])

    def test_another_users_program_on_the_port_is_named_and_the_port_taken_back_once_free(self):
        squatter = ChildProcess(AS_NOBODY + [PYTHON, "-c", SQUAT], stdout=subprocess.PIPE)
        squatter.ready = squatter.lines
        port = int(self.started(squatter).lines()[0])
        agent = self.start_agent(env={"OLVANE_WS_PORT": str(port)})
        self.assertIn("Server start failed: The bound address is already in use (port %d, "
                      "held by uid 65534 (nobody)); trying again every second" % port,
                      agent.log_lines())
        squatter.stop()
        self.assertTrue(agent.wait_for_log("WS server on port %d" % port))
        agent.port = port
        self.connect_phone(agent)


class Neighbours(AgentTestCase):
    """Phones and attackers on one network. The test runs again in a network namespace of its
    own, where every address of fd00:1:2:3::/64 and of 127.0.0.0/8 is the loopback's."""

    def test_a_phone_waiting_to_pair_outlasts_churn_from_its_own_64_or_forty_addresses(self):
        if not os.environ.get(IN_OWN_NETWORK):
            run = subprocess.run(["unshare", "-n", PYTHON, "-m", "unittest", self.id()],
                                 cwd=E2E_DIR, env=dict(os.environ, **{IN_OWN_NETWORK: "1"}),
                                 stderr=subprocess.PIPE, text=True, timeout=240)
            sys.stderr.write(run.stderr)
            return self.assertEqual(run.returncode, 0)
        for command in ["link set lo up", "-6 route add local fd00:1:2:3::/64 dev lo",
                        "addr add fd00:9:9:9::c/64 dev lo nodad"]:
            subprocess.run(["ip"] + command.split(), check=True)
        with open("/proc/sys/net/ipv6/ip_nonlocal_bind", "w") as f:
            f.write("1")
        port = self.start_agent().port
        for computer, phone, churners, source in [
                ("fd00:9:9:9::c", "fd00:1:2:3::a", "new addresses of its /64",
                 lambda n: "fd00:1:2:3:%x:%x:%x:%x" % tuple(os.urandom(4))),
                ("127.0.0.1", "127.0.0.2", "40 addresses in turn", lambda n: "127.0.1.%d" % (n % 40))]:
            with churning(computer, port, 250, source) as opened:
                paired = sum(self.waits_and_pairs(computer, port, phone) for _ in range(5))
            self.assertGreaterEqual(paired, 4, "%s, %d connections" % (churners, opened[0]))

    def waits_and_pairs(self, host, port, address):
        """A phone that says hello, waits 1.5 s on the pairing screen, then sends the code."""
        with contextlib.suppress(websockets.WebSocketException, OSError, asyncio.TimeoutError):
            phone = Phone(port, "[%s]" % host if ":" in host else host, local_addr=(address, 0))
            try:
                phone.request({"t": "hello"})
                time.sleep(1.5)  # the user reads the code and types it
                return phone.pair("4321")["t"] == "paired"
            finally:
                phone.close()
        return False

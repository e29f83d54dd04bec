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


def resident_bytes(agent):
    with open("/proc/%d/status" % agent.process.pid) as f:
        return 1024 * int(next(l for l in f if l.startswith("VmRSS:")).split()[1])


def bytes_read(agent):
    with open("/proc/%d/io" % agent.process.pid) as f:
        return int(next(l for l in f if l.startswith("rchar:")).split()[1])


class Attacks(AgentTestCase):
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

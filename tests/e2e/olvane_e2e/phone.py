# SPDX-License-Identifier: GPL-3.0-or-later
import asyncio
import contextlib
import json

import websockets


class Phone:
    """A phone speaking the agent's protocol, blocking, with an event loop of its own."""

    def __init__(self, port, host="127.0.0.1", **options):
        self.loop = asyncio.new_event_loop()

        async def connect():  # inside the loop: the library binds to the loop that runs
            return await websockets.connect(f"ws://{host}:{port}", max_size=None,
                                            ping_interval=None, **options)
        self.ws = self.run(connect())

    def run(self, coroutine, timeout=10.0):
        return self.loop.run_until_complete(asyncio.wait_for(coroutine, timeout))

    def send(self, message):
        """A dict goes as JSON text, bytes as a binary message, str as text unchanged."""
        self.run(self.ws.send(json.dumps(message) if isinstance(message, dict) else message))

    def receive(self, timeout=5.0):
        return json.loads(self.run(self.ws.recv(), timeout))

    def request(self, message, timeout=5.0):
        self.send(message)
        return self.receive(timeout)

    def pair(self, code):
        return self.request({"t": "pair", "code": code})

    def closed(self, timeout=5.0):
        """Waits for the agent to end the connection; returns its close code or None."""
        try:
            while True:
                self.run(self.ws.recv(), timeout)
        except websockets.ConnectionClosed as e:
            return e.code or 1006
        except asyncio.TimeoutError:
            return None

    def close(self):
        with contextlib.suppress(Exception):
            self.run(self.ws.close(), 2)
        self.loop.close()

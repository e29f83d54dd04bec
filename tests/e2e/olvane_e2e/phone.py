"""A phone speaking the agent's protocol through python3-websockets."""
import asyncio
import json

import websockets


class Phone:
    """A blocking client over one WebSocket connection, with its own event loop."""

    def __init__(self, port, host="127.0.0.1", **options):
        self.loop = asyncio.new_event_loop()
        options.setdefault("max_size", None)
        options.setdefault("ping_interval", None)
        async def connect():
            # Created inside the loop: the library binds to the loop that is running.
            return await websockets.connect(f"ws://{host}:{port}", **options)
        self.ws = self.run(connect())

    def run(self, coroutine, timeout=10.0):
        return self.loop.run_until_complete(asyncio.wait_for(coroutine, timeout))

    def send(self, message):
        """A dict goes as JSON text, bytes as a binary message, str as text unchanged."""
        if isinstance(message, dict):
            message = json.dumps(message)
        self.run(self.ws.send(message))

    def send_raw_text_frame(self, payload: bytes):
        """A text frame whose payload is not checked for UTF-8 on our side."""
        self.run(self.ws.write_frame(True, 0x1, payload))

    def receive(self, timeout=5.0):
        message = self.run(self.ws.recv(), timeout)
        return json.loads(message)

    def request(self, message, timeout=5.0):
        self.send(message)
        return self.receive(timeout)

    def pair(self, code):
        return self.request({"t": "pair", "code": code})

    def nothing_received(self, within=0.3):
        try:
            self.run(self.ws.recv(), within)
        except asyncio.TimeoutError:
            return True
        return False

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
        try:
            self.run(self.ws.close(), 2)
        except Exception:
            pass
        self.loop.close()

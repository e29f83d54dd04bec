"""Debian's Chromium on a phone-sized screen, driven by Playwright's core package."""
import json
import os
import select
import subprocess
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
DRIVER = os.path.join(HERE, "..", "web", "driver.js")
NODE_MODULES = os.environ.get("OLVANE_NODE_MODULES",
                              os.path.join(HERE, "..", "web", "node_modules"))


class BrowserError(AssertionError):
    pass


class Browser:
    """A headless Chromium with touch, in a profile of its own, one page open.

    Every call goes to tests/e2e/web/driver.js, which runs it with Playwright and answers
    once it is done, so a test is never ahead of the page."""

    def __init__(self, width=390, height=844, scale=2):
        self.viewport = {"width": width, "height": height, "scale": scale}
        self.process = None
        self._profile = None

    def start(self):
        self._profile = tempfile.TemporaryDirectory(prefix="olvane-chromium-")
        # The browser's home is the profile's folder: nothing of the user's is read or written.
        env = dict(os.environ, NODE_PATH=NODE_MODULES, PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD="1",
                   HOME=self._profile.name, XDG_CONFIG_HOME=self._profile.name,
                   XDG_CACHE_HOME=self._profile.name)
        self.process = subprocess.Popen(["node", DRIVER], env=env, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, text=True)
        self.call("launch", userDataDir=os.path.join(self._profile.name, "profile"),
                  **self.viewport)
        return self

    def call(self, op, timeout=60, **args):
        self.process.stdin.write(json.dumps(dict(args, op=op)) + "\n")
        self.process.stdin.flush()
        deadline = time.monotonic() + timeout
        while not select.select([self.process.stdout], [], [], 0.1)[0]:
            if time.monotonic() > deadline or self.process.poll() is not None:
                raise BrowserError("no answer from the browser to %s" % op)
        answer = json.loads(self.process.stdout.readline())
        if not answer["ok"]:
            raise BrowserError("%s failed: %s" % (op, answer["error"]))
        return answer["value"]

    def touches(self, *events):
        """events: (kind, points, pause_ms); kind touchStart, touchMove or touchEnd, points
        [(x, y)] in CSS pixels. Paced by the driver, not by round trips."""
        self.call("touches", events=[{"type": kind, "points": points, "pause": pause}
                                     for kind, points, pause in events])

    def evaluate(self, expression):
        return self.call("evaluate", expression=expression)

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.stdin.close()
            try:
                self.process.wait(20)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        if self.process:
            self.process.stdout.close()
        if self._profile:
            self._profile.cleanup()

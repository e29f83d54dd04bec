# SPDX-License-Identifier: GPL-3.0-or-later
"""Debian's Chromium on a phone-sized touch screen, driven by Playwright's core package."""
import json
import os
import subprocess

from .process import ChildProcess, wait_for

WEB = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "web")
NODE_MODULES = os.environ.get("OLVANE_NODE_MODULES", os.path.join(WEB, "node_modules"))


class Browser(ChildProcess):
    """A headless Chromium with one page open. Every call runs in tests/e2e/web/driver.js,
    which answers once it is done, so a test is never ahead of the page."""

    stop_timeout = 20

    def __init__(self, home, width=390, height=844):
        self.home, self.viewport = home, {"width": width, "height": height}

    def start(self):
        # The browser's home is a folder of its own: nothing of the user's is read or written.
        env = dict(os.environ, NODE_PATH=NODE_MODULES, HOME=self.home,
                   XDG_CONFIG_HOME=self.home, XDG_CACHE_HOME=self.home)
        self.spawn(["node", os.path.join(WEB, "driver.js")], env=env, stdin=subprocess.PIPE,
                   stdout=subprocess.PIPE, stderr=None)
        self.call("launch", profile=os.path.join(self.home, "profile"), viewport=self.viewport)
        return self

    def call(self, op, **args):
        self.clear()
        self.process.stdin.write(json.dumps(dict(args, op=op)).encode() + b"\n")
        self.process.stdin.flush()
        wait_for(lambda: self.lines() or self.process.poll() is not None, 60)
        answer = json.loads((self.lines() or ['{"error": "no answer"}'])[0])
        if "error" in answer:
            raise AssertionError("%s failed: %s" % (op, answer["error"]))
        return answer.get("value")

    def page(self, method, *args):
        return self.call("page", method=method, args=args)

    def on(self, selector, method, *args):
        return self.call("locator", selector=selector, method=method, args=args)

    def touches(self, *events):
        """events: (touchStart, touchMove or touchEnd, [(x, y)] in CSS pixels, pause in ms)."""
        self.call("touches", events=events)

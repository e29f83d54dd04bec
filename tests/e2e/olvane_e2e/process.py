# SPDX-License-Identifier: GPL-3.0-or-later
"""How every fixture is started, watched and ended: as one child process."""
import json
import os
import subprocess
import threading
import time

PYTHON = "/usr/bin/python3"  # Debian's, with the modules of the packages lists
E2E_DIR = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def our_module(name, *args):  # to run from E2E_DIR
    return [PYTHON, "-m", "olvane_e2e." + name, *args]


def wait_for(condition, timeout=10.0, interval=0.01):
    """Polls until condition() is truthy; returns its value, or the last one after the timeout."""
    deadline = time.monotonic() + timeout
    while not (value := condition()) and time.monotonic() < deadline:
        time.sleep(interval)
    return value


class ChildProcess:
    """A fixture run as self.process. With stdout=PIPE, the lines it prints are kept."""

    process = None

    def __init__(self, command=None, ready=None, **popen):
        self.command, self.ready, self.popen = command, ready, popen

    def start(self):
        return self.spawn(self.command, self.ready, **self.popen)

    def spawn(self, command, ready=None, timeout=10, **popen):
        """Starts command and waits until ready() holds (or a line has ready's text)."""
        self._lines = []  # appended by one thread, copied by another: atomic under the GIL
        popen = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL, **popen}
        self.process = subprocess.Popen(command, **popen)
        self._reader = threading.Thread(target=self._read, daemon=True)
        if popen["stdout"] == subprocess.PIPE:
            self._reader.start()
        if isinstance(ready, str):
            ready = lambda text=ready: any(text in line for line in self.lines())  # noqa: E731
        if ready and not (wait_for(lambda: ready() or self.process.poll() is not None, timeout)
                          and ready()):
            self.stop()
            raise RuntimeError("%s did not come up" % " ".join(command))
        return self

    def _read(self):
        # Bytes: a carriage return typed into a window must not end a line.
        for line in self.process.stdout:
            self._lines.append(line.decode("utf-8", "replace").rstrip("\n"))

    def lines(self):
        return list(self._lines)

    def clear(self):
        self._lines.clear()

    def events(self, name):
        return [l[len(name) + 1:] for l in self.lines() if l.split(" ", 1)[0] == name]

    def wait_for_events(self, name, count, timeout=10):
        return wait_for(lambda: len(self.events(name)) >= count, timeout)

    def calls(self):
        """What a stand-in of ours printed: a JSON value per call it received."""
        return [json.loads(l) for l in self.lines() if l != "ready"]

    def wait_for_text(self, expected, timeout=60):
        """self.text() once it is the expected text, or can no longer become it."""
        wait_for(lambda: not expected.startswith(self.text()) or self.text() == expected, timeout)
        return self.text()

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        for stream in (self.process.stdin, self.process.stdout) if self.process else ():
            if stream:
                stream.close()

    def kill(self):
        """Clients see their connection break mid-stream; lines() are then all it printed."""
        self.process.kill()
        self.process.wait(5)
        if self._reader.is_alive():
            self._reader.join(5)

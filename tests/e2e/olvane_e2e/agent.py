"""The olvane-helper process under test, in a folder and environment of its own."""
import os
import re
import signal
import subprocess
import tempfile
import time

BINARY = os.environ.get("OLVANE_BINARY", "olvane-helper")


def wait_for(condition, timeout=10.0, interval=0.01):
    """Polls until condition() is truthy; returns its value or None after the timeout."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(interval)


class Agent:
    """Starts olvane-helper with its own config folder and no buses unless given."""

    def __init__(self, workdir=None, code="4321", dry_run=True, env=None, netns=None,
                 prefix=(), args=()):
        self._tmp = None
        if workdir is None:
            self._tmp = tempfile.TemporaryDirectory(prefix="olvane-e2e-")
            workdir = self._tmp.name
        self.workdir = workdir
        self.code = code
        self.dry_run = dry_run
        self.extra_env = env or {}
        self.netns = netns
        # A command the agent runs under (setpriv, unshare...), ending in the agent's exec.
        self.prefix = list(prefix)
        self.args = list(args)
        self.process = None
        self.port = None
        self.log_path = os.path.join(workdir, "agent.log")
        self._log_offset = 0

    @property
    def token_file(self):
        return os.path.join(self.workdir, "config", "olvane", "tokens.json")

    def environment(self):
        runtime = os.path.join(self.workdir, "xdg")
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "HOME": self.workdir,
            "XDG_CONFIG_HOME": os.path.join(self.workdir, "config"),
            "XDG_RUNTIME_DIR": runtime,
            "DBUS_SESSION_BUS_ADDRESS": "disabled:",
            "DBUS_SYSTEM_BUS_ADDRESS": "disabled:",
            "QT_QPA_PLATFORM": "offscreen",
            "OLVANE_WS_PORT": "0",
            "LANG": "C.UTF-8",
        }
        for key in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"):
            if key in os.environ:
                env[key] = os.environ[key]
        if self.code is not None:
            env["OLVANE_FIXED_CODE"] = self.code
        if self.dry_run:
            env["OLVANE_DRY_RUN"] = ""
        env.update(self.extra_env)
        return {k: v for k, v in env.items() if v is not None}

    def start(self, wait_line="Olvane started."):
        # Log offsets restart with each process: a restarted agent appends to the same file.
        log = open(self.log_path, "ab")
        self._log_offset = log.tell()
        command = self.prefix + [BINARY] + self.args
        if self.netns:
            command = ["ip", "netns", "exec", self.netns] + command
        self.process = subprocess.Popen(command, env=self.environment(), stdout=log,
                                        stderr=subprocess.STDOUT, cwd=self.workdir)
        log.close()
        line = self.wait_for_log(wait_line)
        if not line:
            raise AssertionError("agent did not start:\n" + self.log())
        match = wait_for(lambda: re.search(r"WS server on port (\d+)", self.log()), timeout=2)
        self.port = int(match.group(1)) if match else None
        return self

    def log(self):
        with open(self.log_path, "rb") as f:
            f.seek(self._log_offset)
            return f.read().decode("utf-8", "replace")

    def log_lines(self):
        """The messages of this run, without timestamp and process prefix."""
        return [re.sub(r"^\S+ olvane-helper\[\d+\]: ", "", l) for l in self.log().splitlines()]

    def wait_for_log(self, text, timeout=10.0):
        return wait_for(lambda: next((l for l in self.log_lines() if text in l), None), timeout)

    def stop(self, timeout=10.0):
        """SIGTERM, then the exit status (0 means a clean exit, sanitizers included)."""
        if self.process is None or self.process.poll() is not None:
            return self.process.returncode if self.process else None
        self.process.send_signal(signal.SIGTERM)
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            raise AssertionError("agent ignored SIGTERM:\n" + self.log())

    def stop_cleanly(self):
        """Stops the agent and fails with its log unless it exited with status 0."""
        status = self.stop()
        if status != 0:
            raise AssertionError("agent exited with %s:\n%s" % (status, self.log()))

    def kill(self):
        self.process.send_signal(signal.SIGKILL)
        self.process.wait()

    def alive(self):
        return self.process is not None and self.process.poll() is None

    def cleanup(self):
        if self.alive():
            self.process.kill()
            self.process.wait()
        if self._tmp:
            self._tmp.cleanup()

# SPDX-License-Identifier: GPL-3.0-or-later
import os
import re
import subprocess
import tempfile

from .process import ChildProcess, wait_for

BINARY = os.environ.get("OLVANE_BINARY", "olvane-helper")


class Agent(ChildProcess):
    """olvane-helper with no buses unless given; copies in one workdir are one user's."""

    def __init__(self, workdir, code="4321", dry_run=True, env=None, prefix=(), args=()):
        self.workdir, self.code, self.dry_run, self.extra_env = workdir, code, dry_run, env or {}
        # A command the agent runs under (setpriv, unshare, ip netns exec...).
        self.prefix, self.args, self.port, self._log_offset = list(prefix), list(args), None, 0
        handle, self.log_path = tempfile.mkstemp(prefix="agent-", suffix=".log", dir=workdir)
        os.close(handle)

    @property
    def token_file(self):
        return os.path.join(self.workdir, "config", "olvane", "tokens.json")

    def environment(self):
        runtime = os.path.join(self.workdir, "xdg")
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": self.workdir,
               "XDG_CONFIG_HOME": os.path.join(self.workdir, "config"),
               "XDG_RUNTIME_DIR": runtime, "DBUS_SESSION_BUS_ADDRESS": "disabled:",
               "DBUS_SYSTEM_BUS_ADDRESS": "disabled:", "QT_QPA_PLATFORM": "offscreen",
               "OLVANE_WS_PORT": "0", "LANG": "C.UTF-8", "OLVANE_FIXED_CODE": self.code,
               "OLVANE_DRY_RUN": "" if self.dry_run else None,
               **{k: v for k, v in os.environ.items() if k.endswith("SAN_OPTIONS")},
               **self.extra_env}
        return {k: v for k, v in env.items() if v is not None}

    def start(self, wait_line="Olvane started."):
        """Starts the agent and waits for the line; a restarted agent appends to its log."""
        with open(self.log_path, "ab") as log:
            self._log_offset = log.tell()
            try:
                self.spawn(self.prefix + [BINARY] + self.args, lambda: self.wait_for_log(wait_line, 0),
                           env=self.environment(), stdout=log, stderr=subprocess.STDOUT,
                           cwd=self.workdir)
            except RuntimeError:
                raise AssertionError("agent did not start:\n" + self.log())
        match = re.search(r"WS server on port (\d+)", self.log())
        self.port = int(match.group(1)) if match else None
        return self

    def log(self):
        with open(self.log_path, "rb") as f:
            f.seek(self._log_offset)
            return f.read().decode("utf-8", "replace")

    def log_lines(self):
        return [re.sub(r"^\S+ olvane-helper\[\d+\]: ((error|warning): )?", "", l)
                for l in self.log().splitlines()]

    def wait_for_log(self, text, timeout=10.0):
        return wait_for(lambda: next((l for l in self.log_lines() if text in l), None), timeout)

    def stop_cleanly(self):
        """SIGTERM; fails with the log unless the agent exits with status 0 (sanitizers too)."""
        self.process.terminate()
        try:
            status = self.process.wait(10)
        except subprocess.TimeoutExpired:
            status = "no exit on SIGTERM"
        if status != 0:
            raise AssertionError("agent exited with %s:\n%s" % (status, self.log()))

    def alive(self):
        return self.process is not None and self.process.poll() is None

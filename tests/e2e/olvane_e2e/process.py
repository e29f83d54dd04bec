"""What the fixtures that are one child process share: how they end."""
import subprocess


class ChildProcess:
    """A fixture run as self.process; stop() ends it with SIGTERM, kill() the hard way."""

    process = None
    stop_timeout = 5

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(self.stop_timeout)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()

    def kill(self):
        """Clients see their connection break mid-stream."""
        self.process.kill()
        self.process.wait(5)

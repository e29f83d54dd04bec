import os
import subprocess
import sys
import unittest

from olvane_e2e import Agent, Phone
from olvane_e2e.agent import wait_for
from olvane_e2e.desktop import focus_and_type, visible_windows
from olvane_e2e.xvfb import Xvfb

SECOND_COPY = "Instance déjà active, on la met en avant et on quitte"
# Run by another user in the shared temporary folder: takes the name of the user's runtime
# folder there, and holds a lock and a socket where a copy without one would look; prints
# what the socket hears.
PLANT = """import os, socket, sys
shared = sys.argv[1]
os.mkdir(os.path.join(shared, "runtime-root"), 0o777)
with open(os.path.join(shared, "olvane-helper.lock"), "w") as f:
    f.write("%d\\n%s\\n\\n\\n\\n" % (os.getpid(), os.path.basename(os.readlink("/proc/self/exe"))))
server = socket.socket(socket.AF_UNIX)
server.bind(os.path.join(shared, "olvane-helper.socket"))
server.listen()
print("ready", flush=True)
while True:
    print(server.accept()[0].recv(64), flush=True)
"""


class SingleInstance(unittest.TestCase):
    """Copies of the real binary started for one user (one runtime folder)."""

    def setUp(self):
        self.agents = []

    def tearDown(self):
        try:
            for agent in self.agents:
                if agent.alive():
                    agent.stop_cleanly()
        finally:
            for agent in self.agents:
                agent.cleanup()

    def agent(self, workdir=None, **options):
        agent = Agent(workdir=workdir, **options)
        if workdir:
            # Each copy keeps its own log; the folder, and so the runtime folder, is shared.
            agent.log_path = os.path.join(workdir, "agent-%d.log" % len(self.agents))
        self.agents.append(agent)
        return agent

    def second_copy(self, first):
        """Starts another copy for the same user, in the same setting, and waits for its end."""
        env = first.environment()
        out = subprocess.run([os.environ.get("OLVANE_BINARY", "olvane-helper")], env=env,
                             cwd=first.workdir, capture_output=True, text=True, timeout=30)
        return out.returncode, out.stderr

    def test_a_second_copy_hands_over_to_the_first_and_exits_without_serving(self):
        first = self.agent().start()
        status, log = self.second_copy(first)
        self.assertEqual(status, 0, log)
        self.assertIn(SECOND_COPY, log)
        self.assertNotIn("Olvane started.", log)
        self.assertNotIn("WS server on port", log)
        phone = Phone(first.port)
        try:
            self.assertEqual(phone.pair("4321")["t"], "paired")
        finally:
            phone.close()

    def test_a_second_copy_brings_back_the_first_copys_closed_window(self):
        xvfb = Xvfb().start()
        self.addCleanup(xvfb.stop)
        display = {"DISPLAY": xvfb.display, "QT_QPA_PLATFORM": None}
        first = self.agent(dry_run=False, env=display).start()
        window = wait_for(lambda: visible_windows(xvfb, "Olvane"), 10)
        self.assertTrue(window)
        focus_and_type(xvfb, window[0], "ctrl+w")
        self.assertTrue(wait_for(lambda: not visible_windows(xvfb, "Olvane"), 10))

        status, log = self.second_copy(first)
        self.assertEqual(status, 0, log)
        self.assertIn(SECOND_COPY, log)
        self.assertTrue(wait_for(lambda: visible_windows(xvfb, "Olvane"), 10))
        # Only the first copy's window: the second drew nothing of its own.
        self.assertEqual(len(visible_windows(xvfb)), 1)

    def test_a_copy_that_crashed_leaves_nothing_that_stops_the_next_one(self):
        crashed = self.agent().start()
        crashed.kill()
        runtime = os.path.join(crashed.workdir, "xdg")
        self.assertTrue(os.path.exists(os.path.join(runtime, "olvane-helper.socket")))
        self.assertTrue(os.path.exists(os.path.join(runtime, "olvane-helper.lock")))

        next_one = self.agent(workdir=crashed.workdir).start()
        self.assertIsNotNone(next_one.port)
        status, log = self.second_copy(next_one)
        self.assertEqual(status, 0, log)
        self.assertIn(SECOND_COPY, log)
        self.assertTrue(next_one.alive())

    def test_a_lock_and_socket_another_user_planted_in_the_shared_temp_folder_are_ignored(self):
        first = self.agent(env={"XDG_RUNTIME_DIR": None})
        shared = os.path.join(first.workdir, "tmp")
        os.mkdir(shared)
        os.chmod(shared, 0o1777)
        os.chmod(first.workdir, 0o755)
        first.extra_env["TMPDIR"] = shared
        planter = subprocess.Popen(["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                    sys.executable, "-c", PLANT, shared],
                                   stdout=subprocess.PIPE, text=True)
        self.addCleanup(planter.stdout.close)
        self.addCleanup(planter.wait)
        self.addCleanup(planter.kill)
        self.assertEqual(planter.stdout.readline(), "ready\n")

        first.start()
        self.assertIsNotNone(first.port)
        status, log = self.second_copy(first)
        self.assertEqual(status, 0, log)
        self.assertIn(SECOND_COPY, log)
        self.assertTrue(first.alive())
        planter.kill()
        self.assertEqual(planter.stdout.read(), "")


if __name__ == "__main__":
    unittest.main()

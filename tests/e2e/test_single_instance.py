import os
import subprocess

from olvane_e2e import AgentTestCase, wait_for
from olvane_e2e.desktop import focus_and_type, visible_windows
from olvane_e2e.process import PYTHON, ChildProcess
from olvane_e2e.sway import AS_NOBODY
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


class SingleInstance(AgentTestCase):
    """Copies of the real binary started for one user (one runtime folder)."""

    def second_copy(self, first):
        """Another copy for the same user, in the same setting: it hands over and exits, without
        serving, and the first runs on."""
        second = self.make_agent(workdir=first.workdir, dry_run=first.dry_run, env=first.extra_env)
        second.start(wait_line=SECOND_COPY)
        self.assertEqual(second.process.wait(30), 0, second.log())
        self.assertNotIn("WS server on port", second.log())
        self.assertTrue(first.alive())

    def test_a_second_copy_brings_back_the_first_copys_closed_window_and_exits(self):
        xvfb = self.started(Xvfb())
        first = self.start_agent(dry_run=False, env={"DISPLAY": xvfb.display,
                                                     "QT_QPA_PLATFORM": None})
        window = wait_for(lambda: visible_windows(xvfb, "Olvane"))
        self.assertTrue(window)
        focus_and_type(xvfb, window[0], "ctrl+w")
        self.assertTrue(wait_for(lambda: not visible_windows(xvfb, "Olvane")))
        self.second_copy(first)
        self.assertTrue(wait_for(lambda: visible_windows(xvfb, "Olvane")))
        # Only the first copy's window: the second drew nothing of its own.
        self.assertEqual(len(visible_windows(xvfb)), 1)
        self.connect_phone(first)

    def test_a_copy_that_crashed_leaves_nothing_that_stops_the_next_one(self):
        crashed = self.make_agent().start()
        crashed.kill()
        runtime = os.path.join(crashed.workdir, "xdg")
        self.assertTrue(os.path.exists(os.path.join(runtime, "olvane-helper.socket")))
        self.assertTrue(os.path.exists(os.path.join(runtime, "olvane-helper.lock")))
        self.second_copy(self.launch(self.make_agent(workdir=crashed.workdir)))

    def test_a_lock_and_socket_another_user_planted_in_the_shared_temp_folder_are_ignored(self):
        first = self.make_agent(env={"XDG_RUNTIME_DIR": None})
        shared = os.path.join(first.workdir, "tmp")
        os.mkdir(shared)
        os.chmod(shared, 0o1777)
        os.chmod(first.workdir, 0o755)
        first.extra_env["TMPDIR"] = shared
        planter = self.started(ChildProcess(AS_NOBODY + [PYTHON, "-c", PLANT, shared], "ready",
                                            stdout=subprocess.PIPE))
        self.launch(first)
        self.second_copy(first)
        planter.kill()
        self.assertEqual(planter.lines(), [])


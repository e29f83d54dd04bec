import os
import re
import socket
import subprocess
import tempfile
import unittest

from olvane_e2e import Agent, AgentTestCase, Phone
from olvane_e2e.agent import BINARY

LOG_PREFIX = re.compile(r"^\S+ olvane-helper\[\d+\]: ")


def project_version():
    with open(os.path.join(os.path.dirname(__file__), "../../CMakeLists.txt")) as f:
        text = f.read()
    return "%s (%s)" % (re.search(r"project\(OlvaneHelper VERSION (\S+)", text).group(1),
                        re.search(r"OLVANE_BUILD_NUMBER (\d+)", text).group(1))


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class CommandLine(AgentTestCase):
    def run_binary(self, *args):
        """Runs the binary where a display is named but cannot be opened: Qt would abort."""
        with tempfile.TemporaryDirectory(prefix="olvane-cli-") as workdir:
            env = Agent(workdir=workdir).environment()
            env.pop("QT_QPA_PLATFORM")
            env["DISPLAY"] = ":97"
            return subprocess.run([BINARY, *args], env=env, capture_output=True, text=True,
                                  timeout=30)

    def test_help_and_version_answer_without_a_display(self):
        for flag in ("--help", "-h"):
            out = self.run_binary(flag)
            self.assertEqual((out.returncode, out.stderr), (0, ""))
            self.assertTrue(out.stdout.startswith("Usage: olvane-helper [options]\n"))
            for option in ("--port <port>", "--name <name>", "--input-backend <backend>",
                           "--code <code>", "--dry-run", "--log-input", "[OLVANE_WS_PORT]"):
                self.assertIn(option, out.stdout)
        out = self.run_binary("--version")
        self.assertEqual((out.returncode, out.stdout, out.stderr),
                         (0, "olvane-helper %s\n" % project_version(), ""))

    def test_a_bad_option_or_value_exits_2_with_the_usage_and_starts_nothing(self):
        cases = [(["--frobnicate"], "Unknown option 'frobnicate'."),
                 (["--port", "70000"], "Bad port '70000': give 0 to 65535."),
                 (["--port=-1"], "Bad port '-1'"),
                 (["-p", "80a"], "Bad port '80a'"),
                 (["--port"], "Missing value after '--port'."),
                 (["--input-backend", "mouse"], "Unknown input backend 'mouse'"),
                 (["extra"], "Unexpected argument 'extra'.")]
        for args, error in cases:
            with self.subTest(args=args):
                out = self.run_binary(*args)
                self.assertEqual((out.returncode, out.stdout), (2, ""))
                first, rest = out.stderr.split("\n", 1)
                self.assertTrue(first.startswith("olvane-helper: " + error), first)
                self.assertIn("Usage: olvane-helper [options]", rest)
                self.assertFalse([l for l in out.stderr.splitlines() if LOG_PREFIX.match(l)])

    def test_each_option_overrides_its_variable(self):
        port = free_port()
        agent = self.launch(self.make_agent(
            code="1111", dry_run=False,
            env={"OLVANE_NAME": "Variable", "OLVANE_INPUT_BACKEND": "x11"},
            args=["--port", str(port), "--name", "Option", "--code", "2222",
                  "--input-backend", "NONE", "--log-input"]))
        self.assertEqual(agent.port, port)
        self.assertTrue(agent.wait_for_log("Input backend: none (asked for)"))
        phone = Phone(port)
        self.addCleanup(phone.close)
        reply = phone.pair("2222")
        self.assertEqual((reply["t"], reply["name"]), ("paired", "Option"))
        phone.request({"t": "ping"})
        self.assertTrue(agent.wait_for_log("input: ping"))

        # The flags count with their variables absent; a dry run logs each command whole.
        dry = self.launch(self.make_agent(dry_run=False, args=["--dry-run"]))
        phone = self.connect_phone(dry)
        phone.send({"t": "click"})
        self.assertTrue(dry.wait_for_log('input: click {"t":"click"}'))

    def test_under_the_journal_lines_are_left_unstamped(self):
        agent = self.make_agent()
        open(agent.log_path, "ab").close()
        status = os.stat(agent.log_path)
        agent.extra_env["JOURNAL_STREAM"] = "%d:%d" % (status.st_dev, status.st_ino)
        self.launch(agent)
        lines = agent.log().splitlines()
        self.assertTrue([l for l in lines if l.startswith("Olvane started.")], lines)
        self.assertFalse([l for l in lines if LOG_PREFIX.match(l)], lines)


if __name__ == "__main__":
    unittest.main()

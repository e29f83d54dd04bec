# SPDX-License-Identifier: GPL-3.0-or-later
import os
import re
import socket
import subprocess
import unittest

from olvane_e2e import Agent, AgentTestCase, Phone
from olvane_e2e.agent import BINARY

LOG_PREFIX = re.compile(r"^\S+ olvane-helper\[\d+\]: ", re.M)


class CommandLine(AgentTestCase):
    def run_binary(self, *args):
        """Runs the binary where a display is named but cannot be opened: Qt would abort."""
        env = dict(Agent(workdir=self.folder()).environment(), DISPLAY=":97")
        env.pop("QT_QPA_PLATFORM")
        return subprocess.run([BINARY, *args], env=env, capture_output=True, text=True,
                              timeout=30)

    def test_help_and_version_answer_without_a_display(self):
        for flag in ("--help", "-h"):
            out = self.run_binary(flag)
            self.assertEqual((out.returncode, out.stderr), (0, ""))
            self.assertTrue(out.stdout.startswith("Usage: olvane-helper [options]\n"))
            for option in ("--port <port>", "--name <name>", "--input-backend <backend>",
                           "--code <code>", "--dry-run", "--log-input", "--hidden",
                           "[OLVANE_WS_PORT]"):
                self.assertIn(option, out.stdout)
        with open(os.path.join(os.path.dirname(__file__), "../../CMakeLists.txt")) as f:
            version = re.search(r"Helper VERSION (\S+).*BUILD_NUMBER (\d+)", f.read(), re.S)
        out = self.run_binary("--version")
        self.assertEqual((out.returncode, out.stdout, out.stderr),
                         (0, "olvane-helper %s (%s)\n" % version.groups(), ""))

    def test_a_bad_option_or_value_exits_2_with_one_line_and_where_help_is(self):
        for args, error in [(["--frobnicate"], "Unknown option 'frobnicate'."),
                            (["--port", "70000"], "Bad port '70000': give 0 to 65535."),
                            (["-p", "80a"], "Bad port '80a'"),
                            (["--port"], "Missing value after '--port'."),
                            (["--input-backend", "mouse"], "Unknown input backend 'mouse'"),
                            (["--code", ""], "Empty pairing code."),
                            (["extra"], "Unexpected argument 'extra'.")]:
            with self.subTest(args=args):
                out = self.run_binary(*args)
                self.assertEqual((out.returncode, out.stdout), (2, ""))
                self.assertRegex(out.stderr, "^olvane-helper: %s[^\n]*\nTry 'olvane-helper "
                                 "--help' for more information.\n$" % re.escape(error))

    def test_each_option_overrides_its_variable(self):
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            port = s.getsockname()[1]
        agent = self.launch(self.make_agent(
            code="1111", dry_run=False,
            env={"OLVANE_NAME": "Variable", "OLVANE_INPUT_BACKEND": "x11"},
            args=["--port", str(port), "--name", "Option", "--code", "2222",
                  "--input-backend", "NONE", "--log-input"]))
        self.assertEqual(agent.port, port)
        self.assertTrue(agent.wait_for_log("Input backend: none (asked for)"))
        phone = Phone(port)
        self.addCleanup(phone.close)
        self.assertEqual(phone.pair("2222")["name"], "Option")
        phone.request({"t": "ping"})
        self.assertTrue(agent.wait_for_log("input: ping"))

        # The flags count with their variables absent; a dry run logs each command whole.
        dry = self.launch(self.make_agent(dry_run=False, args=["--dry-run"]))
        self.connect_phone(dry).send({"t": "click"})
        self.assertTrue(dry.wait_for_log('input: click {"t":"click"}'))

    def test_under_the_journal_lines_carry_their_priority_and_rules_silence_a_category(self):
        with socket.socket() as taken:  # the server's start fails: an error
            taken.bind(("", 0))
            taken.listen()
            agent = self.make_agent(args=["--port", str(taken.getsockname()[1])], env={
                "QT_LOGGING_RULES": "olvane.transport.bluez.info=false;qt.qpa.*=true"})
            status = os.stat(agent.log_path)
            agent.extra_env["JOURNAL_STREAM"] = "%d:%d" % (status.st_dev, status.st_ino)
            log = self.launch(agent).log()
        self.assertIn("\n<6>Olvane started.", "\n" + log)
        self.assertIn("\n<3>Server start failed: ", log)
        self.assertRegex(log, r"\n<7>\S")  # Qt's own, through the same handler
        self.assertNotIn("BLE", log)  # "BLE désactivé (BlueZ indisponible)" is silenced
        self.assertIsNone(LOG_PREFIX.search(log), log)

if __name__ == "__main__":
    unittest.main()

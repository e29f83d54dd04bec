# SPDX-License-Identifier: GPL-3.0-or-later
import signal
import time

from olvane_e2e import AgentTestCase, PulseAudio, RecordingWindow, Xvfb, wait_for

NORM = 65536


class Volume(AgentTestCase):
    """"vol", "getvol" and the volume keys against a real PulseAudio null sink."""

    def setUp(self):
        self.agent = self.make_agent(dry_run=False, env={"OLVANE_INPUT_BACKEND": "none"})
        self.pulse = self.started(PulseAudio(self.agent))
        self.phone = self.connect_phone(self.launch(self.agent))

    def getvol(self):
        return self.phone.request({"t": "getvol"})["value"]

    def sink_reaches(self, percent):
        self.assertTrue(wait_for(lambda: self.pulse.percent() == percent), self.pulse.volumes())

    def test_vol_and_the_volume_keys_change_the_sink_and_getvol_reads_it(self):
        self.phone.send({"t": "vol", "value": 37})
        self.sink_reaches(37)
        # A balance set with pactl: its average is read, and it stays.
        self.pulse.set_raw(NORM // 2, NORM // 4)
        self.assertEqual(self.getvol(), 38)
        self.phone.send({"t": "vol", "value": 60})
        self.sink_reaches(60)
        left, right = self.pulse.volumes()
        self.assertAlmostEqual(left / right, 2.0, places=3)

        self.pulse.set_raw(int(0.97 * NORM))
        for key, volume in [("volumeup", NORM), ("VolumeDown", 61440)]:
            self.phone.send({"t": "media", "name": key})
            self.assertTrue(wait_for(lambda: self.pulse.volumes() == [volume, volume]))
        self.phone.send({"t": "media", "name": "MUTE"})
        self.assertTrue(wait_for(self.pulse.muted))
        self.assertTrue(self.phone.request({"t": "getvol"})["muted"])

    def test_a_hung_or_killed_sound_server_reads_fifty_and_costs_the_phone_nothing(self):
        self.pulse.process.send_signal(signal.SIGSTOP)
        try:
            self.assertEqual(self.getvol(), 50)
        finally:
            self.pulse.process.send_signal(signal.SIGCONT)
        self.pulse.kill()
        self.phone.send({"t": "vol", "value": 10})
        self.phone.send({"t": "media", "name": "mute"})
        self.assertEqual(self.getvol(), 50)
        self.assertEqual(len([l for l in self.agent.log_lines()
                              if l.startswith("Volume unavailable: cannot connect")]), 1)
        self.pulse.start()
        self.phone.send({"t": "vol", "value": 30})
        self.sink_reaches(30)
        self.assertEqual(self.getvol(), 30)


class VolumeBesideThePointer(AgentTestCase):
    """A sound server that stops answering holds up its own commands, never the pointer."""

    def test_a_move_right_after_a_volume_command_is_as_quick_as_any_while_the_server_is_stopped(
            self):
        xvfb = self.started(Xvfb())
        window = self.started(RecordingWindow(xvfb))
        agent = self.make_agent(dry_run=False, env=xvfb.env())
        pulse = self.started(PulseAudio(agent))
        phone = self.connect_phone(self.launch(agent))
        phone.send({"t": "vol", "value": 40})
        self.assertTrue(wait_for(lambda: pulse.percent() == 40))

        def seconds_to_move(dx, command=None):
            """From sending a move (right after the command) until the pointer moves. Under two
            points, a move is posted in one step: no motion of it is left for the next."""
            motions = len(window.events("motion"))
            if command:
                phone.send(command)
            start = time.monotonic()
            phone.send({"t": "mv", "dx": dx, "dy": 0})
            self.assertTrue(wait_for(lambda: len(window.events("motion")) > motions,
                                     interval=0.0005), agent.log())
            return time.monotonic() - start

        pulse.process.send_signal(signal.SIGSTOP)
        self.addCleanup(pulse.process.send_signal, signal.SIGCONT)
        plain = [seconds_to_move(1.5 if i % 2 else -1.5) for i in range(9)]
        commands = [{"t": "media", "name": "volumeup"}, {"t": "vol", "value": 60},
                    {"t": "getvol"}] * 3
        after_command = [seconds_to_move(1.5 if i % 2 else -1.5, command)
                         for i, command in enumerate(commands)]
        # The slowest may meet a hiccup of a busy machine; the others not.
        self.assertLessEqual(sorted(after_command)[-2], 4 * max(plain), (plain, after_command))

        # What could not reach the server is said to be lost, and once it answers again the
        # volume keys act on its real level.
        self.assertTrue(agent.wait_for_log("Volume unavailable: no answer in time"))
        pulse.process.send_signal(signal.SIGCONT)
        replies = [phone.receive() for _ in range(commands.count({"t": "getvol"}))]
        self.assertEqual([r["t"] for r in replies], ["vol"] * 3)
        level = phone.request({"t": "getvol"})["value"]
        self.assertEqual(level, pulse.percent())
        self.assertTrue(agent.wait_for_log("Volume available again"))
        phone.send({"t": "media", "name": "volumeup"})
        self.assertTrue(wait_for(lambda: abs(pulse.percent() - (level + 6.25)) < 1),
                        (level, pulse.percent()))

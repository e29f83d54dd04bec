# SPDX-License-Identifier: GPL-3.0-or-later
import signal

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
        self.pulse.set_raw(0)  # silent channels, which have no balance to keep
        self.phone.send({"t": "vol", "value": 37})
        self.sink_reaches(37)
        self.assertEqual(len(set(self.pulse.volumes())), 1, self.pulse.volumes())
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
        # A hung server holds up no input: the input engine's tests show it, the bench times it.
        self.pulse.process.send_signal(signal.SIGSTOP)
        try:
            self.assertEqual(self.getvol(), 50)
            self.assertTrue(self.agent.wait_for_log("Volume unavailable: no answer in time"))
        finally:
            self.pulse.process.send_signal(signal.SIGCONT)
        self.assertTrue(wait_for(lambda: self.getvol() == self.pulse.percent() != 50))
        self.assertTrue(self.agent.wait_for_log("Volume available again"))
        watcher = self.connect_phone(self.agent)  # told of changes, as the page is
        self.assertTrue(watcher.request({"t": "getvol", "watch": True})["available"])
        self.pulse.kill()
        self.assertEqual(watcher.receive(), {"t": "vol", "value": 50, "muted": False,
                                             "available": False})
        self.phone.send({"t": "vol", "value": 10})
        self.phone.send({"t": "media", "name": "mute"})
        self.assertEqual(self.getvol(), 50)
        self.assertEqual(len([l for l in self.agent.log_lines()
                              if l.startswith("Volume unavailable: cannot connect")]), 1)
        self.pulse.start()
        self.assertTrue(watcher.receive(timeout=30)["available"])  # the watch is back
        self.phone.send({"t": "vol", "value": 30})
        self.sink_reaches(30)
        self.assertEqual(watcher.receive()["value"], 30)
        self.assertEqual(self.getvol(), 30)
        self.pulse.pactl("load-module", "module-null-sink", "sink_name=other")
        self.pulse.pactl("set-default-sink", "other")
        self.assertEqual(watcher.receive()["value"], 100)  # another output, at its own volume


class VolumeBesideThePointer(AgentTestCase):
    def test_a_stopped_sound_server_holds_up_no_move(self):
        """Each volume call waits for the stopped server in vain: twenty volume keys ahead of a
        move would hold it ten seconds if they shared its thread."""
        xvfb = self.started(Xvfb())
        window = self.started(RecordingWindow(xvfb))
        agent = self.make_agent(dry_run=False, env=xvfb.env())
        pulse = self.started(PulseAudio(agent))
        phone = self.connect_phone(self.launch(agent))
        pulse.process.send_signal(signal.SIGSTOP)
        self.addCleanup(pulse.process.send_signal, signal.SIGCONT)
        for _ in range(20):
            phone.send({"t": "media", "name": "volumeup"})
        phone.send({"t": "mv", "dx": 1.5, "dy": 0})
        self.assertTrue(wait_for(lambda: window.events("motion"), 5), agent.log())

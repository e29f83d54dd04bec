import unittest

from olvane_e2e import AgentTestCase
from olvane_e2e.agent import wait_for
from olvane_e2e.pulse import PulseAudio

NORM = 65536


class Volume(AgentTestCase):
    """"vol", "getvol" and the volume keys against a real PulseAudio null sink."""

    def setUp(self):
        self.agent = self.make_agent(dry_run=False, env={"OLVANE_INPUT_BACKEND": "none"})
        self.pulse = self.started(PulseAudio(self.agent))
        self.launch(self.agent)
        self.phone = self.connect_phone(self.agent)

    def getvol(self):
        return self.phone.request({"t": "getvol"})["value"]

    def test_vol_sets_the_sink_and_getvol_reads_back_what_pactl_set(self):
        self.phone.send({"t": "vol", "value": 37})
        self.assertTrue(wait_for(lambda: self.pulse.percent() == 37, 5), self.pulse.volumes())
        self.assertEqual(self.getvol(), 37)
        self.pulse.set_raw(int(0.375 * NORM))
        self.assertEqual(self.getvol(), 38)
        self.pulse.set_raw(int(0.374 * NORM))
        self.assertEqual(self.getvol(), 37)
        self.pulse.set_raw(int(1.5 * NORM))  # above 100 % reads as full
        self.assertEqual(self.getvol(), 100)

    def test_volume_keys_step_and_stop_at_the_top_and_mute_toggles(self):
        self.pulse.set_raw(int(0.97 * NORM))
        self.phone.send({"t": "media", "name": "volumeup"})
        self.assertTrue(wait_for(lambda: self.pulse.volumes() == [NORM, NORM], 5))
        self.phone.send({"t": "media", "name": "VolumeDown"})
        self.assertTrue(wait_for(lambda: self.pulse.volumes() == [61440, 61440], 5))

        was_muted = self.pulse.muted()
        self.phone.send({"t": "media", "name": "mute"})
        self.assertTrue(wait_for(lambda: self.pulse.muted() != was_muted, 5))
        self.assertEqual(self.phone.request({"t": "getvol"})["muted"], not was_muted)
        self.phone.send({"t": "media", "name": "MUTE"})
        self.assertTrue(wait_for(lambda: self.pulse.muted() == was_muted, 5))

    def test_a_balance_set_with_pactl_survives_a_vol(self):
        self.pulse.set_raw(NORM // 2, NORM // 4)
        self.phone.send({"t": "vol", "value": 60})
        self.assertTrue(wait_for(lambda: self.pulse.volumes() != [NORM // 2, NORM // 4], 5))
        left, right = self.pulse.volumes()
        self.assertAlmostEqual(left / right, 2.0, places=3)
        self.assertEqual(self.getvol(), 60)

    def test_a_sound_server_killed_reads_fifty_until_it_is_started_again(self):
        self.pulse.kill()
        self.assertEqual(self.getvol(), 50)
        self.phone.send({"t": "vol", "value": 10})
        self.phone.send({"t": "media", "name": "mute"})
        self.assertEqual(self.phone.request({"t": "ping"})["t"], "pong")
        self.assertEqual(self.getvol(), 50)
        failures = [l for l in self.agent.log_lines() if l.startswith("Volume unavailable: ")]
        self.assertEqual(len(failures), 1, failures)

        self.pulse.start()
        self.phone.send({"t": "vol", "value": 30})
        self.assertTrue(wait_for(lambda: self.pulse.percent() == 30, 5), self.pulse.volumes())
        self.assertEqual(self.getvol(), 30)

    def test_a_hung_sound_server_costs_a_fraction_of_a_second_not_the_connection(self):
        self.pulse.freeze()
        try:
            self.assertEqual(self.getvol(), 50)
            self.assertEqual(self.phone.request({"t": "ping"})["t"], "pong")
        finally:
            self.pulse.thaw()
        self.phone.send({"t": "vol", "value": 20})
        self.assertTrue(wait_for(lambda: self.pulse.percent() == 20, 5))


if __name__ == "__main__":
    unittest.main()

# SPDX-License-Identifier: GPL-3.0-or-later
from olvane_e2e import AS_NOBODY, AgentTestCase, Sway, Wev, hand_over, wait_for


class WlrootsInput(AgentTestCase):
    """The agent on headless sway picks the compositor's virtual devices; wev records."""

    def setUp(self):
        self.sway = self.started(Sway(self.folder()))
        self.agent = self.make_agent(dry_run=False, prefix=AS_NOBODY,
                                     env=dict(self.sway.env(), XKB_DEFAULT_LAYOUT="fr"))
        self.agent.environment()  # makes the runtime folder, which nobody must own too
        hand_over(self.agent.workdir)
        self.launch(self.agent)
        self.assertTrue(self.agent.wait_for_log(
            "Input backend: auto chose wlroots; passed over x11 (Wayland session), portal ("),
            self.agent.log())
        self.window = self.started(Wev(self.sway))
        self.phone = self.connect_phone(self.agent)

    def test_moves_stay_on_the_outputs_and_clicks_drags_and_scrolls_arrive(self):
        # A click first ends the move before it: the next move starts where that one ended.
        for message in [
                {"t": "mv", "dx": -5000, "dy": -5000}, {"t": "click"},
                {"t": "mv", "dx": 100, "dy": 600}, {"t": "click", "right": True},
                # Beside the first output but below the second, which keeps the pointer:
                # the click is the empty second output's, and the way back is 1000 long.
                {"t": "mv", "dx": 1500}, {"t": "click"}, {"t": "mv", "dx": -1000},
                {"t": "drag", "down": True}, {"t": "mv", "dx": -100, "dy": -100},
                {"t": "drag", "down": False}]:
            self.phone.send(message)
        left, right = "272 (left), state: %d (%s)", "273 (right), state: %d (%s)"
        expected = [((0, 0), left % (1, "pressed")), ((0, 0), left % (0, "released")),
                    ((100, 600), right % (1, "pressed")), ((100, 600), right % (0, "released")),
                    ((600, 479), left % (1, "pressed")), ((500, 379), left % (0, "released"))]
        self.assertTrue(wait_for(lambda: len(self.window.pointer_at_buttons()) == 6))
        self.assertEqual(self.window.pointer_at_buttons(), expected)

        # Up and to the right, as a finger moves a page, then a stop on both axes.
        self.phone.send({"t": "scroll", "dy": 120, "dx": -60})
        self.assertTrue(wait_for(lambda: len(self.window.of("wl_pointer", "axis_stop")) == 2))
        axes = {"vertical": 0.0, "horizontal": 0.0}
        for text in self.window.of("wl_pointer", "axis"):
            axes[text.split("(")[1].split(")")[0]] += float(text.split("value: ")[1])
        # The smoothing keeps the last pixel or two of a scroll.
        self.assertAlmostEqual(axes["vertical"], -120, delta=3)
        self.assertAlmostEqual(axes["horizontal"], 60, delta=3)

    def test_keys_and_any_text_arrive_and_the_layout_is_back_afterwards(self):
        for key in ({"name": "Return"}, {"name": "a", "mods": ["cmd", "shift"]}):
            self.phone.send(dict(key, t="key"))
        self.assertTrue(wait_for(lambda: len(self.window.key_presses()) == 4))
        # AZERTY: the a is where QWERTY has its q.
        self.assertEqual(self.window.key_presses(), [(36, "Return"), (37, "Control_L"),
                                                     (50, "Shift_L"), (24, "A")])

        # More characters off the layout than one keymap has spare keys for.
        texts = ["héllo € ñ Ω ж 😀 日本", "".join(chr(0x4E00 + i) for i in range(40)), "é&"]
        expected = self.window.text() + "".join(texts[:2]) + "a" + texts[2]
        for message in [{"t": "text", "text": texts[0]}, {"t": "text", "text": texts[1]},
                        {"t": "key", "name": "a"}, {"t": "text", "text": texts[2]}]:
            self.phone.send(message)
        self.assertEqual(self.window.wait_for_text(expected), expected)
        # Then the layout's keymap is back.
        keymaps = self.window.of("wl_keyboard", "keymap")
        self.assertGreater(len(set(keymaps)), 1)
        self.assertEqual(keymaps[-1], keymaps[0])

    def test_a_compositor_that_goes_away_turns_ax_false(self):
        self.sway.kill()
        self.assertTrue(self.agent.wait_for_log("Wayland: lost the connection to the compositor"),
                        self.agent.log())
        self.assert_input_dropped(self.phone)


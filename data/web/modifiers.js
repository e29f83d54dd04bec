// SPDX-License-Identifier: GPL-3.0-or-later
// Sticky modifier keys, as on phone keyboards: a tap holds the modifier for the next key, a
// second tap keeps it down on the computer, across keys (Alt through several Tabs), until a
// third tap lets it go.

const NEXT = { off: 'once', once: 'locked', locked: 'off' };

export class Modifiers {
  // buttons: elements with data-mod, the protocol's modifier name; hold(name, down) keeps one
  // down on the computer or lets it go.
  constructor(buttons, hold) {
    this.buttons = [...buttons];
    this.hold = hold;
    for (const button of this.buttons) {
      this.set(button, 'off');
      button.addEventListener('click', () => this.next(button));
    }
  }

  next(button) {
    const hold = NEXT[button.dataset.hold];
    if (hold === 'locked' || button.dataset.hold === 'locked')
      this.hold(button.dataset.mod, hold === 'locked');
    this.set(button, hold);
  }

  set(button, hold) {
    button.dataset.hold = hold;
    // Held for one key is half pressed; locked, pressed.
    button.setAttribute('aria-pressed', { off: 'false', once: 'mixed', locked: 'true' }[hold]);
  }

  held() {
    return this.buttons.filter((b) => b.dataset.hold !== 'off').map((b) => b.dataset.mod);
  }

  // The modifiers for one key: those held once, which are then let go (locked ones are down on
  // the computer already).
  take() {
    const mods = this.buttons.filter((b) => b.dataset.hold === 'once').map((b) => b.dataset.mod);
    for (const button of this.buttons) if (button.dataset.hold === 'once') this.set(button, 'off');
    return mods;
  }

  // Control is gone: let go (when the link is gone, the agent lets go itself).
  clear() {
    for (const button of this.buttons) {
      if (button.dataset.hold === 'locked') this.hold(button.dataset.mod, false);
      this.set(button, 'off');
    }
  }
}

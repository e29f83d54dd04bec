// SPDX-License-Identifier: GPL-3.0-or-later
// Sticky modifier keys, as on phone keyboards: a tap holds the modifier for the next key, a
// second tap keeps it for every key until a third tap lets it go.

const NEXT = { off: 'once', once: 'locked', locked: 'off' };

export class Modifiers {
  // buttons: elements with data-mod, the protocol's modifier name.
  constructor(buttons) {
    this.buttons = [...buttons];
    for (const button of this.buttons) {
      this.set(button, 'off');
      button.addEventListener('click', () => this.set(button, NEXT[button.dataset.hold]));
    }
  }

  set(button, hold) {
    button.dataset.hold = hold;
    button.setAttribute('aria-pressed', String(hold !== 'off'));
  }

  held() {
    return this.buttons.filter((b) => b.dataset.hold !== 'off').map((b) => b.dataset.mod);
  }

  // The modifiers for one key; those held once are let go.
  take() {
    const mods = this.held();
    for (const button of this.buttons) if (button.dataset.hold === 'once') this.set(button, 'off');
    return mods;
  }

  clear() {
    for (const button of this.buttons) this.set(button, 'off');
  }
}

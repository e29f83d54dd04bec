// SPDX-License-Identifier: GPL-3.0-or-later
// The typing field: what the user types reaches the computer as they type it. The field is a
// mirror of the text typed since the last Return, so any change the phone's keyboard makes
// (a letter, a deletion, an autocorrected word) becomes deletions and new text by comparing
// the field before and after.
//
// Offline, the field keeps what is typed and the mirror stays as the computer last saw it:
// once back, the difference goes out as if it had just been typed.

const KEYS = {
  Enter: 'return',
  Escape: 'escape',
  Tab: 'tab',
  ArrowLeft: 'left',
  ArrowRight: 'right',
  ArrowUp: 'up',
  ArrowDown: 'down',
};

export class Keyboard {
  // output: text(string), key(name) alone, press(name) with the modifiers held, shortcut()
  // (true while a modifier is held: a character is then a shortcut rather than text), online()
  constructor(field, output) {
    this.field = field;
    this.output = output;
    this.mirror = '';
    field.addEventListener('input', () => this.sync());
    field.addEventListener('keydown', (event) => this.keydown(event));
  }

  pending() {
    return this.field.value !== this.mirror;
  }

  sync() {
    if (!this.output.online()) return;
    const before = Array.from(this.mirror);
    const after = Array.from(this.field.value);
    let same = 0;
    while (same < before.length && same < after.length && before[same] === after[same]) same++;
    for (let i = same; i < before.length; i++) this.output.key('delete');
    const added = after.slice(same).join('');
    if (added && this.output.shortcut()) {
      // Ctrl then c is a copy, not a letter: it leaves the field.
      for (const character of after.slice(same)) this.output.press(character);
      this.field.value = after.slice(0, same).join('');
    } else if (added) {
      this.output.text(added);
    }
    this.mirror = this.field.value;
  }

  keydown(event) {
    if (event.isComposing) return;
    const name = KEYS[event.key] ??
        (event.key === 'Backspace' && this.field.value === '' ? 'delete' : null);
    if (!name) return;
    // Nothing left in the field to delete, but there may be on the computer.
    event.preventDefault();
    this.press(name);
  }

  // A key of the page or of the phone's keyboard. Offline it does nothing, so that Return
  // does not clear text that has not gone out yet.
  press(name) {
    if (!this.output.online()) return;
    if (name === 'delete' && this.field.value && !this.output.shortcut()) {
      // The field loses its last character as the computer does.
      this.field.value = Array.from(this.field.value).slice(0, -1).join('');
      this.sync();
      return;
    }
    this.sync();
    this.output.press(name);
    if (name === 'return') this.clear();
  }

  clear() {
    this.field.value = '';
    this.mirror = '';
  }
}

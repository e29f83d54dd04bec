// SPDX-License-Identifier: GPL-3.0-or-later
// The typing field: what the user types reaches the computer as they type it. The field is a
// mirror of the text typed since the last Return, so any change the phone's keyboard makes
// (a letter, a deletion, an autocorrected word) becomes deletions and new text by comparing
// the field before and after.
//
// Offline, the field keeps what is typed and the mirror stays as the computer last saw it:
// once back, the difference goes out as if it had just been typed. A Return typed offline
// closes the line: it waits with it and goes out after it, in order.
//
// Characters are counted as the user sees them (grapheme clusters): one deletion of 👨‍👩‍👧 is
// one BackSpace, as the computer's fields delete it.

const KEYS = {
  Enter: 'return',
  Escape: 'escape',
  Tab: 'tab',
  ArrowLeft: 'left',
  ArrowRight: 'right',
  ArrowUp: 'up',
  ArrowDown: 'down',
};

const segmenter = new Intl.Segmenter(undefined, { granularity: 'grapheme' });
const graphemes = (text) => Array.from(segmenter.segment(text), (part) => part.segment);

export class Keyboard {
  // output: text(string), key(name) alone, press(name) with the modifiers held, shortcut()
  // (true while a modifier is held: a character is then a shortcut rather than text), online()
  constructor(field, output) {
    this.field = field;
    this.output = output;
    this.mirror = '';
    this.lines = [];  // lines closed by a Return offline, not sent yet
    field.addEventListener('input', () => this.sync());
    field.addEventListener('keydown', (event) => this.keydown(event));
  }

  pending() {
    return this.field.value !== this.mirror || this.lines.length > 0;
  }

  sync() {
    if (!this.output.online()) return;
    for (const line of this.lines.splice(0)) {
      this.update(line, false);
      this.output.key('return');
      this.mirror = '';
    }
    const left = this.update(this.field.value, this.output.shortcut());
    if (left !== this.field.value) this.field.value = left;
    this.mirror = left;
  }

  // Sends what turns the mirror into text; returns the text left in the field.
  update(text, shortcut) {
    const before = graphemes(this.mirror);
    const after = graphemes(text);
    let same = 0;
    while (same < before.length && same < after.length && before[same] === after[same]) same++;
    for (let i = same; i < before.length; i++) this.output.key('delete');
    const added = after.slice(same);
    if (added.length && shortcut) {
      // Ctrl then c is a copy, not a letter: it leaves the field.
      for (const character of added) this.output.press(character);
      return after.slice(0, same).join('');
    }
    if (added.length) this.output.text(added.join(''));
    return text;
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

  // A key of the page or of the phone's keyboard. Offline only Return counts: it closes the
  // line, which goes out with it once back.
  press(name) {
    if (!this.output.online()) {
      if (name !== 'return') return;
      this.lines.push(this.field.value);
      this.field.value = '';
      return;
    }
    if (name === 'delete' && this.field.value && !this.output.shortcut()) {
      // The field loses its last character as the computer does.
      this.field.value = graphemes(this.field.value).slice(0, -1).join('');
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

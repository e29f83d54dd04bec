// The typing field: what the user types reaches the computer as they type it. The field is a
// mirror of the text typed since the last Return, so any change the phone's keyboard makes
// (a letter, a deletion, an autocorrected word) becomes deletions and new text by comparing
// the field before and after.

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
  // output: text(string), key(name)
  constructor(field, output) {
    this.field = field;
    this.output = output;
    this.mirror = '';
    field.addEventListener('input', () => this.changed());
    field.addEventListener('keydown', (event) => this.keydown(event));
  }

  changed() {
    const before = Array.from(this.mirror);
    const after = Array.from(this.field.value);
    let same = 0;
    while (same < before.length && same < after.length && before[same] === after[same]) same++;
    for (let i = same; i < before.length; i++) this.output.key('delete');
    if (same < after.length) this.output.text(after.slice(same).join(''));
    this.mirror = this.field.value;
  }

  keydown(event) {
    if (event.isComposing) return;
    const name = KEYS[event.key];
    if (name) {
      event.preventDefault();
      this.output.key(name);
      if (name === 'return') this.clear();
    } else if (event.key === 'Backspace' && this.field.value === '') {
      // Nothing left in the field to delete, but there may be on the computer.
      event.preventDefault();
      this.output.key('delete');
    }
  }

  clear() {
    this.field.value = '';
    this.mirror = '';
  }
}

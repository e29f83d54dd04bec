// The touchpad: one finger moves the pointer, a tap clicks, a two-finger tap right-clicks,
// two fingers scroll, and a finger held still then moved drags. Motion is gathered between
// frames and sent once per displayed frame, fractions of a pixel included.

const SLOP_PX = 8;           // a finger that moves less than this is still tapping
const HOLD_MS = 350;         // a still finger held this long presses the button for a drag
const TWO_TAP_MS = 800;      // two fingers lifted sooner than this, without moving, right-click
const SEND_AT_LEAST = 0.05;  // smaller amounts wait for the next frame
const SCROLL_GAIN = 2;

// Faster strokes travel further, so the whole screen is reachable without lifting the finger.
function pointerGain(distance, elapsedMs) {
  const speed = distance / Math.max(elapsedMs, 1);  // CSS pixels per millisecond
  return 1.4 + 1.6 * Math.min(Math.max((speed - 0.2) / 1.3, 0), 1);
}

export class Touchpad {
  // output: move(dx, dy), scroll(dx, dy), click(right), drag(down)
  constructor(element, output) {
    this.element = element;
    this.output = output;
    this.fingers = new Map();
    this.gesture = 'idle';
    this.move = { dx: 0, dy: 0 };
    this.scroll = { dx: 0, dy: 0 };
    this.frame = 0;
    this.holdTimer = 0;
    for (const type of ['pointerdown', 'pointermove', 'pointerup', 'pointercancel'])
      element.addEventListener(type, (event) => this[type](event));
    element.addEventListener('contextmenu', (event) => event.preventDefault());
  }

  setGesture(gesture) {
    this.gesture = gesture;
    this.element.dataset.gesture = gesture;
  }

  pointerdown(event) {
    event.preventDefault();
    try {
      // Moves that leave the pad still belong to the gesture.
      this.element.setPointerCapture(event.pointerId);
    } catch {
      // The pointer is already gone: its up event follows.
    }
    const finger = { x: event.clientX, y: event.clientY, startX: event.clientX,
                     startY: event.clientY, time: event.timeStamp };
    this.fingers.set(event.pointerId, finger);
    if (this.fingers.size === 1) {
      this.setGesture('touching');
      this.startTime = event.timeStamp;
      this.holdTimer = setTimeout(() => this.hold(), HOLD_MS);
    } else if (this.fingers.size === 2 && ['touching', 'moving'].includes(this.gesture)) {
      clearTimeout(this.holdTimer);
      this.twoTapPossible = this.gesture === 'touching';
      this.startTime = event.timeStamp;
      this.setGesture('two');
    } else if (this.gesture !== 'dragging' && this.gesture !== 'holding') {
      this.setGesture('done');  // three fingers: nothing until all are lifted
    }
  }

  hold() {
    if (this.gesture !== 'touching') return;
    this.setGesture('holding');
    this.flush();
    this.output.drag(true);
    navigator.vibrate?.(15);
  }

  pointermove(event) {
    const finger = this.fingers.get(event.pointerId);
    if (!finger) return;
    const dx = event.clientX - finger.x;
    const dy = event.clientY - finger.y;
    const elapsed = event.timeStamp - finger.time;
    Object.assign(finger, { x: event.clientX, y: event.clientY, time: event.timeStamp });
    switch (this.gesture) {
      case 'touching':
        if (Math.hypot(finger.x - finger.startX, finger.y - finger.startY) < SLOP_PX) return;
        clearTimeout(this.holdTimer);
        this.setGesture('moving');
        this.addMove(finger.x - finger.startX, finger.y - finger.startY, elapsed);
        return;
      case 'holding':
        this.setGesture('dragging');
        this.addMove(dx, dy, elapsed);
        return;
      case 'moving':
      case 'dragging':
        this.addMove(dx, dy, elapsed);
        return;
      case 'two':
        if (this.fingersTravelled() < SLOP_PX) return;
        this.setGesture('scrolling');
        this.addScroll(dx / 2, dy / 2);
        return;
      case 'scrolling':
        // The fingers' midpoint moves by half of each finger's own motion.
        this.addScroll(dx / 2, dy / 2);
        return;
    }
  }

  fingersTravelled() {
    let most = 0;
    for (const f of this.fingers.values())
      most = Math.max(most, Math.hypot(f.x - f.startX, f.y - f.startY));
    return most;
  }

  pointerup(event) {
    this.lift(event, true);
  }

  pointercancel(event) {
    this.lift(event, false);
  }

  lift(event, completed) {
    if (!this.fingers.delete(event.pointerId)) return;
    switch (this.gesture) {
      case 'touching':
        clearTimeout(this.holdTimer);
        if (completed) this.click(false);
        break;
      case 'holding':
      case 'dragging':
        if (this.fingers.size > 0) return;
        this.flush();
        this.output.drag(false);
        break;
      case 'two':
        if (completed && this.twoTapPossible && event.timeStamp - this.startTime < TWO_TAP_MS)
          this.click(true);
        break;
    }
    this.setGesture(this.fingers.size > 0 ? 'done' : 'idle');
  }

  click(right) {
    this.flush();
    this.output.click(right);
  }

  addMove(dx, dy, elapsedMs) {
    const gain = pointerGain(Math.hypot(dx, dy), elapsedMs);
    this.move.dx += dx * gain;
    this.move.dy += dy * gain;
    this.schedule();
  }

  addScroll(dx, dy) {
    this.scroll.dx += dx * SCROLL_GAIN;
    this.scroll.dy += dy * SCROLL_GAIN;
    this.schedule();
  }

  schedule() {
    if (!this.frame) this.frame = requestAnimationFrame(() => this.flush());
  }

  // Sends what has gathered; what is too small to matter stays for the next frame.
  flush() {
    cancelAnimationFrame(this.frame);
    this.frame = 0;
    for (const [amount, send] of [[this.move, this.output.move], [this.scroll, this.output.scroll]]) {
      if (Math.abs(amount.dx) + Math.abs(amount.dy) < SEND_AT_LEAST) continue;
      send(amount.dx, amount.dy);
      amount.dx = 0;
      amount.dy = 0;
    }
  }
}

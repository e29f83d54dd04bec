// SPDX-License-Identifier: GPL-3.0-or-later
// The touchpad, as on a laptop: one finger moves the pointer, a tap clicks, a two-finger tap
// right-clicks (a tap is short and still: a finger that rests, or a touch that stops a glide,
// clicks nothing), two fingers scroll and a flick of them glides on, and a tap followed at once
// by a touch that stays or slides drags. Lifting the finger during a drag keeps the button
// down for a moment, so that a long drag can go on with the finger put back; a tap then ends
// it. Motion is gathered between frames and sent once per displayed frame, fractions of a
// pixel included.

const SLOP_PX = 8;            // a finger that moves less than this is still tapping
const TAP_MS = 250;           // ...and one that stays longer is resting, not tapping
const DOUBLE_TAP_MS = 300;    // a touch this soon after a tap, near it, may start a drag
const DOUBLE_TAP_PX = 40;
const HOLD_MS = 180;          // ...which it does once the finger stays this long or moves
const DRAG_LOCK_MS = 700;     // the button stays down this long after the finger lifts
const TWO_TAP_MS = 800;       // two fingers lifted sooner than this, without moving, right-click
const SEND_AT_LEAST = 0.05;   // smaller amounts wait for the next frame
const SCROLL_GAIN = 2;
const GLIDE_FROM = 0.5;       // CSS pixels per ms: slower fingers stop the scroll where they lift
const GLIDE_STOP = 0.02;
const GLIDE_DECAY_MS = 325;   // time for the glide's speed to fall by e (as on phones)
const SPEED_WINDOW_MS = 40;   // finger speed is averaged over about this long

// Gain by finger speed in CSS pixels per ms: close to the finger's own distance when slow, for
// precision, and up to nine times when fast, so that one flick across the pad crosses a
// 1920-pixel screen. Eased between, so that the pointer never jumps.
export function pointerGain(speed) {
  const t = Math.min(Math.max((speed - 0.1) / 1.4, 0), 1);
  return 1.2 + 7.8 * t * t * (3 - 2 * t);
}

export class Touchpad {
  // output: move(dx, dy), scroll(dx, dy), click(right), drag(down); sensitivity() multiplies
  // the pointer's gain.
  constructor(element, output) {
    this.element = element;
    this.output = output;
    this.fingers = new Map();
    this.gesture = 'idle';
    this.buttonDown = false;
    this.lastTap = null;
    this.move = { dx: 0, dy: 0 };
    this.scroll = { dx: 0, dy: 0 };
    this.frame = 0;
    this.timer = 0;
    this.glide = null;
    for (const type of ['pointerdown', 'pointermove', 'pointerup', 'pointercancel'])
      element.addEventListener(type, (event) => this[type](event));
    element.addEventListener('contextmenu', (event) => event.preventDefault());
  }

  setGesture(gesture) {
    this.gesture = gesture;
    this.element.dataset.gesture = gesture;
  }

  // Forgets every gesture without sending anything: the link to the computer is gone, and the
  // agent lets go of the button itself when its last phone leaves.
  reset() {
    clearTimeout(this.timer);
    this.stopGlide();
    this.fingers.clear();
    this.buttonDown = false;
    this.lastTap = null;
    this.move = { dx: 0, dy: 0 };
    this.scroll = { dx: 0, dy: 0 };
    this.setGesture('idle');
  }

  pointerdown(event) {
    event.preventDefault();
    try {
      // Moves that leave the pad still belong to the gesture.
      this.element.setPointerCapture(event.pointerId);
    } catch {
      // The pointer is already gone: its up event follows.
    }
    // The touch that stops a glide is not a tap.
    const stopsGlide = this.stopGlide();
    const finger = { x: event.clientX, y: event.clientY, startX: event.clientX,
                     startY: event.clientY, time: event.timeStamp, start: event.timeStamp,
                     tap: !stopsGlide, speed: 0, scrollSpeed: 0 };
    this.fingers.set(event.pointerId, finger);
    if (this.fingers.size === 1) this.firstFinger(event.pointerId, finger, event.timeStamp);
    else if (this.fingers.size === 2 && ['touching', 'armed', 'moving'].includes(this.gesture)) {
      clearTimeout(this.timer);
      this.twoTapPossible = this.gesture !== 'moving';
      this.startTime = event.timeStamp;
      this.setGesture('two');
    } else if (!this.buttonDown) {
      this.setGesture('done');  // three fingers: nothing until all are lifted
    }
  }

  firstFinger(id, finger, time) {
    clearTimeout(this.timer);
    this.primary = id;
    if (this.gesture === 'locked') {
      this.setGesture('held');  // the drag goes on, or a tap ends it
    } else if (this.lastTap && time - this.lastTap.time < DOUBLE_TAP_MS &&
               Math.hypot(finger.x - this.lastTap.x, finger.y - this.lastTap.y) < DOUBLE_TAP_PX) {
      this.setGesture('armed');
      this.timer = setTimeout(() => this.press(), HOLD_MS);
    } else {
      this.setGesture('touching');
    }
    this.lastTap = null;
  }

  press() {
    if (this.gesture !== 'armed') return;
    this.setGesture('held');
    this.setButton(true);
    navigator.vibrate?.(15);
  }

  setButton(down) {
    if (this.buttonDown === down) return;
    this.flush();
    this.buttonDown = down;
    this.output.drag(down);
  }

  pointermove(event) {
    const finger = this.fingers.get(event.pointerId);
    if (!finger) return;
    const dx = event.clientX - finger.x;
    const dy = event.clientY - finger.y;
    this.track(finger, event, dx, dy);
    // One finger points; others that join it on the way change nothing.
    if (event.pointerId !== this.primary && !['two', 'scrolling'].includes(this.gesture)) return;
    const outside = Math.hypot(finger.x - finger.startX, finger.y - finger.startY) >= SLOP_PX;
    switch (this.gesture) {
      case 'touching':
        if (!outside) return;
        this.setGesture('moving');
        this.addMove(finger.x - finger.startX, finger.y - finger.startY, finger.speed);
        return;
      case 'armed':
      case 'held':
        if (!outside) return;
        clearTimeout(this.timer);
        this.setButton(true);
        this.setGesture('dragging');
        this.addMove(finger.x - finger.startX, finger.y - finger.startY, finger.speed);
        return;
      case 'moving':
      case 'dragging':
        this.addMove(dx, dy, finger.speed);
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

  // The finger's speed, and its scroll velocity per axis, averaged over the last few events.
  track(finger, event, dx, dy) {
    const elapsed = Math.max(event.timeStamp - finger.time, 1);
    const weight = 1 - Math.exp(-elapsed / SPEED_WINDOW_MS);
    finger.speed += weight * (Math.hypot(dx, dy) / elapsed - finger.speed);
    finger.vx = (finger.vx ?? 0) + weight * (dx / elapsed - (finger.vx ?? 0));
    finger.vy = (finger.vy ?? 0) + weight * (dy / elapsed - (finger.vy ?? 0));
    Object.assign(finger, { x: event.clientX, y: event.clientY, time: event.timeStamp });
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
    const finger = this.fingers.get(event.pointerId);
    if (!finger) return;
    this.fingers.delete(event.pointerId);
    switch (this.gesture) {
      case 'touching':
        if (!completed || !finger.tap || event.timeStamp - finger.start >= TAP_MS) break;
        this.click(false);
        this.lastTap = { time: event.timeStamp, x: finger.x, y: finger.y };
        break;
      case 'armed':
        // Tapped twice without staying: a double click.
        clearTimeout(this.timer);
        if (completed) this.click(false);
        break;
      case 'held':
        this.setButton(false);
        break;
      case 'dragging':
        if (this.fingers.size > 0) return;
        if (!completed) {
          this.setButton(false);
          break;
        }
        this.flush();
        this.setGesture('locked');
        this.timer = setTimeout(() => this.unlock(), DRAG_LOCK_MS);
        return;
      case 'two':
        if (completed && this.twoTapPossible && event.timeStamp - this.startTime < TWO_TAP_MS)
          this.click(true);
        break;
      case 'scrolling':
        // Fingers that stopped before lifting leave the page where it is.
        if (completed && event.timeStamp - finger.time < 2 * SPEED_WINDOW_MS)
          this.startGlide(finger.vx ?? 0, finger.vy ?? 0, event.timeStamp);
        break;
    }
    this.setGesture(this.fingers.size > 0 ? 'done' : 'idle');
  }

  unlock() {
    if (this.gesture !== 'locked') return;
    this.setButton(false);
    this.setGesture('idle');
  }

  click(right) {
    this.flush();
    this.output.click(right);
  }

  addMove(dx, dy, speed) {
    const gain = pointerGain(speed) * this.output.sensitivity();
    this.move.dx += dx * gain;
    this.move.dy += dy * gain;
    this.schedule();
  }

  addScroll(dx, dy) {
    this.scroll.dx += dx * SCROLL_GAIN;
    this.scroll.dy += dy * SCROLL_GAIN;
    this.schedule();
  }

  // After a flick of two fingers the page glides on, slowing down as it would under a finger
  // on the phone itself; any touch stops it.
  startGlide(vx, vy, time) {
    if (Math.hypot(vx, vy) < GLIDE_FROM) return;
    this.glide = { vx, vy, time };
    const step = (now) => {
      if (!this.glide) return;
      const elapsed = Math.max(now - this.glide.time, 0);
      const decay = Math.exp(-elapsed / GLIDE_DECAY_MS);
      this.glide.vx *= decay;
      this.glide.vy *= decay;
      this.glide.time = now;
      this.addScroll(this.glide.vx * elapsed, this.glide.vy * elapsed);
      if (Math.hypot(this.glide.vx, this.glide.vy) < GLIDE_STOP) this.glide = null;
      else this.glide.frame = requestAnimationFrame(step);
    };
    this.glide.frame = requestAnimationFrame(step);
  }

  // True if there was a glide to stop.
  stopGlide() {
    const gliding = this.glide !== null;
    if (gliding) cancelAnimationFrame(this.glide.frame);
    this.glide = null;
    return gliding;
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

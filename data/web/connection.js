// SPDX-License-Identifier: GPL-3.0-or-later
// The link to the agent: one WebSocket to the host the page came from, pairing and
// authentication with a token kept in this browser, commands only once authenticated, and a
// new connection whenever the old one drops or stops answering.
//
// A computer that sleeps, freezes or leaves the network does not close the socket: the
// browser would call it open for a minute or more. So the page asks for an answer every
// moment and calls the link lost as soon as one is late.

const TOKEN_KEY = 'olvane.token';
// The page's clock, in ms: pings and input carry it, so that the agent can tell input that
// reaches it late (it was frozen, say) and not act on it. The wall clock, since a phone's
// monotonic clock stands still while it sleeps: input after waking would look as old as the
// sleep was long on a link that lived through it.
const clock = () => Date.now();
// An agent that restarts is back within a second or two: the first tries come quickly.
const RETRY_FIRST_MS = 250;
const RETRY_LONGEST_MS = 2000;
const ASK_EVERY_MS = 1500;
const ANSWER_WITHIN_MS = 2500;
// Connecting takes a round trip or two on a local network; a computer that accepts the
// connection without answering is as good as gone.
const CONNECT_WITHIN_MS = 4000;
// Past this, retrying alone will not do: the user is told what to check.
const STRANDED_AFTER_MS = 20000;

// Storage may be refused (private browsing, blocked site data): the page then pairs each visit.
function readToken() {
  try {
    return localStorage.getItem(TOKEN_KEY);
  } catch {
    return null;
  }
}

function writeToken(token) {
  try {
    if (token) localStorage.setItem(TOKEN_KEY, token);
    else localStorage.removeItem(TOKEN_KEY);
  } catch {
    // Nothing kept: the next visit asks for the code again.
  }
}

export class Connection {
  // state: connecting (first try), needpair, ready, offline (retrying), stranded (retrying
  // for a while already).
  // ax: whether the computer can take input now (its answers say so as it changes).
  // events: state(state, name), badcode(lockoutSeconds), volume(value, muted, available)
  constructor(url, events) {
    this.url = url;
    this.events = events;
    this.socket = null;
    this.state = '';
    this.name = '';
    this.ax = true;
    this.retryMs = RETRY_FIRST_MS;
    this.retryTimer = 0;
    this.askTimer = 0;
    this.answerTimer = 0;
    this.strandedTimer = 0;
    document.addEventListener('visibilitychange', () => this.shown());
  }

  connect() {
    clearTimeout(this.retryTimer);
    if (!this.state) this.setState('connecting');
    const socket = new WebSocket(this.url);
    socket.binaryType = 'arraybuffer';
    this.socket = socket;
    socket.onopen = () => this.greet();
    socket.onmessage = (event) => this.receive(event.data);
    socket.onclose = () => this.lost(socket);
    this.expectAnswer(CONNECT_WITHIN_MS);
  }

  // A hello without a token still brings the computer's name for the pairing screen.
  greet() {
    const token = readToken();
    this.sendNow(token ? { t: 'hello', token } : { t: 'hello' });
  }

  receive(data) {
    if (typeof data !== 'string') return;
    let message;
    try {
      message = JSON.parse(data);
    } catch {
      return;
    }
    this.answered();
    if (typeof message.name === 'string') this.name = message.name;
    if (typeof message.ax === 'boolean' && message.ax !== this.ax) {
      this.ax = message.ax;
      if (this.state === 'ready') this.events.state(this.state, this.name);
    }
    switch (message.t) {
      case 'paired':
        writeToken(message.token);
        this.ready();
        break;
      case 'authok':
        this.ready();
        break;
      case 'needpair':
        // No token, or one that was revoked or lost with the agent's token file: pair again.
        writeToken(null);
        this.linked('needpair');
        break;
      case 'badcode':
        this.events.badcode(Number.isFinite(message.lockout) ? message.lockout : 0);
        break;
      case 'vol':
        if (Number.isFinite(message.value))
          this.events.volume(message.value, message.muted === true, message.available !== false);
        break;
    }
  }

  ready() {
    this.linked('ready');
    // The answer, then a "vol" whenever the volume or mute changes on the computer.
    this.send({ t: 'getvol', watch: true });
    this.ask();  // the agent learns the page's clock before any input
  }

  linked(state) {
    this.retryMs = RETRY_FIRST_MS;
    clearTimeout(this.strandedTimer);
    this.strandedTimer = 0;
    this.setState(state);
    if (!this.askTimer) this.askTimer = setInterval(() => this.ask(), ASK_EVERY_MS);
  }

  // Before pairing a hello is the question, since a ping would only be refused.
  ask() {
    if (document.visibilityState !== 'visible') return;
    this.sendNow(this.state === 'ready' ? { t: 'ping', ts: clock() } : { t: 'hello' });
    this.expectAnswer(ANSWER_WITHIN_MS);
  }

  // Any message counts as an answer; an earlier question still waiting keeps its deadline.
  expectAnswer(ms) {
    if (this.answerTimer) return;
    const socket = this.socket;
    this.answerTimer = setTimeout(() => this.lost(socket), ms);
  }

  answered() {
    clearTimeout(this.answerTimer);
    this.answerTimer = 0;
  }

  // A phone that slept may hold a socket that died meanwhile: ask at once.
  shown() {
    if (document.visibilityState !== 'visible') return;
    if (!this.socket) this.connect();
    else if (this.state === 'ready' || this.state === 'needpair') this.ask();
  }

  lost(socket) {
    if (this.socket !== socket) return;
    this.leave();
    if (!['offline', 'stranded'].includes(this.state)) {
      this.setState('offline');
      this.strandedTimer = setTimeout(() => this.setState('stranded'), STRANDED_AFTER_MS);
    }
    if (document.visibilityState !== 'visible') return;  // reconnects when shown again
    this.retryTimer = setTimeout(() => this.connect(), this.retryMs);
    this.retryMs = Math.min(this.retryMs * 2, RETRY_LONGEST_MS);
  }

  // A socket that stopped answering may not close for a minute: it is left behind now.
  leave() {
    const socket = this.socket;
    this.socket = null;
    socket.onopen = socket.onmessage = socket.onclose = null;
    socket.close();
    this.answered();
    clearInterval(this.askTimer);
    this.askTimer = 0;
  }

  pair(code) {
    this.sendNow({ t: 'pair', code });
  }

  // Revokes this browser's token and forgets it.
  forget() {
    const token = readToken();
    writeToken(null);
    if (token) this.sendNow({ t: 'unpair', token });
    // The agent ends this link on an unpair: the pairing screen now, on a new one, rather
    // than a lost link first. What was sent still goes out before the socket closes.
    if (!this.socket) return;
    this.leave();
    this.setState('needpair');
    this.connect();
  }

  // Commands go out only once the agent has accepted this browser.
  send(message) {
    if (this.state === 'ready') this.sendNow(message);
  }

  // Input that acts (a click, a key): stamped with the page's clock.
  sendInput(message) {
    this.send({ ...message, ts: clock() });
  }

  // A pointer message: op (1 move, 2 scroll), dx and dy as little-endian float32, then the
  // page's clock as a float64.
  sendPointer(op, dx, dy) {
    if (this.state !== 'ready') return;
    const bytes = new DataView(new ArrayBuffer(17));
    bytes.setUint8(0, op);
    bytes.setFloat32(1, dx, true);
    bytes.setFloat32(5, dy, true);
    bytes.setFloat64(9, clock(), true);
    this.socket.send(bytes.buffer);
  }

  sendNow(message) {
    if (this.socket && this.socket.readyState === WebSocket.OPEN)
      this.socket.send(JSON.stringify(message));
  }

  setState(state) {
    if (state === this.state) return;
    this.state = state;
    this.events.state(state, this.name);
  }
}

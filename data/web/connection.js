// The link to the agent: one WebSocket to the host the page came from, pairing and
// authentication with a token kept in this browser, commands only once authenticated, and a
// new connection whenever the old one drops.

const TOKEN_KEY = 'olvane.token';
const RETRY_FIRST_MS = 500;
const RETRY_LONGEST_MS = 5000;
const PING_EVERY_MS = 15000;
const PONG_WITHIN_MS = 5000;

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
  // events: state(state, name), badcode(), volume(value)
  constructor(url, events) {
    this.url = url;
    this.events = events;
    this.socket = null;
    this.state = 'connecting';
    this.name = '';
    this.retryMs = RETRY_FIRST_MS;
    this.retryTimer = null;
    this.pingTimer = null;
    this.pongTimer = null;
    document.addEventListener('visibilitychange', () => {
      if (document.visibilityState === 'visible' && !this.socket) this.connect();
    });
  }

  connect() {
    clearTimeout(this.retryTimer);
    this.retryTimer = null;
    this.setState('connecting');
    const socket = new WebSocket(this.url);
    socket.binaryType = 'arraybuffer';
    this.socket = socket;
    socket.onopen = () => this.greet();
    socket.onmessage = (event) => this.receive(event.data);
    socket.onclose = () => this.dropped(socket);
  }

  greet() {
    this.retryMs = RETRY_FIRST_MS;
    const token = readToken();
    if (token) this.sendNow({ t: 'hello', token });
    else this.setState('needpair');
  }

  receive(data) {
    if (typeof data !== 'string') return;
    let message;
    try {
      message = JSON.parse(data);
    } catch {
      return;
    }
    clearTimeout(this.pongTimer);
    if (typeof message.name === 'string') this.name = message.name;
    switch (message.t) {
      case 'paired':
        writeToken(message.token);
        this.ready();
        break;
      case 'authok':
        this.ready();
        break;
      case 'needpair':
        // The token was revoked or the agent's token file deleted: pair again.
        writeToken(null);
        this.setState('needpair');
        break;
      case 'badcode':
        this.events.badcode();
        break;
      case 'vol':
        if (Number.isFinite(message.value)) this.events.volume(message.value);
        break;
    }
  }

  ready() {
    this.setState('ready');
    this.send({ t: 'getvol' });
    this.keepAlive();
  }

  // A phone that sleeps or walks out of the network leaves a socket that never closes by
  // itself: an unanswered ping ends it, and the reconnection follows.
  keepAlive() {
    clearInterval(this.pingTimer);
    const socket = this.socket;
    this.pingTimer = setInterval(() => {
      if (this.socket !== socket || document.visibilityState !== 'visible') return;
      this.send({ t: 'ping' });
      clearTimeout(this.pongTimer);
      this.pongTimer = setTimeout(() => socket.close(), PONG_WITHIN_MS);
    }, PING_EVERY_MS);
  }

  dropped(socket) {
    if (this.socket !== socket) return;
    this.socket = null;
    clearInterval(this.pingTimer);
    clearTimeout(this.pongTimer);
    this.setState('offline');
    if (document.visibilityState !== 'visible') return;  // reconnects when shown again
    this.retryTimer = setTimeout(() => this.connect(), this.retryMs);
    this.retryMs = Math.min(this.retryMs * 2, RETRY_LONGEST_MS);
  }

  pair(code) {
    this.sendNow({ t: 'pair', code });
  }

  // Revokes this browser's token and forgets it.
  forget() {
    const token = readToken();
    writeToken(null);
    if (token) this.sendNow({ t: 'unpair', token });
  }

  // Commands go out only once the agent has accepted this browser.
  send(message) {
    if (this.state === 'ready') this.sendNow(message);
  }

  // A nine-byte pointer message: op (1 move, 2 scroll), then dx and dy as little-endian floats.
  sendPointer(op, dx, dy) {
    if (this.state !== 'ready') return;
    const bytes = new DataView(new ArrayBuffer(9));
    bytes.setUint8(0, op);
    bytes.setFloat32(1, dx, true);
    bytes.setFloat32(5, dy, true);
    this.socket.send(bytes.buffer);
  }

  sendNow(message) {
    if (this.socket && this.socket.readyState === WebSocket.OPEN)
      this.socket.send(JSON.stringify(message));
  }

  setState(state) {
    this.state = state;
    this.events.state(state, this.name);
  }
}

// The touchpad page: pairing first, then the pad, the keys, the typing field and the media
// remote, all speaking the agent's own protocol over the WebSocket it serves.
import { Connection } from './connection.js';
import { Keyboard } from './keyboard.js';
import { Touchpad } from './touchpad.js';

const $ = (id) => document.getElementById(id);

const STATUS_TEXT = {
  connecting: 'Connexion…',
  needpair: 'À jumeler',
  ready: 'Connecté',
  offline: 'Hors ligne, nouvelle tentative…',
};

const connection = new Connection(`ws://${location.host}/`, {
  state: showState,
  badcode: () => {
    $('pair-error').textContent = 'Code incorrect. Vérifie le code affiché sur l’ordinateur.';
    $('code').value = '';
    $('code').focus();
  },
  volume: (value) => {
    if (!volumeHeld) $('volume').value = String(value);
  },
});

function showState(state, name) {
  $('status').textContent = STATUS_TEXT[state];
  $('status').dataset.state = state;
  $('computer').textContent = name || 'Olvane';
  // The controls stay on screen while reconnecting; only pairing replaces them.
  if (state === 'needpair' || state === 'ready') {
    $('pairing').hidden = state !== 'needpair';
    $('remote').hidden = state !== 'ready';
  }
  if (state === 'needpair') $('code').focus();
  if (state === 'ready') $('pair-error').textContent = '';
}

// Pairing: four digits go out as soon as they are all there; any other code (one fixed
// on the computer) with the button.
$('pair-form').addEventListener('submit', (event) => {
  event.preventDefault();
  const code = $('code').value.trim();
  if (code) connection.pair(code);
});
$('code').addEventListener('input', () => {
  $('pair-error').textContent = '';
  if (/^\d{4}$/.test($('code').value)) connection.pair($('code').value);
});

new Touchpad($('pad'), {
  move: (dx, dy) => connection.sendPointer(1, dx, dy),
  scroll: (dx, dy) => connection.sendPointer(2, dx, dy),
  click: (right) => connection.send({ t: 'click', right, count: 1 }),
  drag: (down) => connection.send({ t: 'drag', down }),
});

new Keyboard($('typing'), {
  text: (text) => connection.send({ t: 'text', text }),
  key: (name) => connection.send({ t: 'key', name, mods: [] }),
});

for (const button of document.querySelectorAll('[data-key]')) {
  button.addEventListener('click', () => connection.send({ t: 'key', name: button.dataset.key, mods: [] }));
}

for (const button of document.querySelectorAll('[data-media]')) {
  button.addEventListener('click', () => {
    connection.send({ t: 'media', name: button.dataset.media });
    // The agent answers in order, so this reads the volume after the key's change.
    if (button.dataset.media.startsWith('volume') || button.dataset.media === 'mute')
      connection.send({ t: 'getvol' });
  });
}

// The slider sends at most one value per frame while it moves.
let volumeHeld = false;
let volumeFrame = 0;
$('volume').addEventListener('pointerdown', () => { volumeHeld = true; });
$('volume').addEventListener('pointerup', () => { volumeHeld = false; });
$('volume').addEventListener('pointercancel', () => { volumeHeld = false; });
$('volume').addEventListener('input', () => {
  if (volumeFrame) return;
  volumeFrame = requestAnimationFrame(() => {
    volumeFrame = 0;
    connection.send({ t: 'vol', value: Number($('volume').value) });
  });
});
document.addEventListener('visibilitychange', () => {
  if (document.visibilityState === 'visible') connection.send({ t: 'getvol' });
});

$('forget').addEventListener('click', () => {
  if (confirm('Oublier cet ordinateur ? Il faudra saisir un nouveau code.')) connection.forget();
});

connection.connect();

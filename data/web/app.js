// SPDX-License-Identifier: GPL-3.0-or-later
// The touchpad page: pairing first, then the pad, the keys, the typing field and the media
// remote, all speaking the agent's own protocol over the WebSocket it serves.
import { Connection } from './connection.js';
import { Keyboard } from './keyboard.js';
import { t, translatePage } from './language.js';
import { Modifiers } from './modifiers.js';
import { Touchpad } from './touchpad.js';

const $ = (id) => document.getElementById(id);
translatePage();

const STATUS_TEXT = {
  connecting: 'Connexion…',
  needpair: 'À jumeler',
  ready: 'Connecté',
  blocked: 'Sans contrôle',
  offline: 'Hors ligne',
  stranded: 'Injoignable',
};
const OFFLINE_TEXT = 'Hors ligne : gestes et touches ne sont pas envoyés. Reconnexion…';
const PENDING_TEXT = ' Le texte saisi partira au retour de la connexion.';
const STRANDED_TEXT = 'L’ordinateur ne répond pas. Vérifie qu’il est allumé et pas en veille, ' +
    'qu’il est sur le même réseau que ce téléphone et qu’Olvane y est lancé. ' +
    'La page réessaie d’elle-même.';
const BLOCKED_TEXT = 'Cet ordinateur ne peut pas encore être piloté. Sur l’ordinateur, ouvre ' +
    'le menu de l’icône Olvane et choisis « Autoriser l’accessibilité… » : il dit ce qui ' +
    'manque. La page reprend d’elle-même dès que c’est réglé.';
const SENSITIVITY_KEY = 'olvane.sensitivity';
const REPEAT_AFTER_MS = 500;
const REPEAT_EVERY_MS = 50;

// The QR code of the pairing window carries the code in the fragment, which browsers never
// send: read once, then taken out of the address so that it is neither kept nor shared.
const linkParams = new URLSearchParams(location.hash.slice(1));
let linkCode = linkParams.get('code');
if (location.hash) history.replaceState(null, '', location.pathname + location.search);

const connection = new Connection(`ws://${location.host}/`, {
  state: showState,
  badcode: codeRefused,
  volume: showVolume,
});
const online = () => connection.state === 'ready' && connection.ax;

// Linked to a computer that cannot take input (no way to post it, or the desktop refused):
// the controls wait, dimmed, as they do offline, and what is typed waits too.
function showState(state, name) {
  const shown = state === 'ready' && !connection.ax ? 'blocked' : state;
  document.body.dataset.link = shown;
  $('status').textContent = t(STATUS_TEXT[shown]);
  if (name) $('computer').textContent = name;
  // The controls stay on screen, dimmed, while reconnecting; only pairing replaces them.
  if (state === 'needpair' || state === 'ready') {
    $('pairing').hidden = state !== 'needpair';
    $('remote').hidden = state !== 'ready';
    $('open-settings').hidden = state !== 'ready';
  }
  enableControls();
  if (shown !== 'ready') {
    touchpad.reset();
    modifiers.clear();
  }
  if (state === 'needpair') {
    if (linkCode) connection.pair(linkCode);
    else $('code').focus();
    linkCode = null;
  }
  if (state === 'ready') {
    linkCode = null;
    $('pair-error').textContent = '';
    keyboard.sync();  // what was typed offline
  }
  showNotice();
}

// Sound needs no input: it works while control is refused, if the computer can read it.
function enableControls() {
  const state = connection.state;
  const shown = document.body.dataset.link;
  for (const control of document.querySelectorAll('.controls button, #volume')) {
    const sound = control.matches('#mute, .volume *');
    control.disabled = (control.closest('.media, .volume') ? state : shown) !== 'ready' ||
        (sound && !volumeAvailable);
  }
}

function showNotice() {
  const state = connection.state;
  let text = '';
  if (state === 'offline') text = $('remote').hidden ? 'Hors ligne. Reconnexion…' : OFFLINE_TEXT;
  if (state === 'stranded') text = STRANDED_TEXT;
  if (state === 'ready' && !connection.ax) text = BLOCKED_TEXT;
  text = t(text);
  if (text && keyboard.pending()) text += t(PENDING_TEXT);
  $('notice').textContent = text;
  $('notice').hidden = !text;
}

// Pairing: four digits go out as soon as they are all there; any other code (one fixed
// on the computer) with the button. Spaces and dots a keyboard slips in are not part of it.
let lockoutTimer = 0;

function codeRefused(lockoutSeconds) {
  $('pairing').hidden = false;
  $('code').value = '';
  if (lockoutSeconds > 0) return lockOut(lockoutSeconds);
  $('pair-error').textContent = t('Code incorrect. Vérifie le code affiché sur l’ordinateur.');
  $('code').focus();
}

// Too many wrong codes: the agent compares none for a while, so the page counts it down
// rather than let the right code look wrong.
function lockOut(seconds) {
  $('pair-error').textContent = t('Trop d’essais : le jumelage est bloqué un moment.');
  const until = performance.now() + seconds * 1000;
  const submit = $('pair-form').querySelector('button');
  const tick = () => {
    const left = Math.ceil((until - performance.now()) / 1000);
    const locked = left > 0;
    $('code').disabled = submit.disabled = locked;
    submit.textContent = locked ? t('Réessaie dans {n} s').replace('{n}', left) : t('Jumeler');
    if (locked) {
      lockoutTimer = setTimeout(tick, 1000 - ((until - performance.now()) % 1000));
      return;
    }
    $('pair-error').textContent = t('Tu peux réessayer.');
    $('code').focus();
  };
  clearTimeout(lockoutTimer);
  tick();
}

$('pair-form').addEventListener('submit', (event) => {
  event.preventDefault();
  const code = $('code').value.trim();
  if (code) connection.pair(code);
});
$('code').addEventListener('input', () => {
  const code = $('code').value.replace(/[\s.,-]/g, '');
  if (code !== $('code').value) $('code').value = code;
  $('pair-error').textContent = '';
  if (/^\d{4}$/.test(code)) connection.pair(code);
});

// Pointer speed, from 1 to 9: each step is a fifth more or less than the one before.
function sensitivity() {
  return 2 ** ((Number($('sensitivity').value) - 5) / 4);
}
try {
  $('sensitivity').value = localStorage.getItem(SENSITIVITY_KEY) ?? $('sensitivity').value;
} catch {
  // Storage refused: the default speed, for this visit only.
}
$('sensitivity').addEventListener('change', () => {
  try {
    localStorage.setItem(SENSITIVITY_KEY, $('sensitivity').value);
  } catch {
    // Kept for this visit only.
  }
});

// A computer that cannot take input is not sent any; a release always goes, so that nothing
// stays held once control comes back.
const controlled = (send) => (...args) => { if (online()) send(...args); };
const touchpad = new Touchpad($('pad'), {
  move: controlled((dx, dy) => connection.sendPointer(1, dx, dy)),
  scroll: controlled((dx, dy) => connection.sendPointer(2, dx, dy)),
  click: controlled((right) => connection.sendInput({ t: 'click', right, count: 1 })),
  drag: (down) => { if (online() || !down) connection.sendInput({ t: 'drag', down }); },
  sensitivity,
});

const modifiers = new Modifiers(document.querySelectorAll('[data-mod]'),
    (name, down) => connection.sendInput({ t: 'mod', name, down }));
// Keys pressed as keys are stamped; deletions that keep the typed text in step are not, as the
// text itself is not: what is typed is sent again after a lost link, never lost.
const sendKey = (name, mods) => connection.sendInput({ t: 'key', name, mods });

const keyboard = new Keyboard($('typing'), {
  text: (text) => connection.send({ t: 'text', text }),
  key: (name) => connection.send({ t: 'key', name, mods: [] }),
  press: (name) => sendKey(name, modifiers.take()),
  shortcut: () => modifiers.held().length > 0,
  online,
});
$('typing').addEventListener('input', showNotice);

// Buttons under the field do not take the focus from it: on a phone that would close the
// keyboard.
for (const button of document.querySelectorAll('.controls button')) {
  button.addEventListener('pointerdown', (event) => event.preventDefault());
  button.addEventListener('mousedown', (event) => event.preventDefault());
}

for (const button of document.querySelectorAll('[data-key]')) {
  const press = () => {
    const { key, mods } = button.dataset;
    if (mods) sendKey(key, [...new Set([mods, ...modifiers.take()])]);
    else keyboard.press(key);
  };
  if (button.closest('.keys') && button.dataset.key !== 'return') repeatWhileHeld(button, press);
  else button.addEventListener('click', press);
}

// The arrows and ⌫ press at once and repeat while held, as a keyboard's keys do.
function repeatWhileHeld(button, press) {
  let timer = 0;
  const again = (ms) => {
    timer = setTimeout(() => {
      press();
      again(REPEAT_EVERY_MS);
    }, ms);
  };
  button.addEventListener('pointerdown', () => {
    if (button.disabled) return;
    press();
    again(REPEAT_AFTER_MS);
  });
  for (const type of ['pointerup', 'pointercancel', 'pointerleave', 'blur'])
    button.addEventListener(type, () => clearTimeout(timer));
  // A click from the keyboard (Enter or Space on the button) comes without a pointer.
  button.addEventListener('click', (event) => event.detail === 0 && press());
}

for (const button of document.querySelectorAll('[data-media]')) {
  button.addEventListener('click', () => {
    connection.send({ t: 'media', name: button.dataset.media });
    // The agent answers in order, so this reads the volume after the key's change.
    if (button.dataset.media.startsWith('volume') || button.dataset.media === 'mute')
      connection.send({ t: 'getvol' });
  });
}

// The slider sends at most one value per frame while it moves, and is read back once let go.
// Changes made on the computer come as they happen, but never move it under the finger.
// Without a sound server to ask, the computer's answer is a guess: the sound controls are
// then disabled, and say why.
let volumeHeld = false;
let volumeFrame = 0;
let volumeAvailable = true;

function showVolume(value, muted, available) {
  if (available !== volumeAvailable) {
    volumeAvailable = available;
    $('volume').title = available ? '' : t('Volume indisponible sur l’ordinateur');
    $('volume').setAttribute('aria-label', available ? 'Volume' : $('volume').title);
    enableControls();
  }
  if (!volumeHeld) $('volume').value = String(value);
  $('mute').setAttribute('aria-pressed', String(muted));
  $('volume').classList.toggle('muted', muted);
}

function sendVolume() {
  cancelAnimationFrame(volumeFrame);
  volumeFrame = 0;
  connection.send({ t: 'vol', value: Number($('volume').value) });
}

$('volume').addEventListener('pointerdown', () => { volumeHeld = true; });
for (const type of ['pointerup', 'pointercancel'])
  $('volume').addEventListener(type, () => { volumeHeld = false; });
$('volume').addEventListener('input', () => {
  if (!volumeFrame) volumeFrame = requestAnimationFrame(sendVolume);
});
$('volume').addEventListener('change', () => {
  sendVolume();
  connection.send({ t: 'getvol' });
});
document.addEventListener('visibilitychange', () => {
  if (document.visibilityState === 'visible') connection.send({ t: 'getvol' });
});

$('open-settings').addEventListener('click', () => $('settings').showModal());
$('forget').addEventListener('click', () => {
  if (!confirm(t('Oublier cet ordinateur ? Il faudra saisir un nouveau code.'))) return;
  $('settings').close();
  connection.forget();
});

connection.connect();

// SPDX-License-Identifier: GPL-3.0-or-later
// The page speaks French, and English to a browser that prefers another language. The French
// texts are the keys: a text without a translation still reads, in French.

const ENGLISH = {
  'Connexion…': 'Connecting…',
  'À jumeler': 'Not paired',
  'Connecté': 'Connected',
  'Sans contrôle': 'No control',
  'Hors ligne': 'Offline',
  'Injoignable': 'Unreachable',
  'Hors ligne : gestes et touches ne sont pas envoyés. Reconnexion…':
      'Offline: gestures and keys are not sent. Reconnecting…',
  'Hors ligne. Reconnexion…': 'Offline. Reconnecting…',
  ' Le texte saisi partira au retour de la connexion.':
      ' Text typed goes out once the connection is back.',
  ['L’ordinateur ne répond pas. Vérifie qu’il est allumé et pas en veille, qu’il est sur le ' +
      'même réseau que ce téléphone et qu’Olvane y est lancé. La page réessaie d’elle-même.']:
      'The computer does not answer. Check that it is on and awake, on the same network as ' +
      'this phone, and that Olvane runs there. The page keeps trying.',
  ['Cet ordinateur ne peut pas encore être piloté. Sur l’ordinateur, ouvre le menu de l’icône ' +
      'Olvane et choisis « Autoriser l’accessibilité… » : il dit ce qui manque. La page ' +
      'reprend d’elle-même dès que c’est réglé.']:
      'This computer cannot be controlled yet. On the computer, open the Olvane icon’s menu ' +
      'and choose “Allow accessibility…”: it says what is missing. The page resumes ' +
      'by itself once that is done.',
  'Code incorrect. Vérifie le code affiché sur l’ordinateur.':
      'Wrong code. Check the code shown on the computer.',
  'Trop d’essais : le jumelage est bloqué un moment.': 'Too many tries: pairing is locked for a while.',
  'Réessaie dans {n} s': 'Try again in {n} s',
  'Jumeler': 'Pair',
  'Tu peux réessayer.': 'You can try again.',
  'Volume indisponible sur l’ordinateur': 'Volume unavailable on the computer',
  'Oublier cet ordinateur ? Il faudra saisir un nouveau code.':
      'Forget this computer? A new code will be needed.',
  'Réglages': 'Settings',
  'Jumeler ce téléphone': 'Pair this phone',
  'Saisis le code à quatre chiffres affiché par Olvane sur l’ordinateur.':
      'Type the four-digit code Olvane shows on the computer.',
  'Code de jumelage': 'Pairing code',
  'Pavé tactile': 'Touchpad',
  'Glisse pour déplacer · touche pour cliquer': 'Slide to move · tap to click',
  'Deux doigts : défiler, ou toucher pour le clic droit': 'Two fingers: scroll, or tap to right-click',
  'Touche deux fois et garde le doigt : faire glisser': 'Tap twice and hold: drag',
  'Raccourcis': 'Shortcuts',
  'Majuscule': 'Shift',
  'Tabulation': 'Tab',
  'Échap': 'Esc',
  'Début': 'Home',
  'Fin': 'End',
  'Page précédente': 'Page up',
  'Page suivante': 'Page down',
  'Copier': 'Copy',
  'Coller': 'Paste',
  'Fenêtres': 'Windows',
  'Fenêtres (Alt+Tab)': 'Windows (Alt+Tab)',
  'Gauche': 'Left',
  'Haut': 'Up',
  'Bas': 'Down',
  'Droite': 'Right',
  'Effacer': 'Backspace',
  'Entrée': 'Enter',
  'Écrire sur l’ordinateur…': 'Type on the computer…',
  'Texte à taper': 'Text to type',
  'Précédent': 'Previous',
  'Lecture ou pause': 'Play or pause',
  'Suivant': 'Next',
  'Couper le son': 'Mute',
  'Baisser le volume': 'Volume down',
  'Monter le volume': 'Volume up',
  'Vitesse du pointeur': 'Pointer speed',
  'Lente': 'Slow',
  'Rapide': 'Fast',
  'Oublier cet ordinateur': 'Forget this computer',
  'Fermer': 'Close',
};

const french = (navigator.languages?.[0] ?? navigator.language ?? 'fr').toLowerCase()
    .startsWith('fr');

export const t = (text) => (french ? text : ENGLISH[text] ?? text);

// The texts, labels and placeholders written in the page itself.
export function translatePage() {
  if (french) return;
  document.documentElement.lang = 'en';
  const walker = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT);
  for (let node = walker.nextNode(); node; node = walker.nextNode()) {
    const text = node.nodeValue.trim();
    if (ENGLISH[text]) node.nodeValue = node.nodeValue.replace(text, ENGLISH[text]);
  }
  for (const element of document.querySelectorAll('[aria-label], [placeholder]')) {
    for (const name of ['aria-label', 'placeholder']) {
      const value = element.getAttribute(name);
      if (ENGLISH[value]) element.setAttribute(name, ENGLISH[value]);
    }
  }
}

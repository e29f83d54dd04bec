// SPDX-License-Identifier: GPL-3.0-or-later
// Drives Debian's Chromium for the end-to-end tests through Playwright's core package: one
// JSON request per line on stdin, one JSON answer per line on stdout. The Python tests keep
// control and check the real desktop between the steps.
'use strict';
const { chromium } = require('playwright-core');

let context = null;
let page = null;
let cdp = null;
// A response or a screenshot's bytes are no answer for the tests; data is.
const plain = (value) =>
  value instanceof Object && ![Object, Array].includes(value.constructor) ? null : value;

const ops = {
  async launch({ profile, viewport }) {
    context = await chromium.launchPersistentContext(profile, {
      executablePath: '/usr/bin/chromium',
      viewport,
      deviceScaleFactor: 2,
      isMobile: true,
      hasTouch: true,
      locale: 'fr-FR',
    });
    page = context.pages()[0];
    page.on('console', (message) => console.error('page:', message.text()));
    page.on('pageerror', (error) => console.error('page error:', error));
    page.on('dialog', (dialog) => dialog.accept());
    cdp = await context.newCDPSession(page);
  },
  page: ({ method, args }) => page[method](...args),
  locator: ({ selector, method, args }) => page.locator(selector)[method](...args),
  // Paced here as a hand would, not by round trips: each event is [type, [[x, y]...] in CSS
  // pixels, milliseconds to wait after it].
  async touches({ events }) {
    for (const [type, points, pause] of events) {
      const touchPoints = points.map(([x, y], id) => ({ x, y, id, radiusX: 4, radiusY: 4 }));
      await cdp.send('Input.dispatchTouchEvent', { type, touchPoints });
      await new Promise((resolve) => setTimeout(resolve, pause));
    }
  },
};

require('node:readline')
  .createInterface({ input: process.stdin })
  .on('line', async (line) => {
    const { op, ...args } = JSON.parse(line);
    const answer = await Promise.resolve()
      .then(() => ops[op](args))
      .then((value) => ({ value: plain(value) }), (error) => ({ error: String(error.stack) }));
    process.stdout.write(JSON.stringify(answer) + '\n');
  });
// Chromium goes with the driver.
process.on('SIGTERM', () => context.close().finally(() => process.exit(0)));

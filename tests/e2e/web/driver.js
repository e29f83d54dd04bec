// Drives Debian's Chromium for the end-to-end tests through Playwright's core package: one
// JSON request per line on stdin, one JSON answer per line on stdout. The Python tests keep
// control and check the real desktop between the steps.
'use strict';
const readline = require('node:readline');
const { chromium } = require('playwright-core');

let context = null;
let page = null;
let touch = null;

const ops = {
  async launch({ userDataDir, width, height, scale }) {
    context = await chromium.launchPersistentContext(userDataDir, {
      executablePath: '/usr/bin/chromium',
      headless: true,
      args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
             '--disable-component-update', '--disable-sync', '--no-first-run'],
      viewport: { width, height },
      deviceScaleFactor: scale,
      isMobile: true,
      hasTouch: true,
      locale: 'fr-FR',
    });
    page = context.pages()[0] || await context.newPage();
    page.on('console', (message) => process.stderr.write(`page: ${message.text()}\n`));
    page.on('pageerror', (error) => process.stderr.write(`page error: ${error}\n`));
    touch = await context.newCDPSession(page);
  },
  async goto({ url }) {
    const response = await page.goto(url);
    return response.status();
  },
  async reload() {
    await page.reload();
  },
  async waitVisible({ selector }) {
    await page.locator(selector).waitFor({ state: 'visible' });
  },
  async fill({ selector, value }) {
    await page.locator(selector).fill(value);
  },
  async type({ selector, text }) {
    await page.locator(selector).pressSequentially(text);
  },
  async press({ selector, key }) {
    await page.locator(selector).press(key);
  },
  async click({ selector }) {
    await page.locator(selector).click();
  },
  async tap({ selector }) {
    await page.locator(selector).tap();
  },
  async evaluate({ expression }) {
    return page.evaluate(expression);
  },
  async viewport({ width, height }) {
    await page.setViewportSize({ width, height });
  },
  async text({ selector }) {
    return page.locator(selector).textContent();
  },
  async value({ selector }) {
    return page.locator(selector).inputValue();
  },
  async attribute({ selector, name }) {
    return page.locator(selector).getAttribute(name);
  },
  async box({ selector }) {
    return page.locator(selector).boundingBox();
  },
  // Touch events paced here rather than by round trips, as a hand would: each has a type
  // (touchStart, touchMove, touchEnd), points [[x, y]] in CSS pixels of the viewport, and
  // the milliseconds to wait after it.
  async touches({ events }) {
    for (const { type, points, pause } of events) {
      await touch.send('Input.dispatchTouchEvent', {
        type,
        touchPoints: points.map(([x, y], id) => ({ x, y, id, radiusX: 4, radiusY: 4, force: 1 })),
      });
      await new Promise((resolve) => setTimeout(resolve, pause));
    }
  },
  async screenshot({ path }) {
    await page.screenshot({ path });
  },
  async close() {
    if (context) await context.close();
    context = null;
  },
};

const lines = readline.createInterface({ input: process.stdin });
let queue = Promise.resolve();
lines.on('line', (line) => {
  queue = queue.then(async () => {
    const { op, ...args } = JSON.parse(line);
    try {
      const value = await ops[op](args);
      process.stdout.write(JSON.stringify({ ok: true, value: value ?? null }) + '\n');
    } catch (error) {
      process.stdout.write(JSON.stringify({ ok: false, error: String(error.stack || error) }) + '\n');
    }
  });
});
lines.on('close', () => queue.then(() => ops.close()).then(() => process.exit(0)));

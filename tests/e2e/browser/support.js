// What the browser scripts share: chromium, sessions of the gateway's pages, screenshots,
// the modem simulator. The e2e test AdminPagesBrowserTest passes the gateway's address and
// the simulator's control socket in the environment.
'use strict';

const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { execFileSync } = require('node:child_process');
const { chromium } = require('playwright-core');

const baseUrl = process.env.PARLINO_URL;
const artifacts = process.env.PARLINO_ARTIFACTS;
const modemLine = 'Modem aktiv: COM3, Brevant - GX-7 - 4711';
const stoppedLine = 'Das Modem (seriell) ist NICHT aktiv!';

let browser;
const tokens = new Set();

async function startBrowser() {
  assert.ok(baseUrl, 'PARLINO_URL names the running gateway');
  // launch() starts chromium on a fresh profile folder of its own (it refuses
  // --user-data-dir), removed when the browser closes.
  browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
}

// Closes the browser and writes the session tokens seen, for the check that none reached the
// gateway's log.
async function stopBrowser() {
  if (browser) {
    await browser.close();
  }
  const file = process.env.PARLINO_TOKENS || 'tokens.txt';
  fs.writeFileSync(path.join(artifacts, file), [...tokens].join('\n') + '\n');
}

function remember(page) {
  const match = /\/EXEC\/([0-9a-f]{32})/.exec(page.url());
  if (match) {
    tokens.add(match[1]);
  }
  return match ? match[1] : null;
}

// A fresh browser context (no shared state), its page opened on the start address. Native
// dialogs would mean script ran on the page: they are collected for the tests to check.
async function openSession(options = {}) {
  const context = await browser.newContext({ viewport: { width: 1280, height: 900 }, ...options });
  const page = await context.newPage();
  const dialogs = [];
  page.on('dialog', (dialog) => { dialogs.push(dialog.message()); dialog.dismiss(); });
  const response = await page.goto(`${baseUrl}/`);
  remember(page);
  return { context, page, dialogs, response };
}

async function shoot(page, name) {
  await page.screenshot({ path: path.join(artifacts, `${name}.png`), fullPage: true });
}

// Runs an action that submits the page and waits for the page that answers it.
async function submitting(page, action) {
  await Promise.all([page.waitForEvent('load'), action()]);
}

// Submits the page's form under another page name and event, as a forged request would.
async function submitAs(page, pageName, event) {
  await submitting(page, () => page.evaluate(([name, control]) => {
    const form = document.getElementById('webform');
    form.elements._page.value = name;
    form.elements._event.value = control;
    form.submit();
  }, [pageName, event]));
}

async function logOn(page, user, password) {
  await page.fill('#edtUsername', user);
  await page.fill('#edtPassword', password);
  await submitting(page, () => page.press('#edtPassword', 'Enter'));
}

// Reloads until the modem-state line reads aText (the modem starts in the background).
async function waitForModemLine(page, aText) {
  const deadline = Date.now() + 60000;
  for (;;) {
    const text = await page.textContent('#lblModemStateInfo');
    if (text === aText || Date.now() > deadline) {
      return text;
    }
    await page.waitForTimeout(500);
    await page.reload();
  }
}

// One control line to the modem simulator; returns its reply.
function simulator(command) {
  return execFileSync(process.env.PARLINO_MODEMSIM,
    ['--control', process.env.PARLINO_SIM_CONTROL, '--command', command]).toString().trim();
}

module.exports = {
  baseUrl, modemLine, stoppedLine, startBrowser, stopBrowser, remember, openSession, shoot,
  submitting, submitAs, logOn, waitForModemLine, simulator,
};

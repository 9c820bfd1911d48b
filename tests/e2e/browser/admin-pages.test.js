// The administration pages as a browser sees them. Started by the e2e test
// AdminPagesBrowserTest, which runs the gateway and passes its address in the environment.
'use strict';

const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { execFileSync } = require('node:child_process');
const { chromium } = require('playwright-core');

const baseUrl = process.env.PARLINO_URL;
const artifacts = process.env.PARLINO_ARTIFACTS;
const sessionTimeoutMs = Number(process.env.PARLINO_SESSION_TIMEOUT_MS || 6000);
const markupAccount = process.env.PARLINO_MARKUP_ACCOUNT;
const modemLine = 'Modem aktiv: COM3, Brevant - GX-7 - 4711';
const stoppedLine = 'Das Modem (seriell) ist NICHT aktiv!';

let browser;
const tokens = new Set();

before(async () => {
  assert.ok(baseUrl, 'PARLINO_URL names the running gateway');
  // launch() starts chromium on a fresh profile folder of its own (it refuses
  // --user-data-dir), removed when the browser closes.
  browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
});

after(async () => {
  if (browser) {
    await browser.close();
  }
  fs.writeFileSync(path.join(artifacts, 'tokens.txt'), [...tokens].join('\n') + '\n');
});

// A fresh browser context (no shared state), its page opened on the start address.
async function openSession(options = {}) {
  const context = await browser.newContext(options);
  const page = await context.newPage();
  const dialogs = [];
  page.on('dialog', (dialog) => { dialogs.push(dialog.message()); dialog.dismiss(); });
  const response = await page.goto(`${baseUrl}/`);
  remember(page);
  return { context, page, dialogs, response };
}

function remember(page) {
  const match = /\/EXEC\/([0-9a-f]{32})/.exec(page.url());
  if (match) {
    tokens.add(match[1]);
  }
  return match ? match[1] : null;
}

async function shoot(page, name) {
  await page.screenshot({ path: path.join(artifacts, `${name}.png`), fullPage: true });
}

// Submits the page's form under another page name and event, as a forged request would.
async function submitAs(page, pageName, event) {
  await Promise.all([
    page.waitForEvent('load'),
    page.evaluate(([name, control]) => {
      const form = document.getElementById('webform');
      form.elements._page.value = name;
      form.elements._event.value = control;
      form.submit();
    }, [pageName, event]),
  ]);
}

async function logOn(page, user, password) {
  await page.fill('#edtUsername', user);
  await page.fill('#edtPassword', password);
  await page.press('#edtPassword', 'Enter');
  await page.waitForLoadState('load');
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

test('the logon page with its texts, headers and the icon credits', async () => {
  const { context, page, response } = await openSession();
  assert.equal(await page.title(), 'Anmeldung (Parlino)');
  assert.match(page.url(), /\/EXEC\/[0-9a-f]{32}$/);
  assert.equal(response.headers()['cache-control'], 'no-store');
  assert.equal(response.headers()['referrer-policy'], 'no-referrer');
  assert.equal(await page.textContent('#lbProductInfo'),
    'Bitte geben Sie Ihren Nutzernamen und das zugehörige Passwort für den SMS Server ein.');
  assert.equal(await page.textContent('#lbUserName'), 'Nutzername:');
  assert.equal(await page.textContent('#lbPassword'), 'Passwort:');
  assert.equal(await page.inputValue('#btnLogOn'), 'Anmelden...');
  assert.equal(await page.getAttribute('#imgBanner', 'alt'), 'Kopfzeile');
  assert.equal(await page.textContent('#IWLabel1'), 'Verwendete Icons von: ');
  assert.equal(await page.textContent('#lnkIcons'), 'Tango Desktop Project');
  assert.equal(await page.getAttribute('#lnkIcons', 'target'), '_blank');
  assert.equal(await page.getAttribute('#lnkIcons', 'href'), 'http://tango.freedesktop.org/');
  const banner = await page.evaluate(() => document.getElementById('imgBanner').naturalWidth);
  assert.ok(banner > 0, 'the banner is served from the data folder');
  await shoot(page, 'logon');
  await context.close();
});

test('the three refused logons', async () => {
  const cases = [
    ['nobody', 'admin', 'unknown account'],
    ['admin', 'falsch', 'wrong password'],
    ['anna', 'geheim', 'account type 3, no administrator'],
  ];
  for (const [user, password, why] of cases) {
    const { context, page } = await openSession();
    await logOn(page, user, password);
    assert.equal(await page.title(), 'Anmeldung (Parlino)', why);
    assert.equal(await page.textContent('#lbOutput'), 'Anmeldung fehlgeschlagen!', why);
    assert.equal(await page.inputValue('#edtUsername'), '', why);
    assert.equal(await page.inputValue('#edtPassword'), '', why);
    if (user === 'admin') {
      await shoot(page, 'logon-failed');
    }
    await context.close();
  }
});

test('logon, the modem line, stopping and starting the modem, the overview', async () => {
  const { context, page } = await openSession();
  await logOn(page, 'admin', 'admin');
  assert.equal(await page.title(), 'Hauptseite');
  assert.equal(await page.textContent('#lblLoggedUsername'), 'admin');
  assert.equal(await page.textContent('#lblStateInfo'), 'Modem Brevant GX-7 4711 an COM3');
  assert.equal(await page.textContent('#lblModemStateInfo'), modemLine);
  assert.equal(await page.$eval('#lblModemStateInfo', (e) => getComputedStyle(e).color),
    'rgb(0, 128, 0)');
  assert.equal(await page.getAttribute('#imgLogout', 'title'), 'Abmelden');
  assert.equal(await page.getAttribute('#btnAccounts', 'title'), 'Nutzerkonten verwalten');
  assert.equal(await page.getAttribute('#btnAccounts', 'alt'), 'Nutzerkonten');
  assert.equal(await page.getAttribute('#tvWelcome', 'title'), 'Bisher nicht abgeholte SMS');
  assert.match(await page.textContent('#tvWelcome'), /anna: 2 SMS/);
  await shoot(page, 'main');

  // An SMS arrives for anna (receive pattern 4917); the refresh image shows it.
  execFileSync(process.env.PARLINO_MODEMSIM, ['--control', process.env.PARLINO_SIM_CONTROL,
    '--command', 'deliver +4917155555 Hallo Anna']);
  let overview = '';
  for (let i = 0; i < 40 && !/anna: 3 SMS/.test(overview); ++i) {
    await page.waitForTimeout(250);
    await page.click('#btnRefreshOverview');
    await page.waitForLoadState('load');
    overview = await page.textContent('#tvWelcome');
  }
  assert.match(overview, /anna: 3 SMS/);

  await page.click('#lnkStopSerialModem');
  await page.waitForLoadState('load');
  assert.equal(await page.textContent('#lblModemStateInfo'), stoppedLine);
  assert.equal(await page.$eval('#lblModemStateInfo', (e) => getComputedStyle(e).color),
    'rgb(255, 0, 0)');
  await shoot(page, 'main-modem-stopped');

  await page.click('#lnkStartSerialModem');
  await page.waitForLoadState('load');
  assert.equal(await waitForModemLine(page, modemLine), modemLine);
  await context.close();
});

test('logout ends the logon: the back button and a forged page name lead to the logon page',
  async () => {
    const { context, page } = await openSession();
    await logOn(page, 'admin', 'admin');
    assert.equal(await page.title(), 'Hauptseite');
    await page.click('#imgLogout');
    await page.waitForLoadState('load');
    assert.equal(await page.title(), 'Anmeldung (Parlino)');
    // Every page of a session has the session's address, so the back button leaves the
    // pages or, where it stays on them, shows the logon page; forward and reload too.
    await page.goBack();
    if (page.url().includes('/EXEC/')) {
      assert.equal(await page.title(), 'Anmeldung (Parlino)');
    }
    await page.goForward();
    assert.equal(await page.title(), 'Anmeldung (Parlino)');
    await page.reload();
    assert.equal(await page.title(), 'Anmeldung (Parlino)');

    // The logon page's form sent as if it were the main page, asking to stop the modem.
    await submitAs(page, 'MainForm', 'lnkStopSerialModem');
    assert.equal(await page.title(), 'Anmeldung (Parlino)');
    assert.equal(await page.$('#lnkStopSerialModem'), null);
    await context.close();

    // Nor may a session that never logged on name the page.
    const fresh = await openSession();
    await submitAs(fresh.page, 'MainForm', '');
    assert.equal(await fresh.page.title(), 'Anmeldung (Parlino)');
    await fresh.context.close();

    // The modem still runs: the forged stop did nothing.
    const admin = await openSession();
    await logOn(admin.page, 'admin', 'admin');
    assert.equal(await admin.page.textContent('#lblModemStateInfo'), modemLine);
    await admin.context.close();
  });

test('a token of no live session gets the timed-out page', async () => {
  const { context, page } = await openSession();
  const own = remember(page);
  const forged = own.split('').reverse().join('');
  await page.goto(`${baseUrl}/EXEC/${forged}`);
  assert.equal(await page.title(), 'Sitzung abgelaufen');
  await context.close();
});

test('the HTML 3.2 pages work without script', async () => {
  const { context, page } = await openSession({
    userAgent: 'ParlinoTestBrowser/1.0 (HTML/3.2)',
    javaScriptEnabled: false,
  });
  assert.equal(await page.title(), 'Anmeldung kvGateway');
  assert.equal(await page.textContent('#lbInfo'), 'Bitte melden Sie sich am kvGateway an.');
  assert.equal(await page.$('script'), null);
  await shoot(page, 'logon32');
  await page.fill('#edtUsername', 'admin');
  await page.fill('#edtPassword', 'falsch');
  await page.click('#btnLogOn');
  assert.equal(await page.textContent('#lbOutput'), 'Anmeldung fehlgeschlagen!');
  await page.fill('#edtUsername', 'admin');
  await page.fill('#edtPassword', 'admin');
  await page.click('#btnLogOn');
  assert.equal(await page.title(), 'Hauptmenü kvGateway');
  assert.equal(await page.textContent('#lblLoggedUsername'), 'admin');
  assert.equal(await page.getAttribute('#btnLogout', 'alt'), 'Logout');
  assert.equal(await page.getAttribute('#btnLogout', 'title'), 'Den aktuellen Nutzer abmelden');
  assert.equal(await page.$('#lnkStopSerialModem'), null);
  await shoot(page, 'main32');
  await page.click('#btnLogout');
  assert.equal(await page.title(), 'Anmeldung kvGateway');
  await context.close();
});

test('an account name with markup is shown as text and runs nothing', async () => {
  const { context, page, dialogs } = await openSession();
  await logOn(page, markupAccount, 'markup');
  assert.equal(await page.title(), 'Hauptseite');
  assert.equal(await page.textContent('#lblLoggedUsername'), markupAccount);
  assert.equal(await page.evaluate(() => window.__pwned), undefined);
  assert.equal(await page.$('#lblLoggedUsername img'), null);
  assert.deepEqual(dialogs, []);
  await shoot(page, 'main-markup-account');
  await context.close();
});

test('an idle session times out and the next request opens a new one', async () => {
  const { context, page } = await openSession();
  const first = remember(page);
  await page.waitForTimeout(sessionTimeoutMs + 3000);
  await page.reload();
  assert.equal(await page.title(), 'Sitzung abgelaufen');
  await shoot(page, 'timed-out');
  await page.click('#weblink');
  await page.waitForLoadState('load');
  assert.equal(await page.title(), 'Anmeldung (Parlino)');
  const second = remember(page);
  assert.ok(second && second !== first, 'a new session with a new token');
  await context.close();
});

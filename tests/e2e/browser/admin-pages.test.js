// The administration pages as a browser sees them. Started by the e2e test
// AdminPagesBrowserTest, which runs the gateway and passes its address in the environment.
'use strict';

const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const {
  baseUrl, modemLine, stoppedLine, startBrowser, stopBrowser, remember, openSession, shoot,
  submitting, submitAs, logOn, waitForModemLine, simulator,
} = require('./support');

const sessionTimeoutMs = Number(process.env.PARLINO_SESSION_TIMEOUT_MS || 6000);
const markupAccount = process.env.PARLINO_MARKUP_ACCOUNT;

before(startBrowser);
after(stopBrowser);

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
  simulator('deliver +4917155555 Hallo Anna');
  let overview = '';
  for (let i = 0; i < 40 && !/anna: 3 SMS/.test(overview); ++i) {
    await page.waitForTimeout(250);
    await submitting(page, () => page.click('#btnRefreshOverview'));
    overview = await page.textContent('#tvWelcome');
  }
  assert.match(overview, /anna: 3 SMS/);

  await submitting(page, () => page.click('#lnkStopSerialModem'));
  assert.equal(await page.textContent('#lblModemStateInfo'), stoppedLine);
  assert.equal(await page.$eval('#lblModemStateInfo', (e) => getComputedStyle(e).color),
    'rgb(255, 0, 0)');
  await shoot(page, 'main-modem-stopped');

  await submitting(page, () => page.click('#lnkStartSerialModem'));
  assert.equal(await waitForModemLine(page, modemLine), modemLine);
  await context.close();
});

test('logout ends the logon: the back button and a forged page name lead to the logon page',
  async () => {
    const { context, page } = await openSession();
    await logOn(page, 'admin', 'admin');
    assert.equal(await page.title(), 'Hauptseite');
    await submitting(page, () => page.click('#imgLogout'));
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
  await submitting(page, () => page.click('#weblink'));
  assert.equal(await page.title(), 'Anmeldung (Parlino)');
  const second = remember(page);
  assert.ok(second && second !== first, 'a new session with a new token');
  await context.close();
});

// The accounts page, the send page and the two message lists as a browser sees them.
// Started by the e2e test AdminPagesBrowserTest, which prepares the accounts and messages
// named here and checks the database once the gateway has stopped.
'use strict';

const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const {
  modemLine, stoppedLine, startBrowser, stopBrowser, openSession, shoot, submitting, logOn,
  waitForModemLine, simulator,
} = require('./support');

const white = 'rgb(255, 255, 255)';
const red = 'rgb(255, 0, 0)';
const markupText = '<script>window.__pwned=1</script><img src=x onerror="window.__pwned=2">';

before(startBrowser);
after(stopBrowser);

// A logged-on administrator on the page the main page's image aButton leads to.
async function openPage(aButton, user = 'admin', password = 'admin') {
  const session = await openSession();
  await logOn(session.page, user, password);
  assert.equal(await session.page.title(), 'Hauptseite');
  await submitting(session.page, () => session.page.click(aButton));
  return session;
}

async function click(page, selector) {
  await submitting(page, () => page.click(selector));
}

async function output(page) {
  return {
    text: await page.textContent('#lblOutput'),
    color: await page.$eval('#lblOutput', (e) => getComputedStyle(e).color),
  };
}

async function accountNames(page) {
  return page.$$eval('#lbAccounts option', (options) => options.map((o) => o.textContent));
}

async function selectAccount(page, name) {
  await submitting(page, () => page.selectOption('#lbAccounts', { label: name }));
}

async function selectedType(page) {
  return page.$eval('#cbbAccountType', (s) => s.options[s.selectedIndex].textContent);
}

async function messageBox(page) {
  const text = await page.textContent('#webmessagetext');
  await page.click('#webmessageok');
  return text;
}

async function gridRows(page) {
  return page.$$eval('#grdMessages tr', (rows) => rows
    .filter((row) => row.querySelector('td'))
    .map((row) => [...row.querySelectorAll('td')].map((cell) => cell.textContent.trim())));
}

async function position(page) {
  return page.textContent('.wc-grid-position');
}

async function navigate(page, button) {
  await click(page, `input[name="dbnavMessages$${button}"]`);
}

// Answers the navigator's question after checking its text.
async function answer(page, question, yes) {
  assert.equal((await page.textContent('.wc-question')).trim(), question);
  await click(page, `input[name="dbnavMessages$${yes ? 'yes' : 'no'}"]`);
}

// Leaves a list page by its close image and opens it again from the main page.
async function reopen(page, aButton) {
  await click(page, '#btnClose');
  assert.equal(await page.title(), 'Hauptseite');
  await click(page, aButton);
}

test('the accounts page lists, filters and loads accounts', async () => {
  const { context, page } = await openPage('#btnAccounts');
  assert.equal(await page.title(), 'Nutzerkonten');
  assert.deepEqual(await output(page), { text: '-------', color: white });
  assert.equal(await page.getAttribute('#btnAddAccount', 'title'), 'Ein neues Konto hinzufügen');
  assert.equal(await page.getAttribute('#btnDeleteAccount', 'title'),
    'Das ausgewählte Konto löschen');
  assert.equal(await page.getAttribute('#btnCommitAccount', 'title'),
    'Änderungen am aktuellen Konto übernehmen');
  assert.equal(await page.textContent('#lblUserData'), 'Nutzerdaten');
  assert.ok(await page.isChecked('#cbAccountActive'));
  assert.deepEqual((await accountNames(page)).sort(),
    ['Admin', 'admin', 'anna', 'befristet', 'pflege']);

  await page.fill('#edtTextfilter', 'adm');
  await click(page, '#btnFilter');
  assert.deepEqual(await accountNames(page), ['admin']);
  await page.fill('#edtTextfilter', '');
  await click(page, '#btnFilter');
  assert.equal((await accountNames(page)).length, 5);

  await selectAccount(page, 'befristet');
  assert.equal(await page.inputValue('#edtAccountName'), 'befristet');
  assert.equal(await page.textContent('#lblAccountID'), '50');
  assert.equal(await selectedType(page), 'SMS empfangen erlaubt');
  assert.equal(await page.inputValue('#edtAccountExtraID'), '77');
  assert.equal(await page.isChecked('#cbAccountActive'), false);
  assert.ok(await page.isChecked('#cbAccountUsesExpiring'));
  assert.match(await page.textContent('#cldAccountExpirationDate'), /März 2027/);
  assert.equal(await page.textContent('#cldAccountExpirationDate .wc-calendar-selected'), '15');
  // The stored hash never goes to the browser.
  const shown = await page.inputValue('#edtAccountPassword');
  assert.ok(shown.length > 0 && !/^[0-9a-f]{32}$/.test(shown));
  await shoot(page, 'accounts');

  // Committing without picking a day keeps the expiration date.
  await click(page, '#btnCommitAccount');
  assert.deepEqual(await output(page),
    { text: 'Das Konto "befristet" wurde geändert.', color: white });
  await shoot(page, 'accounts-committed');
  await selectAccount(page, 'anna');
  await selectAccount(page, 'befristet');
  assert.ok(await page.isChecked('#cbAccountUsesExpiring'));
  assert.equal(await page.textContent('#cldAccountExpirationDate .wc-calendar-selected'), '15');
  // Clearing the box removes it.
  await page.uncheck('#cbAccountUsesExpiring');
  await click(page, '#btnCommitAccount');
  await selectAccount(page, 'anna');
  await selectAccount(page, 'befristet');
  assert.equal(await page.isChecked('#cbAccountUsesExpiring'), false);
  assert.equal(await page.$('#cldAccountExpirationDate .wc-calendar-selected'), null);
  await context.close();
});

test('a loaded password is kept, a typed one replaces it', async () => {
  const { context, page } = await openPage('#btnAccounts');
  await selectAccount(page, 'pflege');
  await click(page, '#btnCommitAccount');
  assert.equal((await output(page)).text, 'Das Konto "pflege" wurde geändert.');
  const kept = await openSession();
  await logOn(kept.page, 'pflege', 'pflege1');
  assert.equal(await kept.page.title(), 'Hauptseite');
  await kept.context.close();

  await selectAccount(page, 'pflege');
  await page.fill('#edtAccountPassword', 'neu-geheim');
  await click(page, '#btnCommitAccount');
  assert.equal((await output(page)).text, 'Das Konto "pflege" wurde geändert.');
  const changed = await openSession();
  await logOn(changed.page, 'pflege', 'neu-geheim');
  assert.equal(await changed.page.title(), 'Hauptseite');
  await changed.context.close();
  await context.close();
});

test('adding checks name, password, type, extra number and the name in this order', async () => {
  const { context, page } = await openPage('#btnAccounts');
  const refused = async (text) => {
    await click(page, '#btnAddAccount');
    assert.deepEqual(await output(page), { text, color: red });
  };
  await refused('Bitte geben Sie einen Namen für das Konto an.');
  await page.fill('#edtAccountName', 'neu12');
  await refused('Bitte geben Sie eine Passwort für das Konto an.');
  await page.fill('#edtAccountPassword', 'start1');
  await refused('Bitte wählen Sie einen gültigen Typ für das Konto aus.');
  await page.selectOption('#cbbAccountType', { label: 'SMS senden erlaubt' });
  await page.fill('#edtAccountExtraID', '12a');
  await refused('Die zusätzliche Nummer muss eine Zahl sein. Der Wert "12a" ist keine Zahl.');
  await shoot(page, 'accounts-refused');
  await page.fill('#edtAccountExtraID', '');
  await page.fill('#edtAccountName', 'admin');
  await refused('Ein Konto mit dem Namen "admin" existiert bereits, ein weiteres kann nicht '
    + 'angelegt werden.');

  // Ticked without a day picked: no expiration date.
  await page.fill('#edtAccountName', 'neu12');
  await page.check('#cbAccountUsesExpiring');
  await click(page, '#btnAddAccount');
  assert.deepEqual(await output(page),
    { text: 'Es wurde ein neues Konto "neu12" angelegt.', color: white });
  assert.ok((await accountNames(page)).includes('neu12'));
  await selectAccount(page, 'neu12');
  assert.equal(await page.isChecked('#cbAccountUsesExpiring'), false);
  assert.equal(await page.inputValue('#edtAccountExtraID'), '0');
  assert.equal(await selectedType(page), 'SMS senden erlaubt');
  await context.close();
});

test('committing keeps account names unique', async () => {
  const { context, page } = await openPage('#btnAccounts');
  await click(page, '#btnCommitAccount');
  assert.deepEqual(await output(page),
    { text: 'Bitte wählen Sie ein Konto in der Liste aus.', color: red });
  await selectAccount(page, 'anna');
  await page.fill('#edtAccountName', 'annaNeu');
  await click(page, '#btnCommitAccount');
  assert.deepEqual(await output(page), {
    text: 'Ein Konto mit dem Namen "annaNeu" existiert NICHT, es kann also nicht aktualisiert '
      + 'werden.',
    color: red,
  });
  await page.fill('#edtAccountName', 'Admin');
  await click(page, '#btnCommitAccount');
  assert.deepEqual(await output(page), {
    text: 'Der Name "Admin" gehört bereits zu einem anderen Konto; Kontonamen müssen eindeutig '
      + 'sein. Das Konto wurde nicht geändert.',
    color: red,
  });
  await shoot(page, 'accounts-name-taken');
  await click(page, '#btnFilter');
  const names = await accountNames(page);
  assert.equal(names.filter((n) => n === 'Admin').length, 1);
  assert.equal(names.filter((n) => n === 'anna').length, 1);
  await context.close();
});

test('deleting needs a selection and keeps the edit area', async () => {
  const { context, page } = await openPage('#btnAccounts');
  await click(page, '#btnDeleteAccount');
  assert.deepEqual(await output(page),
    { text: 'Bitte wählen Sie ein Konto in der Liste aus.', color: red });
  assert.equal((await accountNames(page)).length, 6);
  await selectAccount(page, 'anna');
  await click(page, '#btnDeleteAccount');
  assert.deepEqual(await output(page),
    { text: 'Das Konto "anna (3)" wurde gelöscht.', color: white });
  assert.equal((await accountNames(page)).includes('anna'), false);
  assert.equal(await page.inputValue('#edtAccountName'), 'anna');
  await click(page, '#btnClose');
  assert.equal(await page.title(), 'Hauptseite');
  await context.close();
});

test('the send page sends up to 160 characters to the number as typed', async () => {
  const { context, page } = await openPage('#btnSendSMS');
  assert.equal(await page.title(), 'SMS senden');
  assert.equal(await page.textContent('#lblTopFormInfo'), 'Senden von SMS');
  assert.equal(await page.textContent('#lblSMSReceiver'), 'Empfänger:');
  assert.equal(await page.textContent('#lblSMSMessage'), 'Nachrichtentext:');
  assert.equal(await page.getAttribute('#btnSendSMS', 'title'), 'SMS jetzt senden');
  assert.equal(await page.getAttribute('#btnClose', 'title'), 'Diese Ansicht schließen');
  assert.equal(await page.textContent('#lblOutput'), '');
  await shoot(page, 'send');

  await click(page, '#btnSendSMS');
  assert.equal(await messageBox(page), 'Bitte geben Sie einen Empfänger an.');
  await page.fill('#edtSMSReceiver', '+4917612345');
  await page.fill('#mmoSMSMessage', 'x'.repeat(159));
  await click(page, '#btnSendSMS');
  await shoot(page, 'send-too-long');
  assert.equal(await messageBox(page), 'Eine SMS darf nur 160 Zeichen lang sein. Diese ist '
    + 'jedoch 161 Zeichen lang und kann deshalb nicht gesendet werden.');
  assert.equal(await page.textContent('#lblOutput'), '');

  await page.fill('#mmoSMSMessage', 'x'.repeat(158));
  await click(page, '#btnSendSMS');
  assert.match(await page.textContent('#lblOutput'),
    /^\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\| SMS wurde erfolgreich gesendet\.$/);
  assert.equal(await page.inputValue('#edtSMSReceiver'), '+4917612345');
  assert.equal(await page.inputValue('#mmoSMSMessage'), 'x'.repeat(158));
  // The modem got the number in international form (type 91, digits in swapped pairs).
  assert.match(simulator('last-pdu'), /0A919471163254/);
  await shoot(page, 'send-sent');
  await context.close();
});

test('sending while the modem is stopped reports the failure', async () => {
  const { context, page } = await openPage('#lnkStopSerialModem');
  assert.equal(await page.textContent('#lblModemStateInfo'), stoppedLine);
  await click(page, '#btnSendSMS');
  await page.fill('#edtSMSReceiver', '4917612345');
  await page.fill('#mmoSMSMessage', 'Hallo');
  await click(page, '#btnSendSMS');
  assert.match(await page.textContent('#lblOutput'),
    /^\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\| SMS konnte nicht gesendet werden\.$/);
  await shoot(page, 'send-failed');
  await click(page, '#btnClose');
  await click(page, '#lnkStartSerialModem');
  assert.equal(await waitForModemLine(page, modemLine), modemLine);
  await context.close();
});

test('the received list shows its texts literally, by window of rows', async () => {
  const { context, page, dialogs } = await openPage('#btnReceivedSMS');
  assert.equal(await page.title(), 'Empfangene SMS');
  assert.equal(await page.textContent('#lblTopFormInfo'), 'Empfangene SMS');
  assert.equal(await page.textContent('#grdMessages caption'), 'Empfangene Nachrichten (SMS)');
  assert.deepEqual(await page.$$eval('#grdMessages th', (cells) => cells.map((c) => c.textContent)),
    ['ID', 'Sender', 'Typ', 'Datum', 'Text']);
  const rows = await gridRows(page);
  assert.equal(rows.length, 20);
  assert.deepEqual(rows[0], ['1', '<b>4917</b>', 'I', '11.12.2026 09:00:00', markupText]);
  assert.equal(await page.$('#grdMessages img'), null);
  assert.equal(await page.$('#grdMessages b'), null);
  assert.equal(await page.evaluate(() => window.__pwned), undefined);
  assert.deepEqual(dialogs, []);
  assert.equal(await position(page), 'Datensätze 1 bis 20 von 45');
  await shoot(page, 'received');

  await click(page, '.wc-grid-pager a[data-param="page:next"]');
  assert.equal(await position(page), 'Datensätze 21 bis 40 von 45');
  await navigate(page, 'last');
  assert.equal(await position(page), 'Datensätze 41 bis 45 von 45');
  assert.deepEqual((await page.$$eval('#grdMessages tr.wc-grid-current td',
    (cells) => cells.map((c) => c.textContent)))[0], '45');
  await navigate(page, 'first');
  assert.equal(await position(page), 'Datensätze 1 bis 20 von 45');
  await context.close();
});

test('an SMS received while the list is open shows after reopening it', async () => {
  const { context, page } = await openPage('#btnReceivedSMS');
  simulator('deliver +4917999888 Neu angekommen');
  // Another administrator's fresh list shows it once the gateway has stored it.
  const other = await openPage('#btnReceivedSMS');
  for (let i = 0; i < 60 && (await position(other.page)) !== 'Datensätze 1 bis 20 von 46'; ++i) {
    await other.page.waitForTimeout(250);
    await reopen(other.page, '#btnReceivedSMS');
    await page.reload(); // the first list's session stays alive meanwhile
  }
  assert.equal(await position(other.page), 'Datensätze 1 bis 20 von 46');
  await other.context.close();

  await navigate(page, 'refresh');
  assert.equal(await position(page), 'Datensätze 1 bis 20 von 45');
  await reopen(page, '#btnReceivedSMS');
  assert.equal(await position(page), 'Datensätze 1 bis 20 von 46');
  await navigate(page, 'last');
  const last = (await gridRows(page)).pop();
  assert.deepEqual([last[0], last[1], last[4]], ['46', '4917999888', 'Neu angekommen']);
  await context.close();
});

test('a row deleted with the navigator is gone for others once the page is closed', async () => {
  const { context, page } = await openPage('#btnReceivedSMS');
  await click(page, '#grdMessages a[data-param="row:1"]');
  assert.equal((await page.$$eval('#grdMessages tr.wc-grid-current td',
    (cells) => cells.map((c) => c.textContent)))[0], '2');
  await navigate(page, 'delete');
  await shoot(page, 'received-delete-question');
  await answer(page, 'Are you sure you want to delete this record?', false);
  assert.equal(await position(page), 'Datensätze 1 bis 20 von 46');
  await navigate(page, 'delete');
  await answer(page, 'Are you sure you want to delete this record?', true);
  assert.equal(await position(page), 'Datensätze 1 bis 20 von 45');
  assert.equal((await gridRows(page)).some((row) => row[0] === '2'), false);

  const other = await openPage('#btnReceivedSMS');
  assert.equal((await gridRows(other.page))[1][0], '2');
  await click(page, '#btnClose'); // the first page commits
  await reopen(other.page, '#btnReceivedSMS');
  assert.equal(await position(other.page), 'Datensätze 1 bis 20 von 45');
  assert.equal((await gridRows(other.page))[1][0], '3');
  await other.context.close();
  await context.close();
});

test('values typed into the grid are checked against their columns', async () => {
  const { context, page } = await openPage('#btnReceivedSMS');
  await click(page, '#grdMessages a[data-param="row:1"]');
  await navigate(page, 'edit');
  assert.equal(await page.inputValue('input[name="grdMessages$ID"]'), '3');
  await page.fill('input[name="grdMessages$ID"]', '12a');
  await navigate(page, 'post');
  await answer(page, 'Are you sure you want to update this record?', true);
  assert.match(await page.textContent('#webmessagetext'),
    /^Der Wert "12a" passt nicht in die Spalte "ID": erwartet wird eine ganze Zahl/);
  await shoot(page, 'received-value-refused');
  await page.click('#webmessageok');
  await page.fill('input[name="grdMessages$ID"]', '3');
  await page.fill('input[name="grdMessages$message_date"]', '31.02.2026 10:00');
  await navigate(page, 'post');
  await answer(page, 'Are you sure you want to update this record?', true);
  assert.match(await messageBox(page), /passt nicht in die Spalte "Datum"/);
  await navigate(page, 'cancel');
  await answer(page, 'Are you sure you want to cancel your changes to this record?', true);
  assert.deepEqual((await gridRows(page))[1].slice(0, 4),
    ['3', '49171003', 'I', '11.12.2026 10:03:00']);

  await navigate(page, 'edit');
  await page.fill('input[name="grdMessages$SMSText"]', 'Geändert');
  await navigate(page, 'post');
  await answer(page, 'Are you sure you want to update this record?', true);
  assert.equal((await gridRows(page))[1][4], 'Geändert');

  // A row inserted without an ID takes the gateway's next key (46 went to the SMS received).
  await navigate(page, 'insert');
  await page.fill('input[name="grdMessages$Originator"]', '4930999');
  await page.fill('input[name="grdMessages$SMSText"]', 'Von Hand eingetragen');
  await navigate(page, 'post');
  await answer(page, 'Are you sure you want to update this record?', true);
  const current = await page.$$eval('#grdMessages tr.wc-grid-current td',
    (cells) => cells.map((c) => c.textContent));
  assert.deepEqual([current[0], current[1], current[4]], ['47', '4930999', 'Von Hand eingetragen']);
  await click(page, '#btnClose');
  await context.close();
});

test('the sent list shows what the send page sent', async () => {
  const { context, page } = await openPage('#btnSentSMS');
  assert.equal(await page.title(), 'Gesendete SMS');
  assert.equal(await page.textContent('#grdMessages caption'), 'Gesendete SMS');
  assert.deepEqual(await page.$$eval('#grdMessages th', (cells) => cells.map((c) => c.textContent)),
    ['ID', 'Empfänger', 'Typ', 'Datum', 'Text']);
  const rows = await gridRows(page);
  assert.deepEqual(rows[0], ['1', '4930123', 'O', '10.12.2026 08:00:00', 'Erste Antwort']);
  assert.deepEqual([rows[1][1], rows[1][2], rows[1][4]], ['+4917612345', 'O', 'x'.repeat(158)]);
  await shoot(page, 'sent');
  await context.close();
});

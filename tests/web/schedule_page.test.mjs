// The schedule's card in Debian's Chromium against a real lumora-play:
// entries added, edited, disabled and deleted through the page reach the
// API, the calendar shows 14 days, and the answers match the document.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, test } from 'node:test';
import { documentChecker } from './api_document.mjs';
import { basic, closePage, openPhonePage, password, showFolder, startPlayer, until } from './harness.mjs';

let player;
let opened;
let page;
let check;

const morning = { play: 'demo-neon.ctl', name: 'Morning', start: '06:00', end: '07:00' };

before(async () => {
  const folder = showFolder();
  const file = path.join(folder, 'schedule.json');
  fs.writeFileSync(file, JSON.stringify({ timezone: 'UTC', entries: [morning] }));
  player = await startPlayer(folder, ['--schedule', file]);
  ({ check } = await documentChecker(player.url));
  opened = await openPhonePage(player.url);
  ({ page } = opened);
});

after(async () => {
  await closePage(opened, 'schedule-page.png');
  if (player) await player.stop();
});

async function schedule() {
  return (await (await fetch(new URL('api/schedule', player.url))).json()).data;
}

function entry(index) {
  return page.locator(`#schedule-entries li[data-entry="${index}"]`);
}

test('the calendar shows the next 14 days from the schedule\'s range', async () => {
  await until(() => page.locator('#schedule-calendar li.day').count().then((n) => n === 14), '14 days');
  const range = (await (await fetch(new URL('api/schedule/range?days=14', player.url))).json()).data;
  const days = await page.locator('#schedule-calendar li.day').evaluateAll((items) => items.map((i) => i.dataset.date));
  assert.equal(days[0], range.from.slice(0, 10));
  assert.equal(new Set(days).size, 14);
  const texts = await page.locator('#schedule-calendar li.day').allTextContents();
  for (const text of texts.slice(1)) assert.match(text, /06:00–07:00 Morning: demo-neon\.ctl/);
  assert.match(await page.textContent('#schedule-next'), /^Next: \d{4}-\d{2}-\d{2} Morning \(demo-neon\.ctl\), 06:00–07:00$/);
});

test('an entry added through the form reaches the API, after the password', async () => {
  await page.click('#schedule-add');
  await page.fill('#entry-play', 'demo.lst');
  await page.fill('#entry-name', 'Evening');
  await page.fill('#entry-start', '20:00');
  await page.fill('#entry-end', '22:00');
  await page.selectOption('#entry-stop', 'pass');
  await page.click('#entry-save');
  await page.waitForSelector('#password-dialog[open]');
  await page.fill('#password', password);
  await page.click('#password-form button[type="submit"]');
  await until(async () => (await schedule()).entries.length === 2, 'the new entry');
  assert.deepEqual((await schedule()).entries[1], {
    play: 'demo.lst', name: 'Evening', days: 'all', start: '20:00', end: '22:00', repeat: 'loop', stop: 'pass',
    priority: 0, enabled: true,
  });
  await until(() => page.isHidden('#schedule-dialog'), 'the form closed');
  await until(() => entry(1).textContent().then((t) => t.startsWith('Evening: demo.lst')), 'the entry listed');
  await until(() => page.textContent('#schedule-calendar').then((t) => t.includes('20:00–22:00 Evening: demo.lst')),
    'the entry in the calendar');
});

test('a wrong time is refused in the form, naming the entry and the field', async () => {
  await entry(1).locator('.entry-edit').click();
  assert.equal(await page.inputValue('#entry-start'), '20:00');
  await page.fill('#entry-start', '25:00');
  await page.click('#entry-save');
  await until(() => page.isVisible('#entry-error'), 'the refusal');
  assert.match(await page.textContent('#entry-error'), /^entries\[1\]\.start: "25:00" is neither/);
  assert.equal((await schedule()).entries[1].start, '20:00');
  await page.fill('#entry-start', '20:30');
  await page.click('#entry-save');
  await until(async () => (await schedule()).entries[1].start === '20:30', 'the corrected start');
  await until(() => page.isHidden('#schedule-dialog'), 'the form closed');
});

test('entries are disabled, enabled and deleted from the list', async () => {
  await entry(0).locator('.entry-enable').click();
  await until(async () => (await schedule()).entries[0].enabled === false, 'disabled');
  await until(() => entry(0).getAttribute('class').then((c) => c === 'off'), 'shown as off');
  await entry(0).locator('.entry-enable').click();
  await until(async () => (await schedule()).entries[0].enabled === true, 'enabled again');
  await entry(0).locator('.entry-delete').click();
  assert.equal(await entry(0).locator('.entry-delete').textContent(), 'Delete it?');
  assert.equal((await schedule()).entries.length, 2, 'the first click only asks');
  await entry(0).locator('.entry-delete').click();
  await until(async () => (await schedule()).entries.length === 1, 'deleted');
  assert.equal((await schedule()).entries[0].name, 'Evening');
});

test('the card speaks Chinese too', async () => {
  await page.click('#language');
  await until(() => page.textContent('#schedule-add').then((t) => t === '添加条目'), 'Chinese');
  assert.match(await page.textContent('#schedule-calendar'), /20:30–22:00 Evening/);
  await page.click('#language');
  await until(() => page.textContent('#schedule-add').then((t) => t === 'Add an entry'), 'English again');
});

test('the schedule\'s resources answer as the document says', async () => {
  const headers = { 'Content-Type': 'application/json', Authorization: basic() };
  check('/api/schedule', 'get', 200, await (await fetch(new URL('api/schedule', player.url))).json());
  check('/api/schedule/range', 'get', 200, await (await fetch(new URL('api/schedule/range?days=3', player.url))).json());
  const tooFar = await fetch(new URL('api/schedule/range?days=99', player.url));
  assert.equal(tooFar.status, 400);
  check('/api/schedule/range', 'get', 400, await tooFar.json());
  const body = JSON.stringify({ timezone: 'UTC', entries: [{ play: 'demo.lst', start: 'noon', end: '13:00' }] });
  const refused = await fetch(new URL('api/schedule', player.url), { method: 'PUT', headers, body });
  assert.equal(refused.status, 400);
  check('/api/schedule', 'put', 400, await refused.json());
  const current = await schedule();
  const put = await fetch(new URL('api/schedule', player.url), { method: 'PUT', headers, body: JSON.stringify(current) });
  assert.equal(put.status, 200);
  check('/api/schedule', 'put', 200, await put.json());
  const status = await (await fetch(new URL('api/status', player.url))).json();
  check('/api/status', 'get', 200, status);
  assert.equal(status.schedule.entries, 1);
  const extend = await fetch(new URL('api/commands/schedule-extend', player.url), { method: 'POST', headers, body: '{"minutes": 5}' });
  check('/api/commands/schedule-extend', 'post', extend.status, await extend.json());
});

// The control page in Debian's Chromium against a real lumora-play and a
// real sACN receiver on 127.0.0.1.
import assert from 'node:assert/strict';
import path from 'node:path';
import { after, before, test } from 'node:test';
import {
  closePage, openPage, password, sacnReceiver, showFolder, startPlayer, status, until,
} from './harness.mjs';

let receiver;
let player;
let opened;
let page;

before(async () => {
  receiver = await sacnReceiver();
  const folder = showFolder(receiver.port);
  player = await startPlayer(folder, ['--patch', path.join(folder, 'lights.json')]);
  opened = await openPage(player.url);
  page = opened.page;
});

after(async () => {
  await closePage(opened, 'control-page.png');
  if (player) await player.stop();
  if (receiver) receiver.close();
});

test('the page shows the status and the shows of the folder', async () => {
  await until(() => page.textContent('#link').then((t) => t === 'Connected'), 'the WebSocket');
  assert.equal(await page.textContent('#state'), 'Idle');
  await until(() => page.locator('#shows button').count().then((n) => n === 4), 'the show list');
  assert.match(await page.textContent('#shows'), /demo\.lst/);
});

test('a wrong password is refused and nothing plays', async () => {
  await page.click('#shows button[data-show="demo.lst"]');
  await page.waitForSelector('#password-dialog[open]');
  await page.fill('#password', 'not-the-password');
  await page.click('#password-form button[type="submit"]');
  await until(() => page.isVisible('#password-error'), 'the refusal');
  assert.equal(await page.textContent('#password-error'), 'The password is wrong');
  assert.equal((await status(player.url)).state, 'idle');
  assert.equal(receiver.packets, 0);
});

test('with the password, play sends frames to the lamps', async () => {
  await page.fill('#password', password);
  await page.click('#password-form button[type="submit"]');
  await until(() => page.textContent('#state').then((t) => t === 'Playing'), 'playing');
  await until(() => receiver.packets > 5 && receiver.slots.some((v) => v > 0), 'lit frames on the receiver');
  assert.equal(await page.textContent('#file'), 'demo.lst');
});

test('the brightness scales every channel', async () => {
  await page.click('#playpause');
  await until(async () => (await status(player.url)).state === 'paused', 'paused');
  await until(() => receiver.slots && receiver.slots.some((v) => v > 100), 'a bright channel', 3000)
    .catch(() => {});
  const full = [...receiver.slots];
  await page.locator('#brightness').fill('50');
  await page.locator('#brightness').dispatchEvent('change');
  await until(async () => (await status(player.url)).brightness === 50, 'brightness 50');
  await until(() => receiver.slots.every((v, i) => v === Math.floor((full[i] * 128 + 127) / 255)),
    'every channel at half');
  await page.locator('#brightness').fill('100');
  await page.locator('#brightness').dispatchEvent('change');
  await until(() => receiver.slots.every((v, i) => v === full[i]), 'the channels back');
  await page.click('#playpause');
});

test('next skips to the following entry', async () => {
  await until(() => page.textContent('#entry').then((t) => t.startsWith('Entry 1 of 3')), 'entry 1');
  await page.click('#next');
  await until(() => page.textContent('#entry').then((t) => t === 'Entry 2 of 3: demo-waves.tol'), 'entry 2');
  assert.equal((await status(player.url))['entry-name'], 'demo-waves.tol');
});

test('the preview shows the frame and keeps changing', async () => {
  await until(() => page.isVisible('#preview'), 'a preview');
  const first = await page.getAttribute('#preview', 'src');
  await until(async () => (await page.getAttribute('#preview', 'src')) !== first, 'a newer preview');
  const size = await page.evaluate(() => [document.querySelector('#preview').naturalWidth,
    document.querySelector('#preview').naturalHeight]);
  assert.ok(size[0] > 0 && size[0] <= 320 && size[1] > 0 && size[1] <= 180, `preview of ${size}`);
});

// The sync card in Debian's Chromium: lumora-play leads by MultiSync a
// follower played here by a UDP socket on 127.0.0.1, which answers each
// frame sync with a follower's report; the page shows the role, the
// follower's offset and the timecode sent. The status answers against the
// API's document.
import assert from 'node:assert/strict';
import dgram from 'node:dgram';
import path from 'node:path';
import { after, before, test } from 'node:test';
import Ajv from 'ajv';
import { closePage, openPhonePage, showFolder, startPlayer, status, until } from './harness.mjs';

let follower;
let desk;
let player;
let opened;
let page;
let syncs = 0;

// A report: playing and in step, 12.5 ms behind, at the frame heard.
function report(frame) {
  const bytes = Buffer.alloc(14);
  bytes.write('LMSR', 0, 'latin1');
  bytes[4] = 1;
  bytes[5] = 3;
  bytes.writeInt32LE(-12500, 6);
  bytes.writeUInt32LE(frame, 10);
  return bytes;
}

async function socket() {
  const s = dgram.createSocket('udp4');
  await new Promise((resolve) => s.bind(0, '127.0.0.1', resolve));
  return s;
}

before(async () => {
  follower = await socket();
  follower.on('message', (packet, from) => {
    if (packet.toString('latin1', 0, 4) !== 'FPPD' || packet[4] !== 1 || packet[7] !== 2) return;
    syncs += 1;
    follower.send(report(packet.readUInt32LE(9)), from.port, from.address);
  });
  desk = await socket();
  const folder = showFolder();
  player = await startPlayer(folder, [path.join(folder, 'demo-waves.tol'),
    '--sync-lead', `127.0.0.1:${follower.address().port}`,
    '--timecode-out', `artnet:127.0.0.1:${desk.address().port},30`, '--timecode-hour', '4']);
  opened = await openPhonePage(player.url);
  page = opened.page;
});

after(async () => {
  await closePage(opened, 'sync-card.png');
  if (player) await player.stop();
  follower?.close();
  desk?.close();
});

test('the card shows the leader, its follower and the timecode', async () => {
  await until(() => page.isVisible('#sync-card'), 'the sync card');
  await until(() => page.textContent('#sync').then((text) => text.includes('-12.5 ms')), 'the follower\'s report');
  const text = await page.textContent('#sync');
  assert.match(text, /RoleLeader/);
  assert.match(text, new RegExp(`Follower 127\\.0\\.0\\.1:${follower.address().port}-12\\.5 ms · in step · frame \\d+`));
  assert.match(text, /Timecode outartnet 127\.0\.0\.1:\d+ · 04:00:\d\d:\d\d/);
  assert.ok(syncs > 0);
});

test('the status with its sync section answers against the API document', async () => {
  const document = await (await fetch(new URL('api/openapi.json', player.url))).json();
  const ajv = new Ajv({ strict: false, allErrors: true });
  ajv.addSchema({ $id: 'api', components: document.components });
  const answer = await status(player.url);
  assert.ok(ajv.validate({ $ref: 'api#/components/schemas/Status' }, answer), ajv.errorsText());
  assert.equal(answer.sync.role, 'leader');
  assert.equal(answer.sync.followers[0]['offset-ms'], -12.5);
});

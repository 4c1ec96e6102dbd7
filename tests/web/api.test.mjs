// The API's answers checked against its own OpenAPI document, with Ajv.
import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import { documentChecker } from './api_document.mjs';
import { basic, command, password, showFolder, startPlayer, status, until } from './harness.mjs';

let player;
let document;
let check;

before(async () => {
  player = await startPlayer(showFolder());
  ({ document, check } = await documentChecker(player.url));
});

after(async () => {
  if (player) await player.stop();
});

test('reads answer as the document says', async () => {
  check('/api/status', 'get', 200, await status(player.url));
  const shows = await (await fetch(new URL('api/shows', player.url))).json();
  check('/api/shows', 'get', 200, shows);
  assert.deepEqual(shows.map((s) => s.name), ['demo-neon.ctl', 'demo-rings.cot', 'demo-waves.tol', 'demo.lst']);
  const commands = await (await fetch(new URL('api/commands', player.url))).json();
  check('/api/commands', 'get', 200, commands);
  for (const name of ['play', 'stop', 'pause', 'resume', 'next', 'previous', 'entry', 'seek', 'speed', 'volume', 'mute',
    'brightness', 'blackout', 'output', 'test', 'reload-patch']) {
    assert.ok(commands.some((c) => c.name === name), name);
    assert.ok(document.paths[`/api/commands/${name}`].post, `the document has ${name}`);
  }
});

test('every command answers as the document says, done or not', async () => {
  const cases = [
    ['play', { file: 'demo.lst', entry: 2 }, 200],
    ['seek', { frame: 5 }, 200],
    ['seek', { frame: 5, seconds: 1 }, 400],
    ['pause', {}, 200],
    ['resume', {}, 200],
    ['next', {}, 200],
    ['entry', { index: 9 }, 400],
    ['speed', { interval: 50 }, 200],
    ['volume', { percent: 101 }, 400],
    ['brightness', { percent: 30 }, 200],
    ['blackout', { on: true }, 200],
    ['test', { pattern: 'level' }, 409],
    ['reload-patch', {}, 409],
    ['play', { file: '../etc/passwd' }, 400],
    ['dance', {}, 404],
    ['stop', { when: 'pass' }, 200],
    ['stop', {}, 200],
    ['stop', {}, 409],
  ];
  for (const [name, args, code] of cases) {
    const answer = await command(player.url, name, args);
    assert.equal(answer.status, code, `${name} ${JSON.stringify(args)}: ${JSON.stringify(answer.body)}`);
    const documented = document.paths[`/api/commands/${name}`] ? `/api/commands/${name}` : '/api/commands/play';
    check(documented, 'post', code, answer.body);
  }
  check('/api/status', 'get', 200, await status(player.url));
});

test('refusals answer as the document says', async () => {
  const unauthorised = await fetch(new URL('api/commands/pause', player.url), {
    method: 'POST', headers: { 'Content-Type': 'application/json' }, body: '{}',
  });
  assert.equal(unauthorised.status, 401);
  check('/api/commands/pause', 'post', 401, await unauthorised.json());
  const notJson = await fetch(new URL('api/commands/pause', player.url), {
    method: 'POST', headers: { 'Content-Type': 'text/plain', Authorization: basic() }, body: '{}',
  });
  assert.equal(notJson.status, 415);
  check('/api/commands/pause', 'post', 415, await notJson.json());
  const session = await fetch(new URL('api/session', player.url), {
    method: 'POST', headers: { 'Content-Type': 'application/json', Authorization: basic(password) }, body: '{}',
  });
  check('/api/session', 'post', 200, await session.json());
});

test('the WebSocket sends statuses the document describes', async () => {
  const socket = new WebSocket(player.url.replace('http', 'ws') + 'api/events');
  const first = await new Promise((resolve, reject) => {
    socket.onmessage = (message) => resolve(JSON.parse(message.data));
    socket.onerror = reject;
  });
  socket.close();
  assert.equal(first.type, 'status');
  check('/api/status', 'get', 200, first.status);
  await until(async () => (await status(player.url)).state === 'idle', 'idle');
});

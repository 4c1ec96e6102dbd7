// What the page and API tests share: lumora-play started on a copy of the
// demo show with a control port on 127.0.0.1, an sACN receiver on
// 127.0.0.1, Debian's Chromium, and requests with the password.
import { spawn } from 'node:child_process';
import dgram from 'node:dgram';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { chromium } from 'playwright-core';

export const build = process.env.LUMORA_BUILD || path.resolve(import.meta.dirname, '../../build');
export const artifacts = path.join(build, 'tests', 'web');
export const password = 'night-show-42';

// A folder of its own holding the demo show, the password file and,
// given a receiver's port, a grid patch of the first 16 cells.
export function showFolder(receiverPort) {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'lumora-web-'));
  for (const name of ['demo.lst', 'demo-neon.ctl', 'demo-waves.tol', 'demo-rings.cot']) {
    fs.copyFileSync(path.join(build, 'tools', name), path.join(folder, name));
  }
  fs.writeFileSync(path.join(folder, 'password'), `${password}\n`);
  if (receiverPort) {
    fs.writeFileSync(path.join(folder, 'lights.json'), JSON.stringify({
      fixtures: [{ name: 'grid', source: 'grid', layer: 0, rows: [0, 0], columns: [0, 15], start: 1 }],
      outputs: [{ protocol: 'sacn', channels: [1, 48], universe: 1, host: '127.0.0.1', port: receiverPort }],
    }));
  }
  return folder;
}

// lumora-play serving its control page; resolves once it says where.
export function startPlayer(folder, extra = []) {
  const args = ['--control', '127.0.0.1:0', '--password-file', path.join(folder, 'password'), '--shows', folder,
    '--no-music', ...extra];
  const player = spawn(path.join(build, 'tools', 'lumora-play'), args, {
    env: { ...process.env, QT_QPA_PLATFORM: 'offscreen', XDG_CONFIG_HOME: folder, XDG_RUNTIME_DIR: '' },
    stdio: ['ignore', 'pipe', 'pipe'],
  });
  let said = '';
  player.stderr.on('data', (chunk) => { said += chunk; });
  return new Promise((resolve, reject) => {
    let out = '';
    player.stdout.on('data', (chunk) => {
      out += chunk;
      const found = out.match(/control page and API at (http:\/\/[0-9.]+:[0-9]+\/)/);
      if (found) resolve({ url: found[1], process: player, said: () => said, stop: () => stopPlayer(player) });
    });
    player.on('exit', (code) => reject(new Error(`lumora-play ended with ${code}: ${said}`)));
  });
}

function stopPlayer(player) {
  return new Promise((resolve) => {
    if (player.exitCode !== null) return resolve(player.exitCode);
    player.on('exit', (code) => resolve(code));
    player.kill('SIGTERM');
  });
}

// The slots of universe 1 as the latest sACN packet gave them.
export async function sacnReceiver() {
  const socket = dgram.createSocket('udp4');
  const receiver = { slots: null, packets: 0, port: 0, close: () => socket.close() };
  socket.on('message', (packet) => {
    if (packet.length < 126 || packet.toString('latin1', 4, 16) !== 'ASC-E1.17\0\0\0') return;
    if (packet.readUInt16BE(113) !== 1) return;
    const count = packet.readUInt16BE(123) - 1;
    receiver.slots = [...packet.subarray(126, 126 + count)];
    receiver.packets += 1;
  });
  await new Promise((resolve) => socket.bind(0, '127.0.0.1', resolve));
  receiver.port = socket.address().port;
  return receiver;
}

// Waits for the test to hold, up to the time given.
export async function until(test, what, milliseconds = 10000) {
  const end = Date.now() + milliseconds;
  for (;;) {
    const value = await test();
    if (value) return value;
    if (Date.now() > end) throw new Error(`waited in vain for ${what}`);
    await new Promise((resolve) => setTimeout(resolve, 50));
  }
}

export function basic(secret = password) {
  return `Basic ${Buffer.from(`show:${secret}`).toString('base64')}`;
}

export async function command(url, name, args = {}, secret = password) {
  const answer = await fetch(new URL(`api/commands/${name}`, url), {
    method: 'POST',
    headers: { 'Content-Type': 'application/json', Authorization: basic(secret) },
    body: JSON.stringify(args),
  });
  return { status: answer.status, body: await answer.json() };
}

export async function status(url) {
  return (await fetch(new URL('api/status', url))).json();
}

// Debian's Chromium, headless, with nothing of its own on the network.
export function launchBrowser() {
  const args = ['--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
    '--disable-component-update', '--disable-sync'];
  if (process.getuid && process.getuid() === 0) args.push('--no-sandbox');
  return chromium.launch({ executablePath: '/usr/bin/chromium', headless: true, args });
}

// Debian's Chromium on the page at url, as a phone, in English.
export async function openPage(url) {
  const browser = await launchBrowser();
  const page = await browser.newPage({ viewport: { width: 390, height: 844 }, locale: 'en-GB' });
  await page.goto(url);
  await page.click('#language');
  return { browser, page };
}

// Keeps a screenshot of the page as a test artifact, and closes the browser.
export async function closePage(opened, screenshot) {
  if (!opened) return;
  fs.mkdirSync(artifacts, { recursive: true });
  await opened.page.screenshot({ path: path.join(artifacts, screenshot), fullPage: true });
  await opened.browser.close();
}

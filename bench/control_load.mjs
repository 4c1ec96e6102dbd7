// What the control service costs the show: lumora-play plays the demo's
// grid movie to an sACN receiver on 127.0.0.1, first alone, then with 50
// WebSocket clients and 500 status requests a second; the frame interval
// is read from when each frame's packet arrives. Then the time from a
// command's POST to the first packet that shows it. The clients run in a
// process of their own at a lower priority, as they would on machines of
// their own: the player's cost is measured, not the load generator's.
//   node --experimental-websocket bench/control_load.mjs [seconds]
import { spawn } from 'node:child_process';
import { command, sacnReceiver, showFolder, startPlayer } from '../tests/web/harness.mjs';

const seconds = Number(process.argv[2]) || 30;

function percentile(values, p) {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.min(sorted.length - 1, Math.floor((p / 100) * sorted.length))];
}

// The gaps between frames' packets while the show plays for the time.
async function frameIntervals(receiver, milliseconds) {
  const arrivals = [];
  receiver.onPacket = () => arrivals.push(performance.now());
  await new Promise((resolve) => setTimeout(resolve, milliseconds));
  receiver.onPacket = null;
  return arrivals.slice(1).map((t, i) => t - arrivals[i]);
}

function clients(url) {
  const sockets = [];
  for (let i = 0; i < 50; ++i) {
    const socket = new WebSocket(`${url.replace('http', 'ws')}api/events`);
    socket.onmessage = () => {};
    sockets.push(socket);
  }
  let requests = 0;
  const poller = setInterval(() => {
    for (let i = 0; i < 5; ++i) {
      fetch(new URL('api/status', url)).then((r) => r.arrayBuffer()).then(() => { requests += 1; }, () => {});
    }
  }, 10);
  process.on('SIGTERM', () => {
    clearInterval(poller);
    sockets.forEach((s) => s.close());
    console.log(requests);
    process.exit(0);
  });
}

function load(url) {
  const child = spawn('nice', ['-n', '10', process.execPath, '--experimental-websocket', import.meta.filename,
    '--clients', url], { stdio: ['ignore', 'pipe', 'inherit'] });
  let said = '';
  child.stdout.on('data', (chunk) => { said += chunk; });
  return {
    stop: () => new Promise((resolve) => {
      child.on('exit', () => resolve(Number(said.trim())));
      child.kill('SIGTERM');
    }),
  };
}

// From each POST of a blackout on or off to the first packet that shows it.
async function commandLatencies(url, receiver, count) {
  const latencies = [];
  for (let i = 0; i < count; ++i) {
    const on = i % 2 === 0;
    const shown = new Promise((resolve) => {
      receiver.onPacket = (slots) => {
        if (slots.every((v) => v === 0) === on) resolve(performance.now());
      };
    });
    const sent = performance.now();
    await command(url, 'blackout', { on });
    latencies.push((await shown) - sent);
    receiver.onPacket = null;
  }
  return latencies;
}

function summary(name, values) {
  const f = (v) => v.toFixed(2);
  return `${name}: p50 ${f(percentile(values, 50))} ms, p99 ${f(percentile(values, 99))} ms, ` +
    `max ${f(Math.max(...values))} ms (${values.length} samples)`;
}

async function measure() {
  const receiver = await sacnReceiver();
  const folder = showFolder(receiver.port);
  const player = await startPlayer(folder, ['--patch', `${folder}/lights.json`]);
  await command(player.url, 'play', { file: 'demo-waves.tol', loops: 0 });
  await new Promise((resolve) => setTimeout(resolve, 2000));
  const idle = await frameIntervals(receiver, seconds * 1000);
  const loaded = load(player.url);
  await new Promise((resolve) => setTimeout(resolve, 2000));
  const busy = await frameIntervals(receiver, seconds * 1000);
  const requests = await loaded.stop();
  const latencies = await commandLatencies(player.url, receiver, 200);
  await player.stop();
  receiver.close();
  console.log(summary('frame interval, idle', idle));
  console.log(summary('frame interval, 50 WebSockets and 500 status requests a second', busy));
  console.log(`status requests answered: ${requests} in ${seconds + 2} s`);
  console.log(`p99 difference: ${(percentile(busy, 99) - percentile(idle, 99)).toFixed(2)} ms (target: within 2 ms)`);
  console.log(summary('POST to the first packet showing it', latencies) + ' (target: p99 <= 50 ms)');
}

if (process.argv[2] === '--clients') {
  clients(process.argv[3]);
} else {
  await measure();
}

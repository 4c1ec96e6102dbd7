// The control page: the status arrives over a WebSocket, commands go out
// as POSTs, and nothing is fetched from anywhere but the player itself.
import { texts } from './strings.js';
import { scheduleCard } from './schedule.js';
import { renderSync } from './sync.js';

const $ = (id) => document.getElementById(id);
const page = {
  language: localStorage.getItem('lumora-language') === 'en' ? 'en' : 'zh',
  token: sessionStorage.getItem('lumora-token') || '',
  status: null,
  shows: [],
  socket: null,
  retryDelay: 1,
  retryAt: 0,
  previewing: false,
  chosenShow: '',
};

const t = (key, ...args) => {
  const text = texts[page.language][key];
  return typeof text === 'function' ? text(...args) : text;
};

function duration(seconds) {
  if (seconds === null || seconds === undefined || !isFinite(seconds)) return '–';
  const s = Math.max(0, Math.round(seconds));
  const h = Math.floor(s / 3600);
  const m = Math.floor((s % 3600) / 60);
  const rest = String(s % 60).padStart(2, '0');
  return h > 0 ? `${h}:${String(m).padStart(2, '0')}:${rest}` : `${m}:${rest}`;
}

function toast(text, error = false) {
  const box = $('toast');
  box.textContent = text;
  box.classList.toggle('error', error);
  box.hidden = false;
  clearTimeout(toast.timer);
  toast.timer = setTimeout(() => { box.hidden = true; }, 4000);
}

// Commands ------------------------------------------------------------

function authorization() {
  return page.token ? { Authorization: `Bearer ${page.token}` } : {};
}

async function post(path, body) {
  return fetch(path, {
    method: 'POST',
    headers: { 'Content-Type': 'application/json', ...authorization() },
    body: JSON.stringify(body ?? {}),
  });
}

async function command(name, args = {}) {
  let answer;
  try {
    answer = await post(`/api/commands/${name}`, args);
    if (answer.status === 401 && (await askPassword())) answer = await post(`/api/commands/${name}`, args);
  } catch {
    toast(t('unreachable'), true);
    return false;
  }
  const result = await answer.json().catch(() => ({}));
  if (answer.ok) return true;
  if (answer.status !== 401) toast(t('commandFailed', name, result.error || answer.statusText), true);
  return false;
}

// The password is exchanged for a session token, kept for this tab only.
function askPassword() {
  const dialog = $('password-dialog');
  $('password').value = '';
  $('password-error').hidden = true;
  dialog.showModal();
  return new Promise((resolve) => {
    const finish = (ok) => {
      $('password-form').onsubmit = null;
      $('password-cancel').onclick = null;
      dialog.close();
      resolve(ok);
    };
    $('password-cancel').onclick = () => finish(false);
    $('password-form').onsubmit = async (event) => {
      event.preventDefault();
      const basic = btoa(unescape(encodeURIComponent(`show:${$('password').value}`)));
      const answer = await fetch('/api/session', {
        method: 'POST',
        headers: { 'Content-Type': 'application/json', Authorization: `Basic ${basic}` },
        body: '{}',
      }).catch(() => null);
      if (answer && answer.ok) {
        page.token = (await answer.json()).token;
        sessionStorage.setItem('lumora-token', page.token);
        showLogin();
        reconnect();
        finish(true);
        return;
      }
      const wait = answer ? answer.headers.get('Retry-After') : null;
      $('password-error').textContent = wait ? t('passwordLocked', wait) : t('passwordWrong');
      $('password-error').hidden = false;
    };
  });
}

function showLogin() {
  $('login').textContent = page.token ? t('logout') : t('login');
}

// The live status ------------------------------------------------------

function connect() {
  const scheme = location.protocol === 'https:' ? 'wss' : 'ws';
  const query = page.token ? `?token=${encodeURIComponent(page.token)}` : '';
  const socket = new WebSocket(`${scheme}://${location.host}/api/events${query}`);
  page.socket = socket;
  showLink('connecting');
  socket.onopen = () => {
    page.retryDelay = 1;
    showLink('connected');
    $('offline').hidden = true;
    loadShows();
  };
  socket.onmessage = (message) => {
    const data = JSON.parse(message.data);
    if (data.type === 'status') render(data.status);
    if (data.type === 'event' && data.event.kind === 'entry') loadShows();
  };
  socket.onclose = () => {
    if (page.socket !== socket) return;
    showLink('disconnected');
    page.retryAt = Date.now() + page.retryDelay * 1000;
    setTimeout(connect, page.retryDelay * 1000);
    page.retryDelay = Math.min(page.retryDelay * 2, 30);
    showOffline();
  };
}

function reconnect() {
  const old = page.socket;
  page.socket = null;
  if (old) old.close();
  connect();
}

function showLink(state) {
  $('link').dataset.state = state;
  $('link').textContent = t(state);
}

function showOffline() {
  if (!page.socket || page.socket.readyState === WebSocket.OPEN) return;
  const seconds = Math.max(0, Math.ceil((page.retryAt - Date.now()) / 1000));
  $('offline').textContent = t('offline', seconds);
  $('offline').hidden = false;
  setTimeout(showOffline, 1000);
}

async function loadShows() {
  try {
    const answer = await fetch('/api/shows', { headers: authorization() });
    if (answer.ok) page.shows = await answer.json();
  } catch {
    return;
  }
  renderShows();
}

// Showing the status ---------------------------------------------------

function setSlider(id, value, unit) {
  const input = $(id);
  if (input.dataset.dragging) return;
  input.value = value;
  $(`${id}-value`).textContent = `${value}${unit}`;
}

function render(status) {
  page.status = status;
  const idle = status.state === 'idle';
  $('state').dataset.state = status.state;
  $('state').textContent = t(status.state);
  $('file').textContent = idle ? t('nothing') : status.file;
  $('entry').textContent = status.entries > 1 ? t('entry', status.entry, status.entries, status['entry-name']) : '';
  const stopAt = status['stop-at'] === 'entry' ? ` · ${t('stopAtEntry')}` : status['stop-at'] === 'pass' ? ` · ${t('stopAtPass')}` : '';
  $('pass').textContent = idle ? '' : t('pass', status.pass, status.passes,
    status['pass-remaining'] === null ? null : duration(status['pass-remaining'])) + stopAt;
  const seek = $('seek');
  seek.max = Math.max(1, status.frames);
  if (!seek.dataset.dragging) seek.value = Math.max(1, status.frame);
  seek.disabled = idle;
  $('frame').textContent = idle ? '' : t('frame', status.frame, status.frames);
  $('elapsed').textContent = duration(status['entry-elapsed']);
  $('remaining').textContent = `-${duration(status['entry-remaining'])}`;
  const playing = status.state === 'playing' || status.state === 'stopping';
  $('playpause').querySelector('use').setAttribute('href', playing ? '#icon-pause' : '#icon-play');
  $('playpause').setAttribute('aria-label', playing ? t('pause') : t('play'));
  $('playpause').title = $('playpause').getAttribute('aria-label');
  for (const id of ['previous', 'next', 'stop']) $(id).disabled = idle;
  setSlider('brightness', status.brightness, ' %');
  setSlider('volume', status.volume, ' %');
  setSlider('speed', status.interval || 30, ' ms');
  $('blackout').setAttribute('aria-pressed', String(status.blackout));
  $('output').setAttribute('aria-pressed', String(status.output));
  $('mute').setAttribute('aria-pressed', String(status.muted));
  renderOutputs(status);
  renderMessages(status.messages || []);
  renderSections(status);
  schedule.render(status);
  $('host').textContent = status.host;
  $('version').textContent = status.version;
  $('uptime').textContent = t('uptime', duration(status.uptime));
  renderShows();
  wantPreview();
}

function renderShows() {
  const list = $('shows');
  list.replaceChildren();
  if (page.shows.length === 0) {
    list.append(Object.assign(document.createElement('li'), { className: 'empty', textContent: t('noShows') }));
    return;
  }
  const playing = page.status && page.status.state !== 'idle' ? page.status.file : '';
  for (const show of page.shows) {
    const item = document.createElement('li');
    const button = document.createElement('button');
    button.type = 'button';
    button.dataset.show = show.name;
    button.setAttribute('aria-current', String(show.name === playing || show.name === page.chosenShow));
    const name = Object.assign(document.createElement('span'), { textContent: show.name });
    const kind = Object.assign(document.createElement('span'), { className: 'kind', textContent: t('kinds')[show.kind] || show.kind });
    const length = Object.assign(document.createElement('span'), { className: 'length' });
    length.textContent = show.error ? t('cannotPlay') : show.length === null ? t('measuring') : duration(show.length);
    if (show.error) length.className = 'broken';
    button.append(name, kind, length);
    button.onclick = () => {
      page.chosenShow = show.name;
      command('play', { file: show.name });
    };
    item.append(button);
    list.append(item);
  }
}

function renderOutputs(status) {
  const list = $('outputs');
  list.replaceChildren();
  const outputs = status.outputs || [];
  if (outputs.length === 0) {
    list.append(Object.assign(document.createElement('li'), { className: 'empty', textContent: t('noOutputs') }));
  }
  for (const output of outputs) {
    const item = document.createElement('li');
    item.classList.toggle('failed', output.failed);
    item.append(Object.assign(document.createElement('span'), { className: 'health', textContent: output.name }));
    item.append(Object.assign(document.createElement('span'), {
      className: 'rate', textContent: output.failed ? t('failed') : t('packetsPerSecond', Math.round(output['packets-per-second'])),
    }));
    if (output['last-error']) item.append(Object.assign(document.createElement('span'), { className: 'error', textContent: output['last-error'] }));
    list.append(item);
  }
  fillSelect($('test-output'), [[0, t('everyOutput')], ...outputs.map((o, i) => [i + 1, o.name])]);
  fillSelect($('test-fixture'), (status.fixtures || []).map((name, i) => [i + 1, name]));
}

function fillSelect(select, options) {
  const key = JSON.stringify(options);
  if (select.dataset.options === key) return;
  select.dataset.options = key;
  const chosen = select.value;
  select.replaceChildren(...options.map(([value, text]) => Object.assign(document.createElement('option'), { value, textContent: text })));
  if (options.some(([value]) => String(value) === chosen)) select.value = chosen;
}

function renderMessages(messages) {
  const list = $('messages');
  list.replaceChildren();
  if (messages.length === 0) list.append(Object.assign(document.createElement('li'), { className: 'empty', textContent: t('noMessages') }));
  for (const message of [...messages].reverse()) {
    const item = document.createElement('li');
    const time = document.createElement('time');
    time.dateTime = message.time;
    time.textContent = new Date(message.time).toLocaleTimeString(page.language === 'zh' ? 'zh-CN' : 'en-GB');
    item.append(time, document.createTextNode(message.text));
    list.append(item);
  }
}

// What sync adds to the status, shown as it gives it (the schedule has a
// card of its own, schedule.js).
function renderSections(status) {
  for (const key of ['sync']) {
    const card = $(`${key}-card`);
    card.hidden = !status[key];
    if (!status[key]) continue;
    if (key === 'sync') { $(key).replaceChildren(renderSync(status.sync, t)); continue; }
    const list = document.createElement('dl');
    for (const [name, value] of Object.entries(status[key])) {
      list.append(Object.assign(document.createElement('dt'), { textContent: name }));
      list.append(Object.assign(document.createElement('dd'), {
        textContent: typeof value === 'object' ? JSON.stringify(value) : String(value),
      }));
    }
    $(key).replaceChildren(list);
  }
}

// The preview: a small picture of the frame, fetched one after another at
// most ten times a second, and only while someone looks at the page.
function wantPreview() {
  if (page.previewing || document.visibilityState !== 'visible') return;
  if (!page.status || page.status.state === 'idle' || !page.socket || page.socket.readyState !== WebSocket.OPEN) return;
  page.previewing = true;
  previewOnce();
}

async function previewOnce() {
  const started = performance.now();
  try {
    const answer = await fetch('/api/preview.png', { headers: authorization(), cache: 'no-store' });
    if (answer.ok) {
      const picture = $('preview');
      const old = picture.src;
      picture.src = URL.createObjectURL(await answer.blob());
      if (old) URL.revokeObjectURL(old);
      picture.hidden = false;
      $('preview-empty').hidden = true;
    }
  } catch {
    // The WebSocket tells of a lost player; the preview waits for it.
  }
  page.previewing = false;
  setTimeout(wantPreview, Math.max(0, 100 - (performance.now() - started)));
}

// The controls ---------------------------------------------------------

function applyLanguage() {
  document.documentElement.lang = page.language === 'zh' ? 'zh' : 'en';
  for (const element of document.querySelectorAll('[data-text]')) element.textContent = t(element.dataset.text);
  for (const element of document.querySelectorAll('[data-label]')) {
    element.setAttribute('aria-label', t(element.dataset.label));
    element.title = t(element.dataset.label);
  }
  $('language').textContent = t('languageButton');
  showLink($('link').dataset.state);
  showLogin();
  if (page.status) render(page.status);
}

function slider(id, send) {
  const input = $(id);
  input.addEventListener('pointerdown', () => { input.dataset.dragging = '1'; });
  input.addEventListener('input', () => {
    // A value being chosen is not overwritten by the status until it is sent.
    input.dataset.dragging = '1';
    const unit = id === 'speed' ? ' ms' : ' %';
    $(`${id}-value`).textContent = `${input.value}${unit}`;
  });
  input.addEventListener('change', async () => {
    await send(Number(input.value));
    delete input.dataset.dragging;
  });
}

function wireControls() {
  $('language').onclick = () => {
    page.language = page.language === 'zh' ? 'en' : 'zh';
    localStorage.setItem('lumora-language', page.language);
    applyLanguage();
  };
  $('login').onclick = () => {
    if (!page.token) return askPassword();
    page.token = '';
    sessionStorage.removeItem('lumora-token');
    showLogin();
    reconnect();
  };
  $('previous').onclick = () => command('previous');
  $('next').onclick = () => command('next');
  $('stop').onclick = () => command('stop', { when: 'now' });
  $('playpause').onclick = () => {
    const state = page.status ? page.status.state : 'idle';
    if (state === 'playing') return command('pause');
    if (state === 'paused' || state === 'stopping') return command('resume');
    if (!page.chosenShow) return toast(t('chooseShow'));
    return command('play', { file: page.chosenShow });
  };
  for (const button of document.querySelectorAll('[data-stop]')) button.onclick = () => command('stop', { when: button.dataset.stop });
  const seek = $('seek');
  seek.addEventListener('pointerdown', () => { seek.dataset.dragging = '1'; });
  seek.addEventListener('change', async () => {
    await command('seek', { frame: Number(seek.value) });
    delete seek.dataset.dragging;
  });
  slider('brightness', (v) => command('brightness', { percent: v }));
  slider('volume', (v) => command('volume', { percent: v }));
  slider('speed', (v) => command('speed', { interval: v }));
  slider('test-level', () => Promise.resolve());
  $('blackout').onclick = () => command('blackout', { on: $('blackout').getAttribute('aria-pressed') !== 'true' });
  $('output').onclick = () => command('output', { on: $('output').getAttribute('aria-pressed') !== 'true' });
  $('mute').onclick = () => command('mute', { on: $('mute').getAttribute('aria-pressed') !== 'true' });
  $('test-start').onclick = () => {
    const pattern = $('test-pattern').value;
    const args = { pattern };
    if (pattern !== 'off') args.level = Number($('test-level').value);
    if (pattern === 'level' || pattern === 'chase') {
      if (Number($('test-output').value) > 0) args.output = Number($('test-output').value);
    }
    if (pattern === 'fixture') args.fixture = Number($('test-fixture').value || 1);
    command('test', args);
  };
  document.addEventListener('visibilitychange', wantPreview);
}

const schedule = scheduleCard({ language: () => page.language, authorization, askPassword, toast });
applyLanguage();
wireControls();
connect();

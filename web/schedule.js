// The schedule's card: what the schedule plays now and why, what it holds
// back and what starts next; its entries with an add/edit form, enable and
// delete; and a calendar of the next 14 days. The schedule is read from
// GET /api/schedule and written whole with PUT /api/schedule.
import { scheduleTexts } from './strings.js';

const kCalendarDays = 14;
const kRefreshMs = 5 * 60 * 1000;
const kWeekdays = ['mon', 'tue', 'wed', 'thu', 'fri', 'sat', 'sun'];

// An element with its properties and children, as the card is built.
function el(tag, props = {}, ...children) {
  const element = Object.assign(document.createElement(tag), props);
  element.append(...children.filter((child) => child !== null && child !== undefined));
  return element;
}

// "2024-06-01T18:30:00+02:00" as the schedule's own clock shows it.
const dayOf = (stamp) => stamp.slice(0, 10);
const clockOf = (stamp) => stamp.slice(11, 16);

function nextDay(day) {
  const [y, m, d] = day.split('-').map(Number);
  return new Date(Date.UTC(y, m - 1, d + 1)).toISOString().slice(0, 10);
}

// hooks: the page's language, its authorization header and password
// prompt, and its messages.
export function scheduleCard(hooks) {
  const card = {
    document: null, calendar: null, shows: [], commands: [], section: '', loadedAt: 0, editing: null, deleting: null,
  };
  const s = (key, ...args) => {
    const text = scheduleTexts[hooks.language()][key];
    return typeof text === 'function' ? text(...args) : text;
  };

  async function request(method, path, body) {
    const send = () => fetch(path, {
      method,
      headers: { ...(body === undefined ? {} : { 'Content-Type': 'application/json' }), ...hooks.authorization() },
      body: body === undefined ? undefined : JSON.stringify(body),
    });
    let answer = await send();
    // Reading asks for nothing; a change asks for the password once.
    if (answer.status === 401 && method !== 'GET' && (await hooks.askPassword())) answer = await send();
    const json = await answer.json().catch(() => ({}));
    return { ok: answer.ok, status: answer.status, json };
  }

  async function load() {
    card.loadedAt = Date.now();
    const [schedule, range, shows, commands] = await Promise.all([
      request('GET', '/api/schedule'), request('GET', `/api/schedule/range?days=${kCalendarDays}`),
      request('GET', '/api/shows'), request('GET', '/api/commands'),
    ]).catch(() => []);
    if (!schedule) return;
    if (schedule.ok) card.document = schedule.json.data;
    if (range.ok) card.calendar = range.json.data;
    if (shows.ok) card.shows = shows.json.map((show) => show.name);
    if (commands.ok) card.commands = commands.json.map((c) => c.name).filter((n) => !n.startsWith('schedule-') && n !== 'play');
    draw();
  }

  // The whole schedule goes back at once; a refusal names the entry and
  // the field at fault.
  async function save(changed) {
    const answer = await request('PUT', '/api/schedule', changed).catch(() => null);
    if (!answer) return s('unreachable');
    if (answer.status === 401) return s('passwordNeeded');
    if (!answer.ok) return answer.json.error || String(answer.status);
    card.document = answer.json.data;
    await load();
    return '';
  }

  async function byHand(name, args = {}) {
    const answer = await request('POST', `/api/commands/${name}`, args).catch(() => null);
    if (answer && !answer.ok && answer.status !== 401) hooks.toast(answer.json.error || String(answer.status), true);
  }

  function render(status) {
    const box = document.getElementById('schedule');
    const section = status.schedule;
    document.getElementById('schedule-card').hidden = !section;
    if (!section) return;
    const key = JSON.stringify({ ...section, warnings: undefined });
    if (key !== card.section || Date.now() - card.loadedAt > kRefreshMs) {
      card.section = key;
      load();
    }
    card.status = section;
    if (!box.firstChild || box.dataset.language !== hooks.language()) build(box);
    draw();
  }

  function build(box) {
    box.dataset.language = hooks.language();
    box.replaceChildren(
      el('div', { id: 'schedule-state', className: 'schedule-state' }),
      el('div', { className: 'schedule-actions' },
        el('button', { id: 'schedule-next-now', type: 'button', className: 'small', textContent: s('startNext'), onclick: () => byHand('schedule-next') }),
        el('button', { id: 'schedule-extend-less', type: 'button', className: 'small', textContent: s('extend', -15), onclick: () => byHand('schedule-extend', { minutes: -15 }) }),
        el('button', { id: 'schedule-extend-more', type: 'button', className: 'small', textContent: s('extend', 15), onclick: () => byHand('schedule-extend', { minutes: 15 }) })),
      el('h3', { textContent: s('entries') }),
      el('ol', { id: 'schedule-entries', className: 'schedule-entries' }),
      el('button', { id: 'schedule-add', type: 'button', textContent: s('add'), onclick: () => openForm(null) }),
      el('h3', { textContent: s('calendar', kCalendarDays) }),
      el('ol', { id: 'schedule-calendar', className: 'schedule-calendar' }));
    buildForm();
  }

  function draw() {
    if (!document.getElementById('schedule-state') || !card.status) return;
    drawState(card.status);
    drawEntries();
    drawCalendar();
  }

  function describeRun(run) {
    const what = run.name ? `${run.name} (${run.play || run.command})` : (run.play || run.command);
    return run.end ? s('run', what, clockOf(run.start), clockOf(run.end)) : s('at', what, clockOf(run.start));
  }

  function drawState(section) {
    const lines = [el('p', {}, el('span', { className: 'badge', textContent: s('states')[section.state] || section.state }))];
    if (section.now) lines.push(el('p', { id: 'schedule-now', textContent: s('now', describeRun(section.now), s('reasons')[section.now.reason] || section.now.reason) }));
    if (section['held-back']) lines.push(el('p', { id: 'schedule-held', textContent: s('heldBack', describeRun(section['held-back'])) }));
    lines.push(el('p', { id: 'schedule-next', textContent: section.next ? s('next', describeRun(section.next), dayOf(section.next.start)) : s('nothingNext') }));
    for (const warning of section.warnings || []) lines.push(el('p', { className: 'error', textContent: warning.message }));
    document.getElementById('schedule-state').replaceChildren(...lines);
  }

  function daysText(days) {
    if (days === 'all' || days === undefined) return s('everyDay');
    if (days === 'odd' || days === 'even') return s(days);
    return days.map((day) => s('weekdays')[day]).join(' ');
  }

  function entryLine(entry) {
    const what = entry.play || `${entry.command} ${JSON.stringify(entry.args || {})}`;
    const times = entry.end ? `${entry.start}–${entry.end}` : entry.start;
    const dates = entry.dates ? ` · ${entry.dates[0]}–${entry.dates[1]}${entry['every-year'] ? ` ${s('everyYear')}` : ''}` : '';
    return `${entry.name ? `${entry.name}: ` : ''}${what} · ${daysText(entry.days)} ${times}${dates} · ${s('priorityShort', entry.priority)}`;
  }

  function drawEntries() {
    const list = document.getElementById('schedule-entries');
    const entries = card.document ? card.document.entries : [];
    list.replaceChildren();
    if (entries.length === 0) list.append(el('li', { className: 'empty', textContent: s('noEntries') }));
    entries.forEach((entry, index) => {
      const item = el('li', { className: entry.enabled === false ? 'off' : '' },
        el('span', { className: 'what', textContent: entryLine(entry) }),
        el('button', { type: 'button', className: 'small entry-enable', textContent: entry.enabled === false ? s('enable') : s('disable'), onclick: () => setEnabled(index, entry.enabled === false) }),
        el('button', { type: 'button', className: 'small entry-edit', textContent: s('edit'), onclick: () => openForm(index) }),
        el('button', { type: 'button', className: 'small entry-delete', textContent: card.deleting === index ? s('confirmDelete') : s('delete'), onclick: () => remove(index) }));
      item.dataset.entry = String(index);
      list.append(item);
    });
  }

  function drawCalendar() {
    const list = document.getElementById('schedule-calendar');
    list.replaceChildren();
    if (!card.calendar) return;
    let day = dayOf(card.calendar.from);
    for (let i = 0; i < kCalendarDays; i += 1, day = nextDay(day)) {
      const items = card.calendar.items.filter((item) => dayOf(item.at) === day);
      const starts = items.map((item) => el('li', {
        textContent: `${clockOf(item.at)}${item.end ? `–${clockOf(item.end)}` : ''} ${item.name ? `${item.name}: ` : ''}${item.play || item.command}`,
      }));
      if (starts.length === 0) starts.push(el('li', { className: 'empty', textContent: s('nothingThisDay') }));
      const entry = el('li', { className: 'day' }, el('time', { dateTime: day, textContent: day }), el('ul', {}, ...starts));
      entry.dataset.date = day;
      list.append(entry);
    }
    if (card.calendar.complete === false) list.append(el('li', { className: 'error', textContent: s('calendarCut') }));
  }

  async function setEnabled(index, on) {
    const changed = structuredClone(card.document);
    changed.entries[index].enabled = on;
    const error = await save(changed);
    if (error) hooks.toast(error, true);
  }

  async function remove(index) {
    if (card.deleting !== index) {
      card.deleting = index;
      drawEntries();
      return;
    }
    card.deleting = null;
    const changed = structuredClone(card.document);
    changed.entries.splice(index, 1);
    const error = await save(changed);
    if (error) hooks.toast(error, true);
  }

  // The form -------------------------------------------------------------

  function field(label, input) {
    return el('label', { className: 'field' }, el('span', { textContent: label }), input);
  }

  function options(id, values, names) {
    return el('select', { id }, ...values.map((value) => el('option', { value, textContent: names[value] || value })));
  }

  function buildForm() {
    document.getElementById('schedule-dialog')?.remove();
    const weekdays = el('div', { className: 'weekdays' }, ...kWeekdays.map((day) => el('label', {},
      el('input', { type: 'checkbox', name: 'entry-weekday', value: day }), s('weekdays')[day])));
    const form = el('form', { id: 'schedule-form', method: 'dialog' },
      el('h2', { id: 'entry-title' }),
      field(s('kind'), options('entry-kind', ['play', 'command'], s('kinds'))),
      field(s('show'), el('input', { id: 'entry-play', type: 'text', autocomplete: 'off' })),
      el('datalist', { id: 'entry-shows' }),
      field(s('command'), el('input', { id: 'entry-command', type: 'text', autocomplete: 'off' })),
      el('datalist', { id: 'entry-commands' }),
      field(s('args'), el('input', { id: 'entry-args', type: 'text', placeholder: '{"percent": 40}' })),
      field(s('name'), el('input', { id: 'entry-name', type: 'text' })),
      field(s('days'), options('entry-days', ['all', 'odd', 'even', 'weekdays'], s('dayRules'))),
      weekdays,
      field(s('from'), el('input', { id: 'entry-from', type: 'date' })),
      field(s('to'), el('input', { id: 'entry-to', type: 'date' })),
      el('label', { className: 'check' }, el('input', { id: 'entry-every-year', type: 'checkbox' }), s('everyYear')),
      field(s('start'), el('input', { id: 'entry-start', type: 'text', placeholder: '18:00 / sunset+15' })),
      field(s('end'), el('input', { id: 'entry-end', type: 'text', placeholder: '23:00 / dawn-10' })),
      field(s('repeat'), options('entry-repeat', ['loop', 'once', 'every'], s('repeats'))),
      field(s('interval'), el('input', { id: 'entry-interval', type: 'number', min: 1, max: 1440, value: 30 })),
      field(s('stop'), options('entry-stop', ['entry', 'pass', 'now'], s('stops'))),
      field(s('priority'), el('input', { id: 'entry-priority', type: 'number', value: 0, step: 1 })),
      el('label', { className: 'check' }, el('input', { id: 'entry-enabled', type: 'checkbox', checked: true }), s('enabled')),
      el('p', { id: 'entry-error', className: 'error', hidden: true }),
      el('menu', {},
        el('button', { id: 'entry-cancel', type: 'button', textContent: s('cancel'), onclick: () => document.getElementById('schedule-dialog').close() }),
        el('button', { id: 'entry-save', type: 'submit', className: 'primary', textContent: s('save') })));
    form.querySelector('#entry-play').setAttribute('list', 'entry-shows');
    form.querySelector('#entry-command').setAttribute('list', 'entry-commands');
    form.onsubmit = submit;
    form.querySelector('#entry-kind').onchange = showFields;
    form.querySelector('#entry-days').onchange = showFields;
    form.querySelector('#entry-repeat').onchange = showFields;
    document.body.append(el('dialog', { id: 'schedule-dialog', className: 'schedule-dialog' }, form));
  }

  const $ = (id) => document.getElementById(id);

  function showFields() {
    const command = $('entry-kind').value === 'command';
    $('entry-play').closest('label').hidden = command;
    $('entry-command').closest('label').hidden = !command;
    $('entry-args').closest('label').hidden = !command;
    document.querySelector('.weekdays').hidden = $('entry-days').value !== 'weekdays';
    $('entry-interval').closest('label').hidden = $('entry-repeat').value !== 'every';
  }

  function openForm(index) {
    card.editing = index;
    const entry = index === null ? { play: '', start: '18:00', end: '22:00' } : card.document.entries[index];
    $('entry-title').textContent = index === null ? s('add') : s('editEntry', index + 1);
    $('entry-shows').replaceChildren(...card.shows.map((name) => el('option', { value: name })));
    $('entry-commands').replaceChildren(...card.commands.map((name) => el('option', { value: name })));
    $('entry-kind').value = entry.command ? 'command' : 'play';
    $('entry-play').value = entry.play || '';
    $('entry-command').value = entry.command || '';
    $('entry-args').value = entry.command ? JSON.stringify(entry.args || {}) : '';
    $('entry-name').value = entry.name || '';
    const days = entry.days === undefined ? 'all' : entry.days;
    $('entry-days').value = Array.isArray(days) ? 'weekdays' : days;
    for (const box of document.querySelectorAll('[name="entry-weekday"]')) box.checked = Array.isArray(days) && days.includes(box.value);
    $('entry-from').value = entry.dates ? entry.dates[0] : '';
    $('entry-to').value = entry.dates ? entry.dates[1] : '';
    $('entry-every-year').checked = Boolean(entry['every-year']);
    $('entry-start').value = entry.start || '';
    $('entry-end').value = entry.end || '';
    $('entry-repeat').value = typeof entry.repeat === 'number' ? 'every' : (entry.repeat || (entry.command ? 'once' : 'loop'));
    $('entry-interval').value = typeof entry.repeat === 'number' ? entry.repeat : 30;
    $('entry-stop').value = entry.stop || 'entry';
    $('entry-priority').value = entry.priority || 0;
    $('entry-enabled').checked = entry.enabled !== false;
    $('entry-error').hidden = true;
    showFields();
    $('schedule-dialog').showModal();
  }

  // The entry as the form gives it; the player checks it in full.
  function formEntry() {
    const entry = {};
    if ($('entry-kind').value === 'command') {
      entry.command = $('entry-command').value.trim();
      const args = $('entry-args').value.trim();
      try {
        entry.args = args ? JSON.parse(args) : {};
      } catch {
        throw new Error(s('argsNotJson'));
      }
    } else {
      entry.play = $('entry-play').value.trim();
    }
    if ($('entry-name').value.trim()) entry.name = $('entry-name').value.trim();
    const days = $('entry-days').value;
    entry.days = days === 'weekdays'
      ? [...document.querySelectorAll('[name="entry-weekday"]:checked')].map((box) => box.value) : days;
    if ($('entry-from').value || $('entry-to').value) {
      entry.dates = [$('entry-from').value, $('entry-to').value];
      entry['every-year'] = $('entry-every-year').checked;
    }
    entry.start = $('entry-start').value.trim();
    if ($('entry-end').value.trim()) entry.end = $('entry-end').value.trim();
    const repeat = $('entry-repeat').value;
    entry.repeat = repeat === 'every' ? Number($('entry-interval').value) : repeat;
    entry.stop = $('entry-stop').value;
    entry.priority = Number($('entry-priority').value) || 0;
    entry.enabled = $('entry-enabled').checked;
    return entry;
  }

  async function submit(event) {
    event.preventDefault();
    const changed = structuredClone(card.document || { entries: [] });
    let error;
    try {
      const entry = formEntry();
      if (card.editing === null) changed.entries.push(entry);
      else changed.entries[card.editing] = entry;
      error = await save(changed);
    } catch (fault) {
      error = fault.message;
    }
    if (!error) {
      $('schedule-dialog').close();
      return;
    }
    $('entry-error').textContent = error;
    $('entry-error').hidden = false;
  }

  return { render };
}

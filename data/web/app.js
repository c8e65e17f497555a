// Kov's remote-control page: the lists, the items with live progress, adding URLs, starting
// and stopping sessions, the scheduler queue and the log. It talks only to the server that
// served it; the token stays in this tab's session storage and goes in the Authorization
// header (never in a URL).
'use strict';

const API = '/api/v1';
const TOKEN_KEY = 'kov-token';
const LOG_LINES = 300;
const $ = (id) => document.getElementById(id);

const state = {
  token: sessionStorage.getItem(TOKEN_KEY) || '',
  list: 0,           // the program's current list; 0 until the lists are read
  items: new Map(),  // id -> item
  rows: new Map(),   // id -> its table row
  itemsTag: '',      // the entity tag of the items last read
  itemsLoad: null,   // the read of the items under way
  itemsAgain: false, // read them once more when it ends
  logNext: 0,
  stream: null,      // the AbortController of the event stream
  retry: 1000,
};

class ApiError extends Error {
  constructor(status, body) {
    super(body && body.error ? body.error + (body.cause ? ': ' + body.cause : '') :
      'HTTP ' + status);
    this.status = status;
  }
}

async function api(method, path, body) {
  const init = {method, headers: {Authorization: 'Bearer ' + state.token}};
  if (body !== undefined) {
    init.headers['Content-Type'] = 'application/json';
    init.body = JSON.stringify(body);
  }
  const response = await fetch(API + path, init);
  const text = await response.text();
  let json = null;
  try { json = text ? JSON.parse(text) : null; } catch (e) { json = null; }
  if (!response.ok) {
    const error = new ApiError(response.status, json);
    if (response.status === 401) askToken('The token was refused: ' + error.message);
    throw error;
  }
  return json;
}

function showMessage(text, kind) {
  const box = $('message');
  box.textContent = text;
  box.className = kind || 'error';
  box.hidden = !text;
}

function report(error) {
  if (!(error instanceof ApiError && error.status === 401)) showMessage(error.message);
}

function askToken(why) {
  stopStream();
  state.token = '';
  sessionStorage.removeItem(TOKEN_KEY);
  $('app').hidden = true;
  $('login').hidden = false;
  showMessage(why || '', why ? 'error' : '');
  $('token').focus();
}

function el(tag, text, className) {
  const node = document.createElement(tag);
  if (text !== undefined && text !== null) node.textContent = String(text);
  if (className) node.className = className;
  return node;
}

function formatBytes(n) {
  if (n === null || n === undefined) return '?';
  const units = ['B', 'KB', 'MB', 'GB', 'TB'];
  let i = 0;
  while (n >= 1024 && i < units.length - 1) { n /= 1024; ++i; }
  return (i ? n.toFixed(1) : String(n)) + ' ' + units[i];
}

// --- lists -----------------------------------------------------------------------------------

async function loadLists() {
  const data = await api('GET', '/lists');
  const lists = Array.isArray(data) ? data : data.lists;
  const ul = $('lists');
  ul.replaceChildren();
  for (const list of lists) {
    if (list.current) state.list = list.index;
    const button = el('button', list.name);
    button.type = 'button';
    button.dataset.list = list.index;
    button.title = list.current ? 'The current list' : 'Make this the current list';
    if (list.current) button.className = 'selected';
    button.addEventListener('click', () => selectList(list.index));
    const li = el('li');
    li.append(button);
    ul.append(li);
  }
  const current = lists.find((list) => list.current);
  $('items-list').textContent = current ? '(' + current.name + ')' : '';
}

// The program's current list changes, as in its window (refused while a session runs).
async function selectList(index) {
  if (index === state.list) return;
  try {
    await api('POST', '/lists/current', {list: index});
    await refresh();
  } catch (error) { report(error); }
}

// --- items -----------------------------------------------------------------------------------

// The items are read whole only at the start, after a loss of events and when the list
// changed; the event stream keeps the rows up to date in between. Reads asked for while one is
// under way become one more read after it; an unchanged list answers 304 without the items.
function loadItems() {
  if (state.itemsLoad) {
    state.itemsAgain = true;
    return state.itemsLoad;
  }
  state.itemsLoad = (async () => {
    try {
      do {
        state.itemsAgain = false;
        await readItems();
      } while (state.itemsAgain);
    } finally {
      state.itemsLoad = null;
    }
  })();
  return state.itemsLoad;
}

async function readItems() {
  const headers = {Authorization: 'Bearer ' + state.token};
  if (state.itemsTag) headers['If-None-Match'] = state.itemsTag;
  const response = await fetch(API + '/items', {headers});
  if (response.status === 304) return;
  if (!response.ok) {
    let json = null;
    try { json = await response.json(); } catch (e) { json = null; }
    const error = new ApiError(response.status, json);
    if (response.status === 401) askToken('The token was refused: ' + error.message);
    throw error;
  }
  const items = await response.json();
  state.itemsTag = response.headers.get('ETag') || '';
  state.items = new Map(items.map((item) => [item.id, item]));
  state.rows = new Map();
  const rows = items.map((item) => {
    const tr = makeRow(item);
    state.rows.set(item.id, tr);
    return tr;
  });
  $('items').tBodies[0].replaceChildren(...rows);
  $('no-items').hidden = items.length > 0;
}

function makeRow(item) {
  const tr = el('tr');
  tr.dataset.id = item.id;
  const on = el('input');
  on.type = 'checkbox';
  on.className = 'enabled';
  on.title = 'Enabled';
  on.addEventListener('change', () => setEnabled(item.id, on));
  const remove = el('button', '×', 'quiet remove');
  remove.type = 'button';
  remove.title = 'Remove';
  remove.addEventListener('click', () => removeItem(item.id));
  const name = el('td', null, 'name');
  name.append(el('div', null, 'title'), el('div', null, 'url muted'), el('div', null, 'error'));
  const progress = el('progress');
  const bar = el('td', null, 'bar');
  bar.append(progress, el('span', null, 'amount muted'));
  const cells = [el('td', null, 'index'), el('td'), name, el('td', null, 'state'), bar,
    el('td', null, 'speed'), el('td', null, 'last'), el('td')];
  cells[1].append(on);
  cells[7].append(remove);
  tr.append(...cells);
  fillRow(tr, item);
  return tr;
}

function fillRow(tr, item) {
  tr.querySelector('.index').textContent = item.index;
  tr.querySelector('.enabled').checked = !!item.enabled;
  tr.querySelector('.title').textContent = item.name;
  tr.querySelector('.url').textContent = item.url;
  tr.querySelector('.error').textContent =
    item.error ? item.error.text + (item.error.cause ? ' (' + item.error.cause + ')' : '') : '';
  const cell = tr.querySelector('.state');
  cell.textContent = item.state;
  cell.className = 'state ' + item.state;
  tr.querySelector('.last').textContent = item.lastDownload ? item.lastDownload.replace('T', ' ') : '';
  fillProgress(tr, item);
}

function fillProgress(tr, item) {
  const bar = tr.querySelector('progress');
  const done = item.state === 'done';
  if (item.total) {
    bar.max = item.total;
    bar.value = Math.min(item.bytes || 0, item.total);
  } else if (done) {
    bar.max = 1;
    bar.value = 1;
  } else if (item.state === 'running') {
    bar.removeAttribute('value');  // indeterminate: the size is not known
  } else {
    bar.max = 1;
    bar.value = 0;
  }
  tr.querySelector('.amount').textContent =
    item.bytes ? formatBytes(item.bytes) + (item.total ? ' of ' + formatBytes(item.total) : '') : '';
  tr.querySelector('.speed').textContent =
    item.state === 'running' && item.speed ? formatBytes(item.speed) + '/s' : '';
}

function rowOf(id) {
  return state.rows.get(Number(id));
}

function updateItem(item) {
  if (state.list && item.list && item.list !== state.list) return;
  const known = state.items.get(item.id);
  state.items.set(item.id, Object.assign(known || {}, item));
  const tr = rowOf(item.id);
  if (tr) fillRow(tr, state.items.get(item.id));
  else loadItems().catch(report);
}

function updateProgress(p) {
  const item = state.items.get(p.id);
  if (!item) return;
  Object.assign(item, {bytes: p.bytes, total: p.total, speed: p.speed});
  if (item.state !== 'done' && item.state !== 'error') item.state = 'running';
  const tr = rowOf(p.id);
  if (tr) fillRow(tr, item);
}

async function setEnabled(id, box) {
  try {
    updateItem(await api('PATCH', '/items/' + id, {enabled: box.checked}));
  } catch (error) {
    box.checked = !box.checked;
    report(error);
  }
}

async function removeItem(id) {
  const item = state.items.get(id);
  if (!confirm('Remove "' + (item ? item.name : id) + '" from the list?')) return;
  try {
    await api('DELETE', '/items/' + id);
    await loadItems();
  } catch (error) { report(error); }
}

async function addUrls(event) {
  event.preventDefault();
  const urls = $('urls').value.split('\n').map((u) => u.trim()).filter((u) => u);
  if (!urls.length) return showMessage('Enter at least one URL.');
  const body = {urls, template: $('add-template').checked};
  if ($('add-name').value.trim()) body.name = $('add-name').value.trim();
  if ($('add-dest').value.trim()) body.dest = $('add-dest').value.trim();
  try {
    const result = await api('POST', '/items', body);
    $('urls').value = '';
    showMessage('Added ' + result.ids.length + (result.ids.length === 1 ? ' item.' : ' items.'), 'info');
    await loadItems();
  } catch (error) { report(error); }
}

// --- session, status and queue ---------------------------------------------------------------

async function session(action, body) {
  try {
    await api('POST', '/session/' + action, body);
    await loadStatus();
  } catch (error) { report(error); }
}

async function loadStatus() {
  const s = await api('GET', '/status');
  const badge = $('session');
  badge.textContent = s.session;
  badge.className = 'badge ' + s.session;
  const totals = $('totals');
  totals.replaceChildren();
  const t = s.totals || {};
  const traffic = s.traffic || {};
  for (const [term, value] of [['Running', t.running], ['Queued', t.queued], ['Done', t.done],
    ['Failed', t.failed], ['Downloaded', formatBytes(t.bytes || 0)],
    ['Traffic', formatBytes(traffic.counter || 0) +
      (traffic.limit ? ' of ' + formatBytes(traffic.limit) : '')]]) {
    totals.append(el('dt', term), el('dd', value === undefined ? '–' : value));
  }
  const queue = s.queue || [];
  $('queue').tBodies[0].replaceChildren(...queue.map((q) => {
    const tr = el('tr');
    tr.append(el('td', q.task), el('td', q.list), el('td', q.start), el('td', q.stop));
    return tr;
  }));
  $('no-queue').hidden = queue.length > 0;
}

// --- log -------------------------------------------------------------------------------------

function addLogLine(line) {
  if (line.seq < state.logNext) return;  // already shown (read and streamed both)
  state.logNext = line.seq + 1;
  const li = el('li', null, line.kind || '');
  li.append(el('time', (line.time || '').replace('T', ' ')), el('span', line.text));
  const log = $('log');
  log.append(li);
  while (log.children.length > LOG_LINES) log.firstChild.remove();
  li.scrollIntoView({block: 'nearest'});
}

async function loadLog() {
  const data = await api('GET', '/log?after=' + Math.max(0, state.logNext - 1));
  for (const line of data.lines) addLogLine(line);
}

// --- the event stream ------------------------------------------------------------------------

function handleEvent(name, data) {
  let value;
  try { value = JSON.parse(data); } catch (e) { return; }
  if (name === 'item') updateItem(value);
  else if (name === 'progress') updateProgress(value);
  else if (name === 'log') addLogLine(value);
  else if (name === 'session') loadStatus().catch(report);
  else if (name === 'list') loadItems().catch(report);
  else if (name === 'lost') refresh();
}

// Server-Sent Events read by hand: EventSource cannot send the Authorization header.
async function readStream(response) {
  const reader = response.body.pipeThrough(new TextDecoderStream()).getReader();
  let buffer = '';
  for (;;) {
    const {value, done} = await reader.read();
    if (done) return;
    buffer += value.replace(/\r\n?/g, '\n');
    let end;
    while ((end = buffer.indexOf('\n\n')) >= 0) {
      const block = buffer.slice(0, end);
      buffer = buffer.slice(end + 2);
      let name = 'message';
      const data = [];
      for (const line of block.split('\n')) {
        if (line.startsWith('event:')) name = line.slice(6).trim();
        else if (line.startsWith('data:')) data.push(line.slice(5).replace(/^ /, ''));
      }
      if (data.length) handleEvent(name, data.join('\n'));
    }
  }
}

function setConnected(on) {
  const badge = $('connection');
  badge.textContent = on ? 'live' : 'offline';
  badge.className = 'badge ' + (on ? 'on' : 'off');
}

async function openStream() {
  stopStream();
  const controller = new AbortController();
  state.stream = controller;
  try {
    const response = await fetch(API + '/events', {
      headers: {Authorization: 'Bearer ' + state.token, Accept: 'text/event-stream'},
      signal: controller.signal,
    });
    if (response.status === 401) return askToken('The token was refused.');
    if (!response.ok) throw new ApiError(response.status, null);
    setConnected(true);
    state.retry = 1000;
    refresh();  // what happened while the stream was down
    await readStream(response);
  } catch (error) {
    if (controller.signal.aborted) return;
  }
  if (state.stream !== controller) return;
  setConnected(false);
  // Back off up to half a minute while the program is away.
  setTimeout(() => { if (state.stream === controller) openStream(); }, state.retry);
  state.retry = Math.min(state.retry * 2, 30000);
}

function stopStream() {
  if (state.stream) state.stream.abort();
  state.stream = null;
  setConnected(false);
}

// --- start -----------------------------------------------------------------------------------

async function refresh() {
  try {
    await loadLists();
    await Promise.all([loadItems(), loadStatus(), loadLog()]);
  } catch (error) { report(error); }
}

async function connect() {
  $('login').hidden = true;
  $('app').hidden = false;
  showMessage('');
  await refresh();
  if (state.token) openStream();
}

document.addEventListener('DOMContentLoaded', () => {
  $('login').addEventListener('submit', (event) => {
    event.preventDefault();
    state.token = $('token').value.trim();
    $('token').value = '';
    if (!/^[0-9a-f]{64}$/.test(state.token)) return askToken('A token is 64 hex digits.');
    sessionStorage.setItem(TOKEN_KEY, state.token);
    connect();
  });
  $('add').addEventListener('submit', addUrls);
  $('start').addEventListener('click', () => session('start', {}));
  $('stop').addEventListener('click', () => session('stop', {now: false}));
  $('stop-now').addEventListener('click', () => session('stop', {now: true}));
  $('logout').addEventListener('click', () => askToken(''));
  if (state.token) connect();
  else askToken('');
});

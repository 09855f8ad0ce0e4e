// The view's page. Plain HTML, CSS and JavaScript: nothing is fetched from
// anywhere but this server.
#include "ViewPage.h"

namespace KacqView {

namespace {

const char* const kHtml = R"HTML(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>kacq view</title>
<link rel="stylesheet" href="/style.css">
</head>
<body>
<header>
  <h1>kacq view <span id="camera"></span></h1>
  <div id="message" role="alert" hidden></div>
</header>
<main>
  <section id="live">
    <div id="picture"><img id="frame" alt="live image"></div>
    <dl id="stats">
      <dt>Frame</dt><dd id="frames">0</dd>
      <dt>fps</dt><dd id="fps">0</dd>
      <dt>Size</dt><dd id="size">-</dd>
      <dt>Incomplete</dt><dd id="incomplete">0</dd>
      <dt>Resent</dt><dd id="resent">0</dd>
      <dt>State</dt><dd id="state">-</dd>
    </dl>
    <div id="buttons">
      <button id="start" type="button">Start</button>
      <button id="stop" type="button">Stop</button>
      <button id="oneshot" type="button">One shot</button>
      <a id="save" href="/api/frame.png" download>Save PNG</a>
    </div>
  </section>
  <section id="settings"><form id="form" onsubmit="return false"></form></section>
</main>
<script src="/app.js"></script>
</body>
</html>
)HTML";

const char* const kCss = R"CSS(
body { font: 14px system-ui, sans-serif; margin: 0; background: #f4f5f7; color: #1d2330; }
header { padding: 8px 16px; background: #1d2330; color: #fff; }
h1 { font-size: 18px; margin: 0; }
#camera { font-weight: normal; opacity: .8; }
#message { margin-top: 6px; padding: 6px 10px; background: #b3261e; color: #fff; border-radius: 4px; }
main { display: flex; flex-wrap: wrap; gap: 16px; padding: 16px; align-items: flex-start; }
#live { flex: 1 1 480px; }
#picture { background: #000; display: inline-block; max-width: 100%; }
#frame { display: block; max-width: 100%; image-rendering: pixelated; min-width: 64px; min-height: 48px; }
#stats { display: grid; grid-template-columns: auto 1fr auto 1fr auto 1fr; gap: 2px 10px; }
#stats dt { font-weight: 600; } #stats dd { margin: 0; font-variant-numeric: tabular-nums; }
#buttons { display: flex; gap: 8px; align-items: center; }
button, #save { padding: 5px 12px; border: 1px solid #8a93a6; border-radius: 4px; background: #fff;
  color: inherit; text-decoration: none; cursor: pointer; }
#settings { flex: 0 1 440px; max-height: 85vh; overflow: auto; }
fieldset { border: 1px solid #c4c9d4; border-radius: 4px; margin: 0 0 10px; background: #fff; }
legend { font-weight: 600; }
.row { display: grid; grid-template-columns: 150px 1fr 34px; gap: 6px; align-items: center; padding: 2px 0; }
.row label { overflow: hidden; text-overflow: ellipsis; white-space: nowrap; }
.row input[type=number], .row select, .row input[type=text] { width: 100%; box-sizing: border-box; }
.row .range { grid-column: 2; font-size: 11px; color: #5a6275; }
.row .access { font-size: 11px; color: #5a6275; }
.row.NE, .row.NP { opacity: .45; }
.row.bad .access { color: #b3261e; }
.switch { appearance: none; width: 34px; height: 18px; border-radius: 9px; background: #c4c9d4;
  position: relative; cursor: pointer; }
.switch:checked { background: #2f6fdf; }
.switch::after { content: ""; position: absolute; top: 2px; left: 2px; width: 14px; height: 14px;
  border-radius: 50%; background: #fff; transition: left .1s; }
.switch:checked::after { left: 18px; }
)CSS";

const char* const kJs = R"JS('use strict';
const $ = (id) => document.getElementById(id);
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
let lastFrame = 0;
let lastUrl = null;

function showMessage(text) {
  const m = $('message');
  m.textContent = text || '';
  m.hidden = !text;
}

async function post(path, fields) {
  const body = new URLSearchParams(fields);
  const r = await fetch(path, { method: 'POST', body, headers: { 'X-Kacq-View': '1' } });
  let data = {};
  try { data = await r.json(); } catch (e) { data = { error: 'HTTP ' + r.status }; }
  if (!r.ok) throw new Error(data.error || ('HTTP ' + r.status));
  return data;
}

// Frames: each request waits on the server for a frame newer than ours.
async function frameLoop() {
  for (;;) {
    try {
      const r = await fetch('/api/frame.jpg?after=' + lastFrame, { cache: 'no-store' });
      if (r.status === 200) {
        const blob = await r.blob();
        const url = URL.createObjectURL(blob);
        const img = $('frame');
        await new Promise((resolve) => { img.onload = img.onerror = resolve; img.src = url; });
        if (lastUrl) URL.revokeObjectURL(lastUrl);
        lastUrl = url;
        lastFrame = Number(r.headers.get('X-Frame-Number')) || lastFrame;
        img.dataset.frame = String(lastFrame);
        img.dataset.shown = String(Number(img.dataset.shown || 0) + 1);
        $('frames').textContent = String(lastFrame);
        $('size').textContent = img.naturalWidth + ' \u00d7 ' + img.naturalHeight;
      } else if (r.status !== 204) {
        await sleep(500);
      }
    } catch (e) {
      await sleep(1000);
    }
  }
}

async function statusLoop() {
  for (;;) {
    try {
      const s = await (await fetch('/api/status', { cache: 'no-store' })).json();
      $('camera').textContent = s.camera;
      $('fps').textContent = s.fps.toFixed(1);
      $('incomplete').textContent = String(s.incomplete);
      $('resent').textContent = String(s.resent);
      $('state').textContent = (s.running ? 'grabbing' : 'stopped') + (s.error ? ' \u2013 ' + s.error : '');
    } catch (e) {
      $('state').textContent = 'server not reachable';
    }
    await sleep(500);
  }
}

function control(f) {
  const ro = f.access !== 'RW' && f.access !== 'WO';
  let input;
  if (f.type === 'enum') {
    input = document.createElement('select');
    for (const e of f.entries || []) {
      const o = document.createElement('option');
      o.value = o.textContent = e;
      input.appendChild(o);
    }
    if (f.value !== undefined) input.value = f.value;
  } else if (f.type === 'bool') {
    input = document.createElement('input');
    input.type = 'checkbox';
    input.className = 'switch';
    input.checked = !!f.value;
  } else if (f.type === 'int' || f.type === 'float') {
    input = document.createElement('input');
    input.type = 'number';
    if (f.min !== undefined) input.min = f.min;
    if (f.max !== undefined) input.max = f.max;
    input.step = f.type === 'int' ? (f.inc || 1) : 'any';
    if (f.value !== undefined) input.value = f.value;
  } else {
    input = document.createElement('input');
    input.type = 'text';
    input.value = f.value !== undefined ? f.value : '';
  }
  input.id = 'f-' + f.name;
  input.name = f.name;
  input.disabled = ro || f.type === 'string' || f.type === 'other';
  input.addEventListener('change', () => setFeature(f.name,
      input.type === 'checkbox' ? String(input.checked) : input.value));
  return input;
}

function buildForm(tree) {
  const form = $('form');
  form.textContent = '';
  for (const section of tree.sections) {
    const fs = document.createElement('fieldset');
    const legend = document.createElement('legend');
    legend.textContent = section.display || section.name;
    fs.appendChild(legend);
    for (const f of section.features) {
      const row = document.createElement('div');
      row.className = 'row ' + (f.access || '') + (f.error ? ' bad' : '');
      const label = document.createElement('label');
      label.textContent = f.display || f.name;
      label.title = f.name + (f.tip ? ': ' + f.tip : '');
      label.htmlFor = 'f-' + f.name;
      const access = document.createElement('span');
      access.className = 'access';
      access.textContent = f.error ? '!' : (f.access || '');
      if (f.error) access.title = f.error;
      row.append(label, control(f), access);
      if (f.type === 'int' && f.min !== undefined) {
        const range = document.createElement('span');
        range.className = 'range';
        range.textContent = f.min + ' \u2026 ' + f.max + (f.inc > 1 ? ', step ' + f.inc : '');
        row.appendChild(range);
      }
      fs.appendChild(row);
    }
    form.appendChild(fs);
  }
}

async function refreshForm() {
  try {
    const r = await fetch('/api/features', { cache: 'no-store' });
    buildForm(await r.json());
  } catch (e) {
    showMessage('cannot read the settings: ' + e.message);
  }
}

// A change can alter other features: the whole form is read again.
async function setFeature(name, value) {
  try {
    await post('/api/feature', { name, value });
    showMessage('');
  } catch (e) {
    showMessage(e.message);
  }
  await refreshForm();
}

async function acquisition(action) {
  try {
    await post('/api/acquisition', { action });
    showMessage('');
  } catch (e) {
    showMessage(e.message);
  }
}

$('start').addEventListener('click', () => acquisition('start'));
$('stop').addEventListener('click', () => acquisition('stop'));
$('oneshot').addEventListener('click', () => acquisition('oneshot'));
refreshForm();
frameLoop();
statusLoop();
)JS";

} // namespace

const std::vector<PageResource>& PageResources() {
    static const std::vector<PageResource> resources = {
        {"/", "text/html; charset=utf-8", kHtml},
        {"/app.js", "text/javascript; charset=utf-8", kJs},
        {"/style.css", "text/css; charset=utf-8", kCss},
    };
    return resources;
}

} // namespace KacqView

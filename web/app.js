// The Lozengia page: the form, the sampler in its worker, the steps, live
// mode and the keys, the picture and its files.
import { loadCore } from './lozengia.js';
import { HexagonForm } from './form.js';
import { TilingView } from './view.js';

const $ = (id) => document.getElementById(id);
const core = await loadCore();
const hexagon = new core.WebHexagon();  // the page's tiling, drawn here
const view = new TilingView($('canvas'), hexagon);
const form = new HexagonForm(core, () => form.check());

// What the tiling on the page was made with: its checked fields and seed,
// and how many runs of sweeps have been made since its sample.
const state = { fields: null, seed: '1', runs: 0, busy: false, live: false };

// ---- The worker -------------------------------------------------------
let worker = null;
let job = null;  // { resolve, reject } of the request under way

function startWorker() {
  worker = new Worker(new URL('./worker.js', import.meta.url), { type: 'module' });
  worker.onmessage = (e) => {
    const m = e.data;
    if (m.type === 'progress') return showProgress(m.done, m.total);
    const j = job;
    job = null;
    if (!j) return;
    if (m.type === 'done') return j.resolve(m);
    // A failure inside the WebAssembly module leaves it unusable: a fresh
    // worker takes the next request (the page's tiling is its own).
    if (m.type === 'error') restartWorker();
    j.reject(new Error(m.message));
  };
  worker.onerror = (e) => {
    const j = job;
    job = null;
    if (j) j.reject(new Error(e.message || 'The sampler failed'));
  };
}
startWorker();

function restartWorker() {
  worker.terminate();
  startWorker();
}

function request(message) {
  return new Promise((resolve, reject) => {
    job = { resolve, reject, kind: message.type };
    worker.postMessage(message);
  });
}

// ---- What the page shows ----------------------------------------------
function showProgress(done, total) {
  $('progress').max = Math.max(total, 1);
  $('progress').value = done;
  $('progress-text').textContent = total > 0 ? `${done} / ${total}` : '';
}

function say(text) {
  const box = $('messages');
  box.textContent += `${text}\n`;
  box.scrollTop = box.scrollHeight;
}

function setBusy(busy) {
  state.busy = busy;
  document.body.dataset.busy = busy ? 'yes' : 'no';
  for (const id of ['sample', 'plus', 'minus', 'live', 'model'])
    $(id).disabled = busy || (id !== 'sample' && id !== 'model' && !state.fields);
  $('stop').disabled = !busy;
}

// The worker's tiling becomes the page's.
function takeTiling(m) {
  hexagon.tiling_buffer(m.N, m.T, m.S).set(m.paths);
  $('report').textContent = m.report;
  if (m.lines) say(m.lines.trimEnd());
}

// ---- Exact sample -----------------------------------------------------
async function sample() {
  const checked = form.check();
  if (!checked.ok) return;
  const fields = form.fields();
  const seed = $('seed').value;
  $('seed-message').textContent = '';
  setBusy(true);
  try {
    const m = await request({ type: 'sample', fields, seed });
    Object.assign(state, { fields, seed, runs: 0 });
    takeTiling(m);
    view.fit();
  } catch (err) {
    if (err.message.startsWith('seed:')) $('seed-message').textContent = err.message;
    else if (err.message !== 'Stopped') say(err.message);
  } finally {
    setBusy(false);
  }
}

// ---- Runs of sweeps: the step commands, the keys and live mode ----------
// One run: `count` sweeps S->S+1 (or S->S-1; round trips with alternate).
async function sweeps(plus, alternate, count) {
  const m = await request({
    type: 'sweeps', fields: state.fields, N: hexagon.N(), T: hexagon.T(), S: hexagon.S(),
    paths: Int32Array.from(hexagon.paths()), plus, alternate, count, seed: state.seed,
    run: state.runs++,
  });
  takeTiling(m);
  view.redraw();
  return m.made;
}

async function steps(plus) {
  const refusal = core.step_refusal($('steps').value, hexagon.S(), hexagon.T(), plus);
  $('steps-message').textContent = refusal;
  if (refusal || !state.fields) return;
  setBusy(true);
  try {
    await sweeps(plus, false, Number($('steps').value));
  } catch (err) {
    if (err.message !== 'Stopped') say(err.message);
  } finally {
    setBusy(false);
  }
}

// The keys of interactive mode: one transition each, where it can be made.
const KEY_ACTIONS = {
  a: { plus: true, alternate: false, count: 1, needs: 'up' },
  z: { plus: false, alternate: false, count: 1, needs: 'down' },
  s: { plus: true, alternate: true, count: 2, needs: 'up' },
  x: { plus: false, alternate: true, count: 2, needs: 'down' },
};

function room(needs) {
  return needs === 'up' ? hexagon.S() < hexagon.T() : hexagon.S() > 0;
}

// Live mode's four transitions, as its dialog lists them.
const TRANSITIONS = {
  1: { plus: true, alternate: true, count: 2, needs: 'up', refused: 'It is impossible now! (S=T)' },
  2: { plus: false, alternate: true, count: 2, needs: 'down', refused: 'It is impossible now! (S=0)' },
  3: { plus: true, alternate: false, count: 1, needs: 'up', refused: 'It is impossible now! (S=T)' },
  4: { plus: false, alternate: false, count: 1, needs: 'down', refused: 'It is impossible now! (S=0)' },
};

async function live() {
  const t = TRANSITIONS[$('transition').value];
  const delayText = $('delay').value.trim();
  const message = $('live-message');
  message.textContent = '';
  if (!state.fields) return;
  if (!room(t.needs)) {
    message.textContent = t.refused;
    return;
  }
  if (!/^[+]?\d+$/.test(delayText) || Number(delayText) > 2147483647) {
    message.textContent = 'Incorrect input!';
    return;
  }
  const delay = Number(delayText);
  state.live = true;
  document.body.dataset.live = 'yes';
  setBusy(true);
  $('canvas').focus();
  try {
    while (state.live && room(t.needs)) {
      await sweeps(t.plus, t.alternate, t.count);
      if (!state.live) break;
      await new Promise((resolve) => setTimeout(resolve, delay));
    }
  } catch (err) {
    if (err.message !== 'Stopped') say(err.message);
  } finally {
    state.live = false;
    document.body.dataset.live = 'no';
    setBusy(false);
  }
}

// Stop: a run of sweeps ends after the sweep under way and keeps what it
// made; an exact sample is abandoned (its worker ended and replaced), the
// tiling shown before it kept.
function stop() {
  state.live = false;
  if (!job) return;
  if (job.kind === 'sweeps') {
    worker.postMessage({ type: 'stop' });
    return;
  }
  const j = job;
  job = null;
  restartWorker();
  showProgress(0, 0);
  j.reject(new Error('Stopped'));
  say('Stopped');
}

// ---- Files ------------------------------------------------------------
function download(blob, name) {
  const a = document.createElement('a');
  a.href = URL.createObjectURL(blob);
  a.download = name;
  a.click();
  setTimeout(() => URL.revokeObjectURL(a.href), 10000);
}

function fileName(suffix) {
  return `lozengia-${hexagon.N()}x${hexagon.T() - hexagon.S()}x${hexagon.S()}.${suffix}`;
}

function longSide() {
  const text = $('size').value.trim();
  const n = Number(text);
  if (!/^\d+$/.test(text) || n < 16 || n > 20000) {
    $('save-message').textContent = 'Long side (pixels): an integer from 16 to 20000';
    return 0;
  }
  $('save-message').textContent = '';
  return n;
}

function savePng() {
  const side = longSide();
  if (!side || !view.hasTiling()) return;
  const style = Number($('style').value);
  const f = hexagon.whole_picture_frame(style, side);
  if (f.length === 0) {
    $('save-message').textContent = hexagon.refusal();
    return;
  }
  const [w, h, x1, y1, x2, y2] = f;
  // Browsers hold canvases of up to about 16384 x 16384 pixels.
  if (w * h > 16384 * 16384) {
    $('save-message').textContent =
      `PNG picture refused: ${w} x ${h} pixels is more than this browser's canvas holds; choose a smaller long side`;
    return;
  }
  const canvas = document.createElement('canvas');
  canvas.width = w;
  canvas.height = h;
  const rgba = hexagon.render(style, w, h, x1, y1, x2, y2);
  canvas.getContext('2d').putImageData(new ImageData(new Uint8ClampedArray(rgba), w, h), 0, 0);
  canvas.toBlob((blob) => {
    if (blob) download(blob, fileName('png'));
    else $('save-message').textContent = 'PNG picture could not be made in this browser';
  }, 'image/png');
}

function saveSvg() {
  const side = longSide();
  if (!side || !view.hasTiling()) return;
  const text = hexagon.svg(Number($('style').value), side);
  if (!text) {
    $('save-message').textContent = hexagon.refusal();
    return;
  }
  download(new Blob([text], { type: 'image/svg+xml' }), fileName('svg'));
}

function exportText() {
  if (!view.hasTiling()) return;
  download(new Blob([hexagon.export_text()], { type: 'text/plain' }), fileName('txt'));
}

// ---- Wiring -----------------------------------------------------------
$('sample').addEventListener('click', sample);
$('stop').addEventListener('click', stop);
$('plus').addEventListener('click', () => steps(true));
$('minus').addEventListener('click', () => steps(false));
$('live').addEventListener('click', live);
$('style').addEventListener('change', () => view.setStyle(Number($('style').value)));
$('save-png').addEventListener('click', savePng);
$('save-svg').addEventListener('click', saveSvg);
$('export').addEventListener('click', exportText);
document.addEventListener('keydown', (e) => {
  if (e.ctrlKey || e.metaKey || e.altKey) return;
  // Any key stops live mode.
  if (state.live) {
    e.preventDefault();
    stop();
    return;
  }
  if (document.activeElement !== $('canvas')) return;
  const key = e.key.toLowerCase();
  if (key === 'q') {
    $('canvas').blur();
    return;
  }
  const action = KEY_ACTIONS[key];
  if (!action || state.busy || !state.fields || !room(action.needs)) return;
  e.preventDefault();
  setBusy(true);
  sweeps(action.plus, action.alternate, action.count)
    .catch((err) => say(err.message))
    .finally(() => setBusy(false));
});

$('canvas').addEventListener('focus', () => {
  if (state.live) return;
  say('Interactive mode. Type a letter in the window with a tiling\npress "a" to do S->S+1 step,\n"z" to do S->S-1 step,\n"s" to do S->S+1->S step,\n"x" to do S->S-1->S step,\n "q" exits this mode.');
});

form.check();
setBusy(false);
document.body.dataset.ready = 'yes';
// For the browser tests and for people who script the page.
window.lozengiaPage = { core, hexagon, view, state };
sample();

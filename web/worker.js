// The page's sampler: exact samples and runs of sweeps on a thread of their
// own, so that the page never freezes. Every request carries what it needs
// (the fields, and for sweeps the tiling), so a worker ended by Stop is
// replaced by a fresh one without losing the page's tiling.
//
// Requests: { type: 'sample', fields, seed }, { type: 'sweeps', fields, N, T,
// S, paths, plus, alternate, count, seed, run }, { type: 'stop' } (a run of
// sweeps ends after the sweep under way; an exact sample is stopped by
// ending the worker). Replies: 'progress' { done, total }, 'done' { N, T,
// S, paths, report, lines, made }, 'refused' { message }, 'error' { message }.
import { loadCore } from './lozengia.js';

let core = null;
let hexagon = null;
let fieldsKey = '';  // the fields the hexagon's tables were made for
let stop = false;
const ready = loadCore().then((c) => {
  core = c;
  hexagon = new core.WebHexagon();
});

// The tables are made once per model: a run of sweeps with the fields of
// the one before only takes the new tiling.
function useFields(fields) {
  const key = JSON.stringify(fields);
  if (key === fieldsKey) return '';
  fieldsKey = '';
  const set = hexagon.set_fields(fields);
  if (!set.ok) return set.message;
  fieldsKey = key;
  return '';
}

function reply(type, fields, transfer = []) {
  postMessage({ type, ...fields }, transfer);
}

function finished(made) {
  const paths = Int32Array.from(hexagon.paths());
  reply('done', {
    N: hexagon.N(), T: hexagon.T(), S: hexagon.S(), paths,
    report: hexagon.report(), lines: hexagon.lines(), made,
  }, [paths.buffer]);
}

function sample(m) {
  const why = useFields(m.fields);
  if (why) return reply('refused', { message: why });
  const total = Number(m.fields.S);
  core.onSweep = (done) => reply('progress', { done, total });
  reply('progress', { done: 0, total });
  const done = hexagon.sample(m.seed);
  core.onSweep = null;
  if (!done.ok) return reply('refused', { message: done.message });
  finished(total);
}

async function sweeps(m) {
  const why = useFields(m.fields);
  if (why) return reply('refused', { message: why });
  hexagon.tiling_buffer(m.N, m.T, m.S).set(m.paths);
  const begun = hexagon.begin_sweeps(m.plus, m.alternate, m.seed, m.run);
  if (!begun.ok) return reply('refused', { message: begun.message });
  let made = 0;
  let since = performance.now();
  while (made < m.count && !stop) {
    const now = hexagon.run_sweeps(1);
    if (now === 0) break;
    made += now;
    // Now and then the worker lets a Stop in, and tells the page how far it is.
    if (performance.now() - since > 30) {
      reply('progress', { done: made, total: m.count });
      await new Promise((resolve) => setTimeout(resolve, 0));
      since = performance.now();
    }
  }
  finished(made);
}

onmessage = async (e) => {
  const m = e.data;
  if (m.type === 'stop') {
    stop = true;
    return;
  }
  // A Stop that comes while the module is still loading is kept.
  stop = false;
  try {
    await ready;
    if (m.type === 'sample') sample(m);
    else if (m.type === 'sweeps') await sweeps(m);
  } catch (err) {
    fieldsKey = '';
    reply('error', { message: String(err && err.message ? err.message : err) });
  }
};

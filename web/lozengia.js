// Lozengia in the browser: exact samples of the six models, the same as
// lozengia-cli's for the same seed.
//
//   import { load } from './lozengia.js';
//   const lz = await load();
//   const s = lz.sample({ model: 'q-hahn', N: 30, T: 60, S: 30, q: 0.98, seed: 7 });
//   // s.rows, s.cols, s.planePartition (Int32Array, row by row), s.text
//
// sample() runs on the calling thread; a page that must stay responsive
// calls it from a Web Worker (the Lozengia page's worker.js does).
import create_core from './lozengia_core.js';

// The model names of lozengia-cli and the Python module, with the kind
// numbers of the "New hexagon" dialog.
export const MODELS = Object.freeze({
  'hahn': 6, 'q-hahn': 5, 'racah': 4, 'trigonometric': 3,
  'real-q-racah': 2, 'imaginary-q-racah': 1,
});

const PARAMETERS = ['q', 'kappa', 'log_q_kappa', 'K', 'alpha', 'beta'];
const OPTIONS = new Set(['model', 'N', 'T', 'S', 'seed', ...PARAMETERS]);

// A value as the check reads it: a string as typed, a number as the
// shortest text that reads back as the same double.
function text(value, name) {
  if (value === undefined || value === null) return '';
  if (typeof value === 'string') return value;
  if (typeof value === 'number' || typeof value === 'bigint') return String(value);
  throw new TypeError(`${name} must be a number or a string, not ${typeof value}`);
}

// The "New hexagon" fields of an options object, as the page's form holds
// them; throws for an unknown model or option.
export function fieldsOf(options) {
  const name = options.model === undefined ? 'hahn' : options.model;
  const kind = MODELS[name];
  if (kind === undefined)
    throw new Error(`Unknown model '${name}': one of ${Object.keys(MODELS).join(', ')}`);
  for (const key of Object.keys(options))
    if (!OPTIONS.has(key)) throw new Error(`Unknown option '${key}': one of ${[...OPTIONS].join(', ')}`);
  return {
    kind,
    N: text(options.N, 'N'), T: text(options.T, 'T'), S: text(options.S, 'S'),
    q: text(options.q, 'q'), kappa: text(options.kappa, 'kappa'),
    logq_or_K: kind === MODELS.racah ? text(options.K, 'K') : text(options.log_q_kappa, 'log_q_kappa'),
    alpha: text(options.alpha, 'alpha'), beta: text(options.beta, 'beta'),
  };
}

// The WebAssembly module itself, for the page and its worker.
export async function loadCore() {
  return create_core();
}

class Lozengia {
  constructor(core) {
    this.core = core;
    this.hexagon = new core.WebHexagon();
  }

  // An exact sample: { rows, cols, planePartition, text }, rows = S and
  // cols = T - S, the text as lozengia-cli --export writes it. Without a
  // seed, one from the clock, as the CLI does.
  sample(options = {}) {
    const fields = fieldsOf(options);
    const set = this.hexagon.set_fields(fields);
    if (!set.ok) throw new Error(set.message);
    const seed = options.seed === undefined ? String(Date.now()) : text(options.seed, 'seed');
    const done = this.hexagon.sample(seed);
    if (!done.ok) throw new Error(done.message);
    const planePartition = Int32Array.from(this.hexagon.plane_partition());
    return {
      rows: this.hexagon.rows(),
      cols: this.hexagon.cols(),
      planePartition,
      text: this.hexagon.export_text(),
    };
  }
}

export async function load() {
  return new Lozengia(await create_core());
}

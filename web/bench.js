// Times exact uniform samples (hexagon n x n x n, one thread, as
// `lozengia-cli --threads 1`) in this browser. bench/web_speed.py calls
// benchSample() between runs of the native CLI; the Run button shows the
// browser's times alone.
import { load } from './lozengia.js';

const lz = await load();

// Milliseconds of one exact sample of the uniform measure on n x n x n.
window.benchSample = (n, seed) => {
  const start = performance.now();
  lz.sample({ model: 'hahn', N: n, T: 2 * n, S: n, seed });
  return performance.now() - start;
};

const run = document.getElementById('run');
run.addEventListener('click', async () => {
  run.disabled = true;
  const body = document.querySelector('#table tbody');
  body.textContent = '';
  for (const n of [100, 300, 500]) {
    await new Promise((resolve) => setTimeout(resolve, 0));
    const row = body.insertRow();
    row.insertCell().textContent = n;
    row.insertCell().textContent = window.benchSample(n, 1).toFixed(0);
  }
  run.disabled = false;
});
run.disabled = false;
document.body.dataset.ready = 'yes';

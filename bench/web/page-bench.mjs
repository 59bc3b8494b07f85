// SPDX-License-Identifier: MIT
// Browser figures of the page in headless Chromium, medians over several runs:
//  - load to interactive: navigation start to the page's 'tavolin-ready' mark (engine loaded, editor
//    up, first check sent), the page fetched afresh from the loopback server each time;
//  - player time per 128-frame quantum: an OfflineAudioContext whose only node is the player
//    (render worker and worklet in lockstep) renders 30 s of examples/demo.mml at 48 kHz; wall time
//    divided by the quanta rendered (an upper bound: the worker's rendering, the lockstep's stops
//    and the browser's own graph work are counted too). A quantum lasts 2.67 ms. The worklet's
//    own work per quantum: bench/web/web-quantum.mjs.
// Usage: scripts/web && node bench/web/page-bench.mjs [RUNS]
import { readFileSync } from 'node:fs';
import { launch, serve, renderOffline } from '../../tests/web/browser.mjs';

const runs = Number(process.argv[2] ?? 9);
const median = (xs) => { const s = [...xs].sort((a, b) => a - b); return s[s.length >> 1]; };

const { url, server } = await serve('node', ['web/serve.mjs', 'build/web', '0']);
const browser = await launch();
try {
  const loads = [];
  for (let i = 0; i < runs; ++i) {
    const page = await browser.newPage();
    await page.setCacheEnabled(false);
    await page.goto(url);
    await page.waitForSelector('body[data-ready]');
    loads.push(await page.evaluate(() => performance.getEntriesByName('tavolin-ready')[0].startTime));
    await page.close();
  }
  console.log(`page load to interactive: median ${median(loads).toFixed(1)} ms (${runs} runs, min ${Math.min(...loads).toFixed(1)}, max ${Math.max(...loads).toFixed(1)}; target under 1000 ms)`);

  const page = await browser.newPage();
  await page.goto(url);
  await page.waitForSelector('body[data-ready]');
  const song = [...readFileSync('examples/demo.mml')];
  const perQuantum = [];
  for (let i = 0; i < Math.max(3, runs >> 1); ++i) {
    const seconds = 30;
    const { ms } = await page.evaluate(renderOffline, { song, frames: seconds * 48000, rate: 48000, loop: true, keep: false });
    perQuantum.push(ms / ((seconds * 48000) / 128));
  }
  const q = median(perQuantum);
  console.log(`player time per 128-frame quantum: median ${(q * 1000).toFixed(1)} µs = ${((q / (128 / 48)) * 100).toFixed(2)} % of 2.67 ms (${perQuantum.length} runs of 30 s; target under 10 %)`);
} finally {
  await browser.close();
  server.kill();
}

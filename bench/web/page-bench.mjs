// Browser figures of the page in headless Chromium, medians over several runs:
//  - load to interactive: navigation start to the page's 'tavolin-ready' mark (engine loaded, editor
//    up, first check sent), the page fetched afresh from the loopback server each time;
//  - worklet time per 128-frame quantum: an OfflineAudioContext whose only node is the player
//    worklet renders 30 s of examples/demo.mml at 48 kHz; wall time divided by the quanta rendered
//    (an upper bound: the browser's own graph work is counted too). A quantum lasts 2.67 ms.
// Usage: scripts/web && node bench/web/page-bench.mjs [RUNS]
import { spawn } from 'node:child_process';
import { createRequire } from 'node:module';
import { readFileSync } from 'node:fs';
import { resolve } from 'node:path';

const require = createRequire(resolve('web/package.json'));
const puppeteer = require('puppeteer-core');
const runs = Number(process.argv[2] ?? 9);
const median = (xs) => { const s = [...xs].sort((a, b) => a - b); return s[s.length >> 1]; };

const server = spawn('node', ['web/serve.mjs', 'build/web', '0'], { stdio: ['ignore', 'pipe', 'inherit'] });
const url = await new Promise((ok) => server.stdout.on('data', (d) => ok(String(d).trim())));
const browser = await puppeteer.launch({ executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium', headless: true, args: ['--no-sandbox'] });
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
    perQuantum.push(await page.evaluate(async (song) => {
      const seconds = 30, rate = 48000;
      const ctx = new OfflineAudioContext(2, seconds * rate, rate);
      await ctx.audioWorklet.addModule('player-worklet.js');
      const wasm = await (await fetch('tavolin-engine.wasm')).arrayBuffer();
      const node = new AudioWorkletNode(ctx, 'tavolin-player', { numberOfInputs: 0, outputChannelCount: [2], processorOptions: { wasm } });
      const message = () => new Promise((ok) => { node.port.onmessage = ({ data }) => ok(data); });
      await message();
      node.connect(ctx.destination);
      const suspended = ctx.suspend(0);
      const rendering = ctx.startRendering();
      await suspended;
      const playing = message();
      node.port.postMessage({ type: 'play', bytes: new Uint8Array(song), arith: 'float', rate, loop: true, mask: 31 });
      await playing;
      const t0 = performance.now();
      ctx.resume();
      await rendering;
      return (performance.now() - t0) / ((seconds * rate) / 128);
    }, song));
  }
  const q = median(perQuantum);
  console.log(`worklet time per 128-frame quantum: median ${(q * 1000).toFixed(1)} µs = ${((q / (128 / 48)) * 100).toFixed(2)} % of 2.67 ms (${perQuantum.length} runs of 30 s; target under 10 %)`);
} finally {
  await browser.close();
  server.kill();
}

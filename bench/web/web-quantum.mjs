// SPDX-License-Identifier: MIT
// The page's audio pipeline, piece by piece, under Node (the same V8 as Chromium, and a clock of
// microseconds, which the browser's worklet scope lacks):
//  - the worklet's work per 128-frame quantum: web/player-worklet.js itself, reading a shared
//    ring the bench keeps full, 100,000 quanta; median, 99.9th percentile and worst;
//  - the render worker's work: opening the ten-minute five-bank song (tests/web/browser.mjs) from
//    9:56, a quantum rendered there, and swapping in 30 edits typed at its end, one by one
//    (the engine's calls the worker makes: open, next, swap); median and worst.
// Targets: worst quantum in the worklet under 1 ms (a quantum lasts 2.67 ms at 48 kHz); an open
// or a swap shorter than what the worker keeps ahead after a build (see web/render-worker.js).
// Usage: scripts/web && node bench/web/web-quantum.mjs [build/web/tavolin-engine.mjs]
import { cpus, loadavg } from 'node:os';
import { resolve } from 'node:path';
import { performance } from 'node:perf_hooks';
import { tenMinuteSong } from '../../tests/web/browser.mjs';

const stats = (xs) => {
  const s = [...xs].sort((a, b) => a - b);
  const at = (q) => s[Math.min(s.length - 1, Math.floor(q * s.length))];
  return { median: at(0.5), p999: at(0.999), worst: s[s.length - 1] };
};
const fmt = (ms) => (ms < 1 ? `${(ms * 1000).toFixed(1)} µs` : `${ms.toFixed(1)} ms`);
console.log(`machine: ${cpus().length} cores (${cpus()[0]?.model ?? '?'}), load ${loadavg().map((l) => l.toFixed(2)).join(' ')}`);

// ---- the worklet ------------------------------------------------------------------------------
let Processor = null;
globalThis.AudioWorkletProcessor = class { constructor() { this.port = { postMessage() {} }; } };
globalThis.registerProcessor = (name, cls) => { Processor = cls; };
globalThis.currentFrame = 0;
await import('../../web/player-worklet.js');
{
  const capacity = 65536, WRITTEN = 0;
  const ring = new SharedArrayBuffer(capacity * 8), ctrl = new SharedArrayBuffer(32);
  const p = new Processor({ processorOptions: { ring, ctrl, capacity } });
  const worker = { postMessage() {} };
  p.port.onmessage({ data: { type: 'connect', port: worker } });
  worker.onmessage({ data: { type: 'start', base: 0, generation: 1 } });
  const counters = new Int32Array(ctrl), samples = new Float32Array(ring);
  for (let i = 0; i < samples.length; ++i) samples[i] = Math.sin(i / 50) * 0.5;
  const out = [[new Float32Array(128), new Float32Array(128)]];
  const times = new Float64Array(100000);
  for (let q = 0; q < times.length; ++q) {
    Atomics.store(counters, WRITTEN, (q + 4) * 128);  // the worker keeps it ahead
    const t0 = performance.now();
    p.process([], out);
    times[q] = performance.now() - t0;
  }
  const settled = times.subarray(1000);  // after the JIT has settled
  const s = stats(settled);
  console.log(`worklet per quantum: median ${fmt(s.median)}, 99.9% ${fmt(s.p999)}, worst ${fmt(s.worst)}, ` +
    `over 1 ms ${settled.filter((t) => t > 1).length} (99,000 quanta; late ${counters[2]})`);
}

// ---- the render worker's engine calls ---------------------------------------------------------------
{
  const { createEngine } = await import(resolve(process.argv[2] ?? 'build/web/tavolin-engine.mjs'));
  const engine = await createEngine();
  const song = tenMinuteSong();
  // The caret at the start of bank A's second line: 9:56.
  const a = song.indexOf(';MML@') + 5;
  const cursor = `A:${song.indexOf('\r\n', a) + 2 - a}`;
  const opens = [];
  let stream = null;
  for (let i = 0; i < 5; ++i) {
    stream?.close();
    const t0 = performance.now();
    stream = engine.open(song, { arith: 'float', rate: 48000, cursor });
    opens.push(performance.now() - t0);
  }
  stream.tapBanks();
  const quanta = [];
  for (let i = 0; i < 2000; ++i) {
    const t0 = performance.now();
    stream.next(128);
    quanta.push(performance.now() - t0);
  }
  const swaps = [];
  let text = song.toString('latin1');
  for (let i = 0; i < 30; ++i) {
    text = text.replace(/;$/, '').replace(/(,[^,]*,[^,]*,[^,]*,[^,]*)$/, ' CDEFGAB'[i % 8] + '$1') + ';';
    const t0 = performance.now();
    stream.swap(Buffer.from(text, 'latin1'));
    swaps.push(performance.now() - t0);
    for (let k = 0; k < 100; ++k) stream.next(128);
  }
  const [o, q, w] = [stats(opens), stats(quanta.slice(100)), stats(swaps)];
  console.log(`render worker: open at 9:56 median ${fmt(o.median)}, worst ${fmt(o.worst)} (5 runs); ` +
    `a quantum rendered (banks tapped) median ${fmt(q.median)}, worst ${fmt(q.worst)}; ` +
    `swap of a typed edit median ${fmt(w.median)}, worst ${fmt(w.worst)} (30 edits)`);
  console.log(`playing at ${(stream.songFrame / 48000).toFixed(1)} s of the song`);
  stream.close();
}

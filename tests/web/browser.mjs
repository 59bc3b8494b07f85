// SPDX-License-Identifier: MIT
// Shared by the browser test and the page benchmark: headless Chromium via puppeteer-core (from the
// page's npm packages), the page's server, and the worklet render in an OfflineAudioContext.
import { spawn } from 'node:child_process';
import { createRequire } from 'node:module';
import { resolve } from 'node:path';

const require = createRequire(resolve('web/package.json'));
const puppeteer = require('puppeteer-core');

export const launch = (args = []) => puppeteer.launch({
  executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium', headless: true, args: ['--no-sandbox', ...args],
});

// Runs `command` (scripts/web --serve, or the server alone) and resolves with the URL it prints.
export function serve(command, args) {
  const server = spawn(command, args, { stdio: ['ignore', 'pipe', 'inherit'] });
  return new Promise((ok, fail) => {
    server.stdout.on('data', (d) => { const m = /http:\/\/127\.0\.0\.1:\d+\//.exec(String(d)); if (m) ok({ url: m[0], server }); });
    server.on('exit', (code) => fail(new Error(`${command} ended (${code})`)));
  });
}

// Evaluated in the page: the player worklet alone in an OfflineAudioContext of `frames` frames. The
// context is suspended at frame 0 until the worklet has opened the stream, so the song starts at
// the first frame; `mask` is the banks heard (bit 0 bank A). Resolves with the worklet's messages, the wall time of the rendering after the
// start, and the output as floats times 32768 (interleaved) unless `keep` is false. With `pick`
// ({tab, from, to}) the worklet loops the passage a selection names instead of playing the song;
// `currentBank` ('A'..'E') plays that bank alone, as Current Bank Play.
// `timed` ([{at, message}]): at frame `at` (a whole render quantum) the context stops, the worklet
// is handed `message` (as the page hands it an edit to swap in, or Pause), and its answer is kept
// in `answers`; the positions the player reports while it plays are in `positions`.
export async function renderOffline({ song, frames, rate, loop, mask = 31, keep = true, pick = null, timed = [], currentBank }) {
  const ctx = new OfflineAudioContext(2, frames, rate);
  await ctx.audioWorklet.addModule('player-worklet.js');
  const wasm = await (await fetch('tavolin-engine.wasm')).arrayBuffer();
  const node = new AudioWorkletNode(ctx, 'tavolin-player', { numberOfInputs: 0, outputChannelCount: [2], processorOptions: { wasm } });
  // The player's next answer; the positions it reports while playing are kept apart.
  const positions = [];
  const message = () => new Promise((ok) => {
    node.port.onmessage = ({ data }) => { if (data.type === 'position') positions.push(data); else ok(data); };
  });
  const ready = await message();
  node.connect(ctx.destination);
  const suspended = ctx.suspend(0);
  const rendering = ctx.startRendering();
  await suspended;
  const playing = message();
  node.port.postMessage(pick ? { type: 'loop', bytes: new Uint8Array(song), arith: 'float', rate, pick, mask, currentBank }
    : { type: 'play', bytes: new Uint8Array(song), arith: 'float', rate, loop, mask, currentBank });
  const started = await playing;
  const answers = [];
  for (const { at, message: m } of timed) {
    ctx.suspend(at / rate).then(async () => {
      const answer = message();
      node.port.postMessage(m.song ? { ...m, bytes: new Uint8Array(m.song) } : m);
      answers.push(await answer);
      ctx.resume();
    });
  }
  const t0 = performance.now();
  ctx.resume();
  const buffer = await rendering;
  const ms = performance.now() - t0;
  const samples = [];
  if (keep) {
    const channels = [buffer.getChannelData(0), buffer.getChannelData(1)];
    for (let i = 0; i < buffer.length; ++i) for (const c of channels) samples.push(c[i] * 32768);
  }
  return { ready: ready.type, started, ms, samples, answers, positions };
}

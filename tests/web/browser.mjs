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

// Evaluated in the page: the page's player (render worker and worklet, web/player.js) in lockstep
// in an OfflineAudioContext of `frames` frames. The context is suspended at frame 0 until the
// worker has opened the stream, so the song starts at the first frame, and again every 2,048
// frames while the worker renders up to the next stop; `mask` is the banks heard (bit 0 bank A).
// Resolves with the player's messages, the wall time of the rendering after the start, the
// worklet's counters (late quanta, slowest quantum), and the output as floats times 32768
// (interleaved) unless `keep` is false. With `pick` ({tab, from, to}) the player loops the passage
// a selection names instead of playing the song; `currentBank` ('A'..'E') plays that bank alone,
// as Current Bank Play. `shared: false` hands the samples over in chunks, as a page that is not
// cross-origin isolated does.
// `timed` ([{at, message}]): at frame `at` (a whole render quantum) the context stops with the
// stream rendered exactly up to there, the player is handed `message` (as the page hands it an
// edit to swap in, or Pause), and its answer is kept in `answers`.
export async function renderOffline({ song, frames, rate, loop, mask = 31, keep = true, pick = null, timed = [], currentBank, shared = true }) {
  const { createPlayer } = await import('./player.js');
  const ctx = new OfflineAudioContext(2, frames, rate);
  const inbox = [], waiters = [];
  const onmessage = (d) => {
    if (d.type === 'position' || d.type === 'scopes' || d.type === 'timing') return;
    if (waiters.length) waiters.shift()(d); else inbox.push(d);
  };
  const message = () => (inbox.length ? Promise.resolve(inbox.shift()) : new Promise((ok) => waiters.push(ok)));
  const player = await createPlayer(ctx, { lockstep: true, shared, onmessage });
  const suspended = ctx.suspend(0);
  const rendering = ctx.startRendering();
  await suspended;
  player.post(pick ? { type: 'loop', bytes: new Uint8Array(song), arith: 'float', rate, pick, mask, currentBank }
    : { type: 'play', bytes: new Uint8Array(song), arith: 'float', rate, loop, mask, currentBank });
  const started = await message();
  const answers = [];
  const stops = [...new Set([...timed.map((t) => t.at), ...Array.from({ length: Math.ceil(frames / 2048) }, (_, i) => i * 2048)])]
    .filter((at) => at > 0 && at < frames).sort((a, b) => a - b);
  stops.forEach((at, i) => {
    ctx.suspend(at / rate).then(async () => {
      for (const { message: m } of timed.filter((t) => t.at === at)) {
        player.post(m.song ? { ...m, bytes: new Uint8Array(m.song) } : m);
        answers.push(await message());
      }
      await player.fill(stops[i + 1] ?? frames);
      ctx.resume();
    });
  });
  await player.fill(stops[0] ?? frames);
  const t0 = performance.now();
  ctx.resume();
  const buffer = await rendering;
  const ms = performance.now() - t0;
  const stats = await player.stats();
  player.close();
  const samples = [];
  if (keep) {
    const channels = [buffer.getChannelData(0), buffer.getChannelData(1)];
    for (let i = 0; i < buffer.length; ++i) for (const c of channels) samples.push(c[i] * 32768);
  }
  return { ready: 'ready', started, ms, samples, answers, stats };
}

// A ten-minute song of five banks (eight quarter notes every 4 s, 150 passes; bank E a noise
// drum), bank A going on for 12 s more on its second line: with the caret at that line's start,
// Play from the cursor starts at 9:56, near the end of a long song, where a build's seek is
// longest. Document bytes as a .mml file holds them.
export function tenMinuteSong() {
  const banks = ['O5@0[CDEFGAB>C<]149\r\nCDEFGAB>C< CDEFGAB>C< CDEFGAB>C< D', 'O4@1[CDEFGAB>C<]150', 'O3@2[CDEFGAB>C<]150',
    'O6@3[CDEFGAB>C<]150', '@4O4[C8R8C16C16R8]600'];
  return Buffer.from(`SMML@@ED1:10:40:60:255:170@E1@LT0:160:25V45L4;MML@${banks.join(',')};`, 'latin1');
}

// SPDX-License-Identifier: MIT
// The page's player: the render worker (render-worker.js) builds and renders, the worklet
// (player-worklet.js) copies what is ready to the sound device. Used by the page and, with
// `lockstep`, by the tests and benchmarks in an OfflineAudioContext.
//
// The ring between them: a SharedArrayBuffer when the page is cross-origin isolated (serve.mjs
// and the service worker send the headers for it), else chunks over a MessageChannel. Shared, the
// worklet's quantum is a copy from memory the worker has already written and the worker sees what
// was read at once; with chunks, every 1,024 frames cost the audio thread a message, and the
// worker learns what was read from a message every eight quanta. Measured in headless Chromium
// (two shared cores, load about 6), typing in a ten-minute song at 9:56 for 7.5 s, two runs each:
// the worklet's mean quantum 2.6–3.4 µs shared against 8.5–9.5 µs with chunks (the messages'
// work lands on the audio thread), keystroke to heard about 290 ms against 305–310 ms; no late
// quantum the worker's scheduling did not explain either way. So shared when we can, chunks
// when the page is not isolated (its first load from a host without the headers).
const LATE = 2, WORST_US = 3, QUANTA = 4, TOTAL_US = 5, OVER = 6;

// `onmessage(data)` hears what the player says: playing, paused, stopped, ended, error, swapped,
// kept, position {songFrame, frame}, scopes {data}, timing {what, ms}.
// `shared: false` uses the chunks even when the page is isolated (tests, and ?chunks on the page).
export async function createPlayer(context, { wasm, lockstep = false, shared: allowShared = true, onmessage = () => {} } = {}) {
  await context.audioWorklet.addModule(new URL('./player-worklet.js', import.meta.url));
  // About a second of room: enough for the head start a long build needs, and a power of two.
  const capacity = 2 ** Math.ceil(Math.log2(context.sampleRate));
  const shared = allowShared && globalThis.crossOriginIsolated === true && typeof SharedArrayBuffer === 'function';
  const ring = shared ? new SharedArrayBuffer(capacity * 2 * 4) : null;
  const ctrl = shared ? new SharedArrayBuffer(8 * 4) : null;
  const node = new AudioWorkletNode(context, 'tavolin-player', {
    numberOfInputs: 0, outputChannelCount: [2], processorOptions: { ring, ctrl, capacity },
  });
  const worker = new Worker(new URL('./render-worker.js', import.meta.url), { type: 'module' });
  const channel = new MessageChannel();
  const waiting = new Map();  // message type -> resolve, for the answers the player awaits itself
  let clock = '';
  let starved = 0;  // quanta the worklet may have missed because the system did not run the worker
  let starvedTimes = 0;  // and how often that happened
  let readies = 0;
  let allReady;
  const ready = new Promise((ok) => { allReady = ok; });
  const hear = ({ data }) => {
    if (data.type === 'ready') {
      if (data.clock) clock = data.clock;
      if (++readies === 2) allReady();  // the worklet's and the worker's
      return;
    }
    if (data.type === 'starved') { starved = data.quanta; starvedTimes = data.times; return; }
    const wait = waiting.get(data.type);
    if (wait) { waiting.delete(data.type); wait(data); }
    if (data.type !== 'filled' && data.type !== 'stats') onmessage(data);
  };
  const next = (type) => new Promise((ok) => waiting.set(type, ok));
  node.port.onmessage = worker.onmessage = hear;
  worker.onerror = (e) => onmessage({ type: 'error', message: String(e.message ?? e) });
  node.port.postMessage({ type: 'connect', port: channel.port1 }, [channel.port1]);
  worker.postMessage({ type: 'init', port: channel.port2, ring, ctrl, capacity, rate: context.sampleRate, lockstep, wasm },
    [channel.port2]);
  await ready;
  node.connect(context.destination);
  const counters = ctrl ? new Int32Array(ctrl) : null;

  return {
    node,
    shared,
    // The clock the worklet times its quanta by (performance.now, or Date.now in whole ms).
    get clock() { return clock; },
    // play, loop, stop, swap, audible go to the worker; pause to the worklet, which holds the
    // music at once (and to the worker, whose scopes then fall); Stop silences the worklet at once.
    post(m) {
      if (m.type === 'pause') node.port.postMessage(m);
      if (m.type === 'stop') node.port.postMessage({ type: 'idle' });
      worker.postMessage(m);
      // What is heard lags what the worklet reads by the context's output latency (known once it
      // runs; an OfflineAudioContext has none).
      const seconds = (context.baseLatency ?? 0) + (context.outputLatency ?? 0);
      if (m.type === 'play' || m.type === 'loop') worker.postMessage({ type: 'latency', frames: Math.round(seconds * context.sampleRate) });
    },
    // Lockstep: resolves once the stream is rendered up to stream frame `to` (or has ended).
    fill(to) {
      const filled = next('filled');
      worker.postMessage({ type: 'fill', to });
      return filled;
    },
    // {late, worstUs, quanta, totalUs, over, starved, starvedTimes}: quanta with too few samples ready, the
    // slowest quantum's time, the quanta played, their summed time and those proved over 1 ms,
    // since the last reset (see the worklet's clock for what they mean with a clock of whole
    // milliseconds); and the quanta the worklet may have missed while the system did not run the
    // render worker, and how often that happened (never reset).
    async stats() {
      if (counters) {
        const [late, worstUs, quanta, totalUs, over] = [LATE, WORST_US, QUANTA, TOTAL_US, OVER].map((i) => Atomics.load(counters, i));
        return { late, worstUs, quanta, totalUs, over, starved, starvedTimes };
      }
      const answer = next('stats');
      node.port.postMessage({ type: 'stats' });
      const { late, worstUs, quanta, totalUs, over } = await answer;
      return { late, worstUs, quanta, totalUs, over, starved, starvedTimes };
    },
    resetStats() { node.port.postMessage({ type: 'reset-stats' }); },
    close() { worker.terminate(); node.disconnect(); },
  };
}

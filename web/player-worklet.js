// SPDX-License-Identifier: MIT
// The player on the audio thread: it only copies samples the render worker (render-worker.js) has
// made ready, and switches between streams when the worker says so. Compiling, building, seeking
// and swapping never run here, so an edit or a Play cannot hold up a quantum.
//
// The samples come through a ring of interleaved stereo floats. When the page is cross-origin
// isolated the ring is a SharedArrayBuffer the worker writes directly; else the worker sends
// chunks over a MessageChannel and they are copied into a ring of our own (the chunk goes back to
// be reused). The reading below is the same for both. Nothing here allocates per quantum.
//
// Frame counts are 32-bit and wrap: differences are taken with `| 0`, ring slots with `& mask`.
const WRITTEN = 0, READ = 1, LATE = 2, WORST_US = 3, QUANTA = 4, TICKS = 5, OVER = 6;

// A clock for the quanta's times: performance.now() where the scope has it; Chromium's worklet
// scope has only Date.now(), in whole milliseconds. With it a quantum reads 0 ms, or 1 ms when a
// tick fell inside it, so the worst reading says little; but a reading of 2 ms or more proves a
// quantum over 1 ms (OVER counts those), and since a quantum of d < 1 ms holds a tick with
// probability d, the ticks summed over the quanta (TICKS) divided by their number is their mean
// time in milliseconds, unbiased. `clock` names the clock; the developer panel shows all three.
const clock = typeof performance === 'object' && typeof performance.now === 'function'
  ? { now: () => performance.now(), name: 'performance.now' } : { now: () => Date.now(), name: 'Date.now' };

class TavolinPlayer extends AudioWorkletProcessor {
  constructor(options) {
    super();
    const { ring, ctrl, capacity } = options.processorOptions;
    this.shared = !!ring;
    this.samples = ring ? new Float32Array(ring) : new Float32Array(2 * capacity);
    this.ctrl = ctrl ? new Int32Array(ctrl) : new Int32Array(8);
    this.mask = capacity - 1;
    this.running = false;  // reading a stream (else silence, and no quantum counts as late)
    this.paused = false;
    this.base = 0;         // the ring frame of the stream's first frame
    this.end = null;       // the ring frame where the stream's song ended, once the worker knows
    this.reported = 0;     // quanta since the last report (chunk mode)
    this.worker = null;    // the port to the render worker
    this.port.onmessage = ({ data }) => {
      if (data.type === 'connect') {
        this.worker = data.port;
        this.worker.onmessage = (e) => this.command(e.data);
        this.port.postMessage({ type: 'ready', clock: clock.name });
      } else {
        this.command(data);
      }
    };
  }

  command(m) {
    if (m.type === 'chunk') {
      // Chunk mode: the worker's samples into our ring, the chunk back to be reused.
      const w = this.ctrl[WRITTEN];
      const n = m.samples.length >> 1;
      for (let i = 0; i < n; ++i) {
        const at = 2 * ((w + i) & this.mask);
        this.samples[at] = m.samples[2 * i];
        this.samples[at + 1] = m.samples[2 * i + 1];
      }
      this.ctrl[WRITTEN] = (w + n) | 0;
      this.worker.postMessage({ type: 'free', samples: m.samples, written: this.ctrl[WRITTEN], read: this.ctrl[READ] },
        [m.samples.buffer]);
    } else if (m.type === 'start') {
      // A new stream from ring frame `base` on (all before it is dropped).
      this.store(READ, m.base);
      this.base = m.base;
      this.end = null;
      this.running = true;
      this.paused = false;
      this.worker.postMessage({ type: 'started', frame: currentFrame, generation: m.generation });
    } else if (m.type === 'idle') {
      this.running = false;
      this.worker?.postMessage({ type: 'idled' });
    } else if (m.type === 'end') {
      this.end = m.at;
    } else if (m.type === 'pause') {
      this.paused = m.paused;
      this.port.postMessage({ type: 'paused', paused: this.paused, frame: this.running ? (this.load(READ) - this.base) | 0 : 0 });
    } else if (m.type === 'reset-stats') {
      this.store(LATE, 0);
      this.store(WORST_US, 0);
      this.store(QUANTA, 0);
      this.store(TICKS, 0);
      this.store(OVER, 0);
    } else if (m.type === 'stats') {
      this.port.postMessage({ type: 'stats', late: this.load(LATE), worstUs: this.load(WORST_US), quanta: this.load(QUANTA),
        totalUs: this.load(TICKS), over: this.load(OVER) });
    }
  }

  load(i) { return this.shared ? Atomics.load(this.ctrl, i) : this.ctrl[i]; }
  store(i, v) { if (this.shared) Atomics.store(this.ctrl, i, v); else this.ctrl[i] = v; }

  process(inputs, outputs) {
    const t0 = clock.now();
    const left = outputs[0][0], right = outputs[0][1];  // no destructuring: it may make an iterator
    if (!this.running || this.paused) return true;  // paused, the song waits where it stands
    const quantum = left.length;
    const r = this.load(READ);
    let n = Math.min(Math.max(0, (this.load(WRITTEN) - r) | 0), quantum);
    if (this.end !== null) n = Math.min(n, Math.max(0, (this.end - r) | 0));
    for (let i = 0; i < n; ++i) {
      const at = 2 * ((r + i) & this.mask);
      left[i] = this.samples[at];
      right[i] = this.samples[at + 1];
    }
    left.fill(0, n);
    right.fill(0, n);
    this.store(READ, (r + n) | 0);
    if (this.end !== null && ((this.end - r - n) | 0) <= 0) {
      this.running = false;  // the song's last quantum: the worker hears of it and says 'ended'
      this.worker.postMessage({ type: 'ended' });
    } else if (n < quantum) {
      this.store(LATE, this.load(LATE) + 1);
    }
    // Chunk mode: the worker paces itself by what was read, told every eight quanta.
    if (!this.shared && ++this.reported >= 8) {
      this.reported = 0;
      this.worker.postMessage({ type: 'read', read: this.ctrl[READ] });
    }
    const ms = clock.now() - t0;
    const us = Math.round(ms * 1000);
    if (us > this.load(WORST_US)) this.store(WORST_US, us);
    if (ms >= 2) this.store(OVER, this.load(OVER) + 1);
    this.store(TICKS, this.load(TICKS) + us);
    this.store(QUANTA, this.load(QUANTA) + 1);
    return true;
  }
}

registerProcessor('tavolin-player', TavolinPlayer);

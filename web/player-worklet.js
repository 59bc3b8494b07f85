// SPDX-License-Identifier: MIT
// The player on the audio thread: the engine's stream rendered 128 frames at a time. Nothing here
// allocates per quantum: the engine fills its own buffer and the samples are copied out as floats.
import './worklet-scope.js';
import * as engineModule from './tavolin-engine.mjs';

class TavolinPlayer extends AudioWorkletProcessor {
  constructor(options) {
    super();
    this.engine = null;
    this.stream = null;
    this.paused = false;
    this.port.onmessage = ({ data }) => this.command(data);
    (engineModule.createEngine ?? engineModule.default)({ wasmBinary: options.processorOptions.wasm })
      .then((engine) => { this.engine = engine; this.port.postMessage({ type: 'ready' }); })
      .catch((e) => this.port.postMessage({ type: 'error', message: String(e.message ?? e) }));
  }

  command(m) {
    if (m.type === 'play' || m.type === 'loop') {
      // A selection looped names the pass heard now, while something plays.
      const playhead = m.type === 'loop' && this.stream ? this.stream.songFrame : undefined;
      this.stream?.close();
      this.stream = null;
      this.paused = false;
      try {
        this.stream = this.engine.open(m.bytes, m.type === 'loop'
          ? { arith: m.arith, rate: m.rate, pick: m.pick, playhead, lang: m.lang, currentBank: m.currentBank }
          : { arith: m.arith, rate: m.rate, loop: m.loop, cursor: m.cursor, currentBank: m.currentBank });
        this.stream.setAudible(m.mask);
        const status = this.stream.passageStatus;
        this.port.postMessage({ type: 'playing', frame: currentFrame, ...(status ? { status } : {}) });
      } catch (e) {
        this.port.postMessage({ type: 'error', message: String(e.error?.message ?? e.message ?? e) });
      }
    } else if (m.type === 'pause') {
      this.paused = m.paused;
      this.port.postMessage({ type: 'paused', paused: this.paused, frame: this.stream?.frame ?? 0 });
    } else if (m.type === 'stop') {
      this.stream?.close();
      this.stream = null;
      this.port.postMessage({ type: 'stopped' });
    } else if (m.type === 'swap') {
      // An edit that compiled: the stream goes on with it at the same place in the music. A refusal
      // (other settings than Play's) leaves the song playing; the live check shows any error.
      if (!this.stream) return;
      const frame = this.stream.frame;
      try {
        this.stream.swap(m.bytes);
        this.port.postMessage({ type: 'swapped', frame });
      } catch {
        this.port.postMessage({ type: 'kept', frame });
      }
    } else if (m.type === 'audible') {
      this.stream?.setAudible(m.mask);
    }
  }

  process(inputs, outputs) {
    const [left, right] = outputs[0];
    const s = this.stream;
    if (!s || this.paused) return true;  // paused, the song waits where it stands
    // Where the music stands, for the page's roll and lit notes, about every 20 ms.
    const songFrame = s.songFrame;
    this.sinceReport = (this.sinceReport ?? 0) + left.length;
    if (this.sinceReport >= sampleRate / 50) {
      this.sinceReport = 0;
      this.port.postMessage({ type: 'position', songFrame, frame: s.frame });
    }
    const samples = s.next(left.length);
    const frames = samples.length >> 1;
    for (let i = 0; i < frames; ++i) {
      left[i] = samples[2 * i] / 32768;
      right[i] = samples[2 * i + 1] / 32768;
    }
    if (s.finished) {
      s.close();
      this.stream = null;
      this.port.postMessage({ type: 'ended' });
    }
    return true;
  }
}

registerProcessor('tavolin-player', TavolinPlayer);

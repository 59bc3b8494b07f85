// SPDX-License-Identifier: MIT
// The render worker: the engine's stream runs here, off the audio thread. It opens (compiles,
// builds, seeks), swaps in each edit that compiles, and renders a little ahead of what is heard
// into the ring the player worklet reads (player-worklet.js). It also says where the music heard
// now stands (`position`, about every 20 ms) and what each bank's scope shows (`scopes`).
//
// How far ahead: about 50 ms, so that an edit is heard soon after it compiles, yet a worker held
// up for a few timer ticks does not starve the worklet. On a busy machine the system may not run
// this worker for longer than that (over 100 ms was seen with two cores shared by many threads);
// after such a wait the worker keeps as much again ahead, one and a half times the wait (at most
// 250 ms), and comes back to 50 ms over some seconds. It counts the quanta the worklet may have
// missed because it was not run (`starved`), apart from the time its own work took, so that a
// test can tell a starved worker from a fault of ours. The count is by the wall clock; the audio
// thread takes its quanta in bursts of the device's buffer, so a starved worker can cost up to
// such a burst more. A swap or an open cannot render while it
// builds (a 10-minute song playing near its end takes a few hundred milliseconds to build and
// seek under load), so before a swap the worker first renders ahead by as long as the last builds
// took: the song goes on from the buffer while the new one is built, and the new song is placed at
// the frame where the buffer ends, so it is heard there, at the same place in the music.
//
// `lockstep` (tests and benchmarks in an OfflineAudioContext): nothing is rendered until `fill`
// asks for it, so a swap lands at exactly the frame the caller chose.
import * as engineModule from './tavolin-engine.mjs';

const WRITTEN = 0, READ = 1;
const kQuantum = 128;
const kChunkFrames = 1024;  // chunk mode: the most frames one message carries

let engine = null;
let worklet = null;  // MessagePort to the player worklet
let samples = null;  // shared ring (interleaved stereo floats), or null in chunk mode
let ctrl = null;     // shared counters, or null in chunk mode
let capacity = 0, mask = 0, rate = 48000, lockstep = false;
let ahead = 0;       // frames to keep ready now
let aheadBase = 0;   // and usually
let lastPumpEnd = 0; // when the last pump ended (ms) and how far ahead it left the ring (ms)
let leadAtEnd = 0;
let starved = 0;     // quanta the worklet may have missed while this worker was not run
let starvedTimes = 0; // how often that happened
let latency = 0;     // frames between the worklet and the listener (the context's output latency)
let marks = null;    // per ring quantum: the song frame its first frame plays

let stream = null;
let generation = 0;
let written = 0;     // ring frames written (wraps at 2^32, as the worklet's)
let readSeen = 0;    // chunk mode: the worklet's read count, as last told
let delivered = 0;   // chunk mode: frames the worklet has put in its ring
let base = 0;        // ring frame of the stream's first frame
let ended = false;   // the stream's song is over: nothing more to render
let running = false; // the worklet plays the stream
let paused = false;
let pendingSwap = null;
let fillTo = 0;      // lockstep: render up to this stream frame
let fillWaiter = false;
let buildMs = 0;     // how long the recent builds took (decays), for the swap's head start
let scopeStream = null;  // the stream the scopes read (kept after Stop until the meters rest)
const chunkPool = [];
let chunk = null, chunkFrames = 0;

const toMain = (m, transfer) => postMessage(m, transfer ?? []);

function read() {
  const r = ctrl ? Atomics.load(ctrl, READ) : readSeen;
  return ((r - base) | 0) < 0 ? base : r;  // frames read before this stream began count as its start
}

function writeQuantum() {
  marks[(written >>> 7) & (marks.length - 1)] = stream.songFrame;
  const s = stream.next(kQuantum);
  if (samples) {
    const at = 2 * (written & mask);
    for (let i = 0; i < 2 * kQuantum; ++i) samples[at + i] = s[i] / 32768;
    Atomics.store(ctrl, WRITTEN, (written + kQuantum) | 0);
  } else {
    chunk ??= chunkPool.pop() ?? new Float32Array(2 * kChunkFrames);
    const at = 2 * chunkFrames;
    for (let i = 0; i < 2 * kQuantum; ++i) chunk[at + i] = s[i] / 32768;
    chunkFrames += kQuantum;
    if (chunkFrames === kChunkFrames) sendChunk();
  }
  written = (written + kQuantum) | 0;
  if (stream.finished) {
    ended = true;
    sendChunk();
    worklet.postMessage({ type: 'end', at: written });
  }
}

function sendChunk() {
  if (!chunk || chunkFrames === 0) return;
  const part = chunkFrames === kChunkFrames ? chunk : chunk.slice(0, 2 * chunkFrames);
  worklet.postMessage({ type: 'chunk', samples: part }, [part.buffer]);
  if (part !== chunk) chunkPool.push(chunk);
  chunk = null;
  chunkFrames = 0;
}

// Renders until `frames` are ready ahead of the worklet (never over what it has not read).
function renderAhead(frames) {
  const room = capacity - 2 * kChunkFrames;
  const want = Math.min(frames, room);
  while (stream && !ended && ((written - read()) | 0) + kQuantum <= want) {
    if (lockstep && ((written - base) | 0) >= fillTo) break;
    writeQuantum();
  }
  sendChunk();
}

function timed(what, work) {
  const t0 = performance.now();
  try {
    return work();
  } finally {
    const ms = performance.now() - t0;
    buildMs = Math.max(ms, buildMs * 0.8);
    toMain({ type: 'timing', what, ms });
  }
}

const quantaOf = (ms) => Math.ceil((ms * rate) / 1000 / kQuantum) * kQuantum;

function pump() {
  const now = performance.now();
  if (!lockstep && stream && running && !paused && lastPumpEnd) {
    const idle = now - lastPumpEnd;
    if (idle > leadAtEnd) {
      starved += Math.ceil(((idle - leadAtEnd) * rate) / 1000 / kQuantum);
      toMain({ type: 'starved', quanta: starved, times: ++starvedTimes });
    }
    if (idle > 12) ahead = Math.max(ahead, Math.min(quantaOf(idle * 1.5), quantaOf(250)));
    else ahead = Math.max(aheadBase, ahead - quantaOf(0.02 * idle));
  }
  if (stream && pendingSwap) {
    const bytes = pendingSwap;
    pendingSwap = null;
    // A head start for a build longer than what is ahead can cover (keeping half of it as a
    // margin), so the worklet plays on while this one builds; a short build needs none, and the
    // edit is heard as soon as what is ahead has played.
    const aheadMs = (ahead * 1000) / rate;
    if (!lockstep) renderAhead(ahead + quantaOf(Math.max(0, buildMs * 1.5 + 10 - aheadMs / 2)));
    const frame = stream.frame;
    const lead = ((((written - read()) | 0) + latency) * 1000) / rate;  // ms until the new song's first frame is heard
    const t0 = performance.now();
    try {
      timed('swap', () => stream.swap(bytes));
      toMain({ type: 'swapped', frame, heardInMs: lead - (performance.now() - t0) });
      wantCheckpoints(bytes, streamShelf);
    } catch {
      toMain({ type: 'kept', frame });  // the last good song plays on; the live check says why
    }
  }
  if (stream) renderAhead(lockstep ? capacity : ahead);
  lastPumpEnd = performance.now();
  leadAtEnd = (((written - read()) | 0) * 1000) / rate;
  // In chunk mode a fill is done once the worklet holds the chunks.
  if (fillWaiter && (samples || delivered === written) && (ended || !stream || ((written - base) | 0) >= fillTo)) {
    fillWaiter = false;
    toMain({ type: 'filled' });
  }
}

// ---- checkpoints ----------------------------------------------------------------------------------
// After each compile the engine sets out checkpoints along the song (for the stream's swaps, or
// else for the next passage), taken a little at a time while the ring is well ahead, so that a
// passage or a swap far into the song starts from the nearest one. Sound comes first.
let shelfWanted = null;  // [bytes, options] not yet begun
let shelfBusy = false;   // begun, with steps left to take
let streamShelf = null;  // the options of the stream playing: its swaps' checkpoints

function wantCheckpoints(bytes, options) {
  shelfWanted = [bytes, options];
}

function idleCheckpoints() {
  if (!engine || (!shelfWanted && !shelfBusy)) return;
  if (stream && running && !paused && leadAtEnd < 40) return;
  const t0 = performance.now();
  if (shelfWanted) {
    const [bytes, options] = shelfWanted;
    shelfWanted = null;
    shelfBusy = engine.checkpoints.begin(bytes, options);
    return;
  }
  while (shelfBusy && performance.now() - t0 < 3) shelfBusy = engine.checkpoints.step(rate / 8);
}

function close() {
  if (stream) {
    scopeStream?.close();
    scopeStream = stream;  // its scopes fall to rest after Stop
  }
  stream = null;
  running = false;
  ended = false;
  pendingSwap = null;
  sendChunk();  // the worklet's count of frames stays the worker's
}

function open(m) {
  // A looped selection names the pass heard now, while something plays.
  const playhead = m.type === 'loop' && stream && running ? heardSongFrame() : undefined;
  worklet.postMessage({ type: 'idle' });
  close();
  const g = ++generation;
  try {
    stream = timed('open', () => engine.open(m.bytes, m.type === 'loop'
      ? { arith: m.arith, rate: m.rate, pick: m.pick, playhead, lang: m.lang, currentBank: m.currentBank }
      : { arith: m.arith, rate: m.rate, loop: m.loop, cursor: m.cursor, currentBank: m.currentBank }));
  } catch (e) {
    toMain({ type: 'error', message: String(e.error?.message ?? e.message ?? e) });
    return;
  }
  stream.setAudible(m.mask ?? 31);
  stream.tapBanks();
  paused = false;
  base = written;
  fillTo = 0;
  if (!lockstep) renderAhead(ahead);
  lastPumpEnd = performance.now();  // the open's own time is no wait of the system's
  leadAtEnd = (((written - read()) | 0) * 1000) / rate;
  pendingStart = { g, status: stream.passageStatus };
  streamShelf = m.type === 'loop'
    ? { arith: m.arith, rate: m.rate, currentBank: m.currentBank, passage: true }
    : { arith: m.arith, rate: m.rate, currentBank: m.currentBank, cursor: m.cursor, loop: m.loop };
  wantCheckpoints(m.bytes, streamShelf);
  worklet.postMessage({ type: 'start', base, generation: g });
}
let pendingStart = null;

// The ring frame heard now: what the worklet has read, less what the device still holds.
function heard() {
  const r = (read() - latency) | 0;
  return ((r - base) | 0) < 0 ? base : r;
}

function heardSongFrame() {
  const r = heard();
  return marks[(r >>> 7) & (marks.length - 1)] + (r & (kQuantum - 1));
}

// ---- from the worklet -----------------------------------------------------------------------------

function fromWorklet({ data: m }) {
  if (m.type === 'started') {
    if (!pendingStart || m.generation !== pendingStart.g) return;
    running = true;
    const { status } = pendingStart;
    pendingStart = null;
    toMain({ type: 'playing', frame: m.frame, ...(status ? { status } : {}) });
  } else if (m.type === 'free') {
    readSeen = m.read;
    delivered = m.written;
    if (m.samples.length === 2 * kChunkFrames) chunkPool.push(m.samples);  // a short last chunk is not reused
    pump();
  } else if (m.type === 'read') {
    readSeen = m.read;
    pump();
  } else if (m.type === 'ended') {
    if (!stream || !ended) return;  // a stream already replaced
    close();
    toMain({ type: 'ended' });
  }
}

// ---- from the page ---------------------------------------------------------------------------------

async function fromPage({ data: m }) {
  if (m.type === 'init') {
    ({ capacity, rate, lockstep } = m);
    mask = capacity - 1;
    ahead = aheadBase = Math.ceil((rate * 0.05) / kQuantum) * kQuantum;
    marks = new Float64Array(capacity / kQuantum);
    if (m.ring) {
      samples = new Float32Array(m.ring);
      ctrl = new Int32Array(m.ctrl);
    }
    worklet = m.port;
    worklet.onmessage = fromWorklet;
    engine = await (engineModule.createEngine ?? engineModule.default)(m.wasm ? { wasmBinary: m.wasm } : {});
    toMain({ type: 'ready', shared: !!samples });
    if (!lockstep) setInterval(pump, 4);
    setInterval(tell, 20);
    setInterval(idleCheckpoints, 25);
  } else if (m.type === 'play' || m.type === 'loop') {
    open(m);
  } else if (m.type === 'stop') {
    worklet.postMessage({ type: 'idle' });
    close();
    toMain({ type: 'stopped' });
  } else if (m.type === 'swap') {
    if (!stream || !m.bytes) return;
    pendingSwap = m.bytes;  // the newest edit wins over one not yet built
    if (lockstep) pump();
  } else if (m.type === 'compiled') {
    // Nothing plays: the checkpoints serve the next passage.
    if (!stream) wantCheckpoints(m.bytes, { arith: m.arith, rate: m.rate, currentBank: m.currentBank, passage: true });
  } else if (m.type === 'latency') {
    latency = Math.max(0, Math.min(capacity >> 1, m.frames | 0));
  } else if (m.type === 'audible') {
    stream?.setAudible(m.mask);
  } else if (m.type === 'pause') {
    paused = m.paused;
  } else if (m.type === 'fill') {
    fillTo = m.to;
    fillWaiter = true;
    pump();
  }
}
onmessage = fromPage;

// Where the music heard now stands, and the banks' scopes, for the page to draw.
function tell() {
  if (stream && running && !paused) {
    const frame = (heard() - base) | 0;
    toMain({ type: 'position', songFrame: heardSongFrame(), frame });
    scopes(stream, frame);
  } else if (scopeStream || (stream && running)) {
    // Stopped or paused: flat traces and falling meters, as the window shows them.
    const s = stream && running ? stream : scopeStream;
    const resting = scopes(s, -1);
    if (s === scopeStream && resting) {
      scopeStream.close();
      scopeStream = null;
    }
  }
}

// Sends the scopes; true when every meter rests.
function scopes(s, frame) {
  const data = s.scopes(frame, performance.now() / 1000).slice();
  const resting = data.subarray(0, 10).every((v) => v === 0);
  toMain({ type: 'scopes', data }, [data.buffer]);
  return resting;
}

// SPDX-License-Identifier: MIT
// Tavolin's engine for browsers and Node: the desktop program's compiler,
// synthesizer and WAV export built as WebAssembly, behind a small API.
//
//   import { createEngine } from './tavolin-engine.mjs';
//   const engine = await createEngine();
//   engine.check(bytes, {arith: 'float', lang: 'ja'})  -> {ok: true} | {ok: false, error: {...}}
//   engine.render(bytes, {arith, rate, cursor})       -> Uint8Array (the WAV file)
//   engine.render(bytes, {format: 'flac', loops: 2, fade: 3})  -> Uint8Array (that file)
//   engine.render(bytes, {stems: true, ...})          -> [{name, bytes}] (one per sounding bank)
//   engine.exportAudio(bytes, {format, loops, fade, stems, loopPoints, audible, name, ...})
//                                                     -> {files: [{name, bytes}], message, frames}
//
// Documents are the bytes of a .mml file (Uint8Array or ArrayBuffer; a
// string is taken as UTF-8 text). The API is described in full in
// /work/briefs/wasm-api.md and the README.
import createEngineCore from './tavolin-engine-core.mjs';

const ARITH = { fix: 0, float: 1, double: 2 };
const TABS = { common: -1, a: 0, b: 1, c: 2, d: 3, e: 4 };

// A failed render, encode or open; `error` holds the same object `check`
// gives (code, bank, position, message, tab, line, column, start, end,
// status) or {message} (with document: true for a file that is no document).
export class EngineError extends Error {
  constructor(error) {
    super(error.message);
    this.name = 'EngineError';
    this.error = error;
  }
}

function bytesOf(doc) {
  if (doc instanceof Uint8Array) return doc;
  if (doc instanceof ArrayBuffer) return new Uint8Array(doc);
  if (ArrayBuffer.isView(doc)) return new Uint8Array(doc.buffer, doc.byteOffset, doc.byteLength);
  if (typeof doc === 'string') return new TextEncoder().encode(doc);
  throw new TypeError('a document is a Uint8Array, an ArrayBuffer or a string');
}

function arithOf(name = 'float') {
  const index = ARITH[String(name).toLowerCase()];
  if (index === undefined) throw new RangeError(`arith must be fix, float or double, not '${name}'`);
  return index;
}

function rateOf(rate = 48000) {
  if (!Number.isInteger(rate) || rate < 8000 || rate > 192000)
    throw new RangeError(`rate must be an integer from 8000 to 192000, not ${rate}`);
  return rate;
}

function englishOf(lang = 'ja') {
  if (lang !== 'ja' && lang !== 'en') throw new RangeError(`lang must be 'ja' or 'en', not '${lang}'`);
  return lang === 'en';
}

// Current Bank Play as tavolin-cli's --current-bank: 'A'..'E' (any case);
// 'common' reaches the builder, which refuses it. -2 for none.
function currentBankOf(bank) {
  if (bank === undefined || bank === null || bank === '') return -2;
  const index = TABS[String(bank).toLowerCase()];
  if (index === undefined) throw new RangeError(`currentBank wants A..E, not '${bank}'`);
  return index;
}

// "B:12" as tavolin-cli's --cursor: tab common or A..E, a byte offset in that
// tab's stored text. [bank, offset]; bank -2 for no cursor.
function cursorOf(cursor) {
  if (cursor === undefined || cursor === null || cursor === '') return [-2, 0];
  const m = /^([A-Za-z]+):([0-9]{1,15})$/.exec(String(cursor));
  const bank = m ? TABS[m[1].toLowerCase()] : undefined;
  if (bank === undefined) throw new RangeError(`cursor wants TAB:OFFSET with TAB common or A..E, e.g. B:12, not '${cursor}'`);
  return [bank, Number(m[2])];
}

// The export dialog's file types, in the window's order.
const FORMATS = { wav: 0, flac: 1, ogg: 2, opus: 3 };

function formatOf(format = 'wav') {
  const index = FORMATS[String(format).toLowerCase()];
  if (index === undefined) throw new RangeError(`format must be wav, flac, ogg or opus, not '${format}'`);
  return index;
}

// As the window's dialog takes them: 1..99 passes, 0..600 seconds of fade.
function loopsOf(loops = 1) {
  if (!Number.isInteger(loops) || loops < 1 || loops > 99) throw new RangeError(`loops must be an integer from 1 to 99, not ${loops}`);
  return loops;
}

function fadeOf(fade = 0) {
  if (typeof fade !== 'number' || !(fade >= 0 && fade <= 600)) throw new RangeError(`fade must be 0 to 600 seconds, not ${fade}`);
  return fade;
}

// Bits 0..4 banks A..E; every bank unless given.
function audibleOf(audible = 0x1f) {
  if (!Number.isInteger(audible) || audible < 0 || audible > 0x1f) throw new RangeError(`audible must be a bank mask 0..31, not ${audible}`);
  return audible;
}

const wasmUrl = new URL('tavolin-engine.wasm', import.meta.url);

async function coreArguments(options) {
  if (options.wasmBinary) return { wasmBinary: options.wasmBinary };
  if (options.wasmModule) {
    // An AudioWorklet has no fetch: the page compiles the module and passes it.
    return {
      instantiateWasm(imports, done) {
        WebAssembly.instantiate(options.wasmModule, imports).then((instance) => done(instance));
        return {};
      },
    };
  }
  if (typeof process === 'object' && process.versions && process.versions.node) {
    // Node: emscripten's ES module reads no files there; the .wasm lies beside us.
    const fsName = 'node:fs';
    const fs = await import(fsName);
    return { wasmBinary: fs.readFileSync(wasmUrl) };
  }
  return { locateFile: () => wasmUrl.href };
}

export async function createEngine(options = {}) {
  const core = await createEngineCore(await coreArguments(options));

  return {
    check(doc, { arith, lang, rate, cursor, currentBank } = {}) {
      rateOf(rate);
      const [bank, offset] = cursorOf(cursor);
      return JSON.parse(core.check(bytesOf(doc), arithOf(arith), englishOf(lang), bank, offset, currentBankOf(currentBank)));
    },

    timeline(doc, { arith, rate, lang } = {}) {
      return JSON.parse(core.timeline(bytesOf(doc), arithOf(arith), rateOf(rate), englishOf(lang)));
    },

    // The mix as one file, or with `stems` one file per sounding bank (the
    // window's names: output_A.flac ...). WAV without loops, fade or stems
    // is tavolin-cli render's file.
    render(doc, { arith, rate, cursor, lang, currentBank, format, loops, fade, stems, audible, name } = {}) {
      if (format === undefined && loops === undefined && fade === undefined && !stems && audible === undefined) {
        const [bank, offset] = cursorOf(cursor);
        if (!core.render(bytesOf(doc), arithOf(arith), rateOf(rate), englishOf(lang), bank, offset, currentBankOf(currentBank)))
          throw new EngineError(JSON.parse(core.lastError()));
        const wav = core.renderedBytes().slice();
        core.releaseRendered();
        return wav;
      }
      const { files } = this.exportAudio(doc, { arith, rate, cursor, lang, currentBank, format, loops, fade, stems, audible, name });
      return stems ? files : files[0].bytes;
    },

    // The window's export dialog (file type, loop count, fade-out, one file
    // per bank, loop points for games) carried out through the desktop's writers: the files named
    // from `name` as the window names them, the window's confirmation
    // `message`, and their length in `frames`. Muted banks (off in
    // `audible`) run but are left out.
    exportAudio(doc, { arith, rate, cursor, lang, currentBank, format, loops, fade, stems = false, loopPoints = false, audible, name = 'output' } = {}) {
      const [bank, offset] = cursorOf(cursor);
      if (!core.exportAudio(bytesOf(doc), arithOf(arith), rateOf(rate), englishOf(lang), bank, offset, currentBankOf(currentBank),
        formatOf(format), loopsOf(loops), fadeOf(fade), Boolean(stems), Boolean(loopPoints), audibleOf(audible), String(name)))
        throw new EngineError(JSON.parse(core.lastError()));
      const files = [];
      for (let i = 0; i < core.exportedCount(); ++i) files.push({ name: core.exportedName(i), bytes: core.exportedBytes(i).slice() });
      const result = { files, message: core.exportedMessage(), frames: core.exportedFrames() };
      core.releaseExported();
      return result;
    },

    // Checkpoints of the song of `doc` (as a swap builds it: `cursor` names
    // the bank a stream opened with it marks; for a passage or the whole
    // song with `loop`), shared by every stream's seeks: begin
    // after each compile (the shelf is kept when it holds that song), then
    // step(frames) in idle time while it says there is more to do.
    checkpoints: {
      begin(doc, { arith, rate, cursor, currentBank, loop = false, passage = false } = {}) {
        return core.checkpointsBegin(bytesOf(doc), arithOf(arith), rateOf(rate), cursorOf(cursor)[0], currentBankOf(currentBank),
                                     Boolean(loop), Boolean(passage));
      },
      step(frames) { return core.checkpointsStep(Math.max(0, Number(frames) || 0)); },
      get count() { return core.checkpointsCount(); },
    },

    // `pick` ({tab, from, to}: bytes of tab 0 common .. 5 E) loops the
    // passage a selection names, as the window's Ctrl+L: the pass under
    // `playhead` (a song frame, the stream's songFrame) when given. A pick
    // {tab, frames: [a, b]} names song frames dragged across the roll's ruler.
    open(doc, { arith, rate, lang, cursor, loop = false, from = '', to = '', pick, playhead, currentBank } = {}) {
      const [bank, offset] = cursorOf(cursor);
      const only = currentBankOf(currentBank);
      const frames = pick?.frames;
      const s = frames
        ? core.openRulerLoop(bytesOf(doc), arithOf(arith), rateOf(rate), englishOf(lang), Number(pick.tab) | 0,
                             Math.max(0, Number(frames[0]) || 0), Math.max(0, Number(frames[1]) || 0),
                             playhead === undefined ? -1 : Math.max(0, Number(playhead)), only)
        : pick
        ? core.openLoop(bytesOf(doc), arithOf(arith), rateOf(rate), englishOf(lang), Number(pick.tab) | 0,
                        Math.max(0, Number(pick.from) || 0), Math.max(0, Number(pick.to) || 0),
                        playhead === undefined ? -1 : Math.max(0, Number(playhead)), only)
        : core.openStream(bytesOf(doc), arithOf(arith), rateOf(rate), englishOf(lang), bank, offset,
                          Boolean(loop), String(from), String(to), only);
      if (!s.ok()) {
        const error = JSON.parse(s.error());
        s.delete();
        throw new EngineError(error);
      }
      let open = true;
      const live = () => {
        if (!open) throw new Error('the stream is closed');
        return s;
      };
      return {
        // Interleaved stereo samples of the next `frames` frames: a view of
        // the engine's buffer, valid until the next call on this engine.
        next(frames) {
          if (!Number.isInteger(frames) || frames < 0) throw new RangeError('frames must be a whole number');
          return live().next(frames);
        },
        seek(frame) { live().seek(Math.max(0, Math.floor(frame))); },
        // Goes on with `doc` at the same place in the music, crossfading, as
        // the desktop's live swap does; `arith` and `rate` stay the stream's.
        // An error (EngineError, as open's) leaves the old song playing.
        swap(next, { lang: swapLang } = {}) {
          const error = live().swap(bytesOf(next), arithOf(arith), rateOf(rate), englishOf(swapLang ?? lang), only);
          if (error) throw new EngineError(JSON.parse(error));
        },
        // The banks' scopes: tapBanks() before the first next(); then
        // scopes(heard, nowSeconds) gives the five meters' [level, hold]
        // (0..1) and then the five traces of the window (20 ms) heard up to
        // stream frame `heard` (-1: nothing is heard, the meters fall), as a
        // Float32Array view valid until the next call on this engine.
        tapBanks() { live().tapBanks(); },
        scopes(heard, nowSeconds) { return live().scopes(heard, nowSeconds); },
        // Bit 0 bank A .. bit 4 bank E: the banks the mix lets through.
        setAudible(mask) { live().setAudible(mask & 0x1f); },
        get frame() { return live().frame(); },
        // The frame of the song heard next, and while a passage loops its status line.
        get songFrame() { return live().songFrame(); },
        get passageStatus() { return live().passageStatus(); },
        get finished() { return live().finished(); },
        close() {
          if (open) s.delete();
          open = false;
        },
      };
    },

    // A MIDI file arranged as `tavolin-cli import-midi` arranges it:
    // {document: the document's bytes, report: the window's report text,
    // json: import-midi --json's report}. `grid` steps per whole note,
    // `overlap` 'first' or 'newest', `map` as --map ('A=2.1,B=3.1').
    importMidi(bytes, { grid = 0, overlap = 'first', map = '', lang } = {}) {
      if (overlap !== 'first' && overlap !== 'newest') throw new RangeError("overlap is 'first' or 'newest'");
      const r = JSON.parse(core.importMidi(bytesOf(bytes), Number(grid) | 0, overlap === 'newest', String(map), englishOf(lang)));
      if (!r.ok) throw new EngineError({ message: r.error });
      return { document: core.midiBytes().slice(), report: r.report, json: r.json };
    },

    // The song as `tavolin-cli export-midi` writes it (format 1, 480 ticks
    // per quarter): {bytes, warnings: [lines]}.
    exportMidi(doc, { arith, lang } = {}) {
      if (!core.exportMidi(bytesOf(doc), arithOf(arith), englishOf(lang))) throw new EngineError(JSON.parse(core.lastError()));
      const warnings = core.midiWarnings().split('\n').filter(Boolean);
      return { bytes: core.midiBytes().slice(), warnings };
    },

    // The window's Test: `phrase` (text) in bank A after `toneCommand`
    // (the tone helper's command), with the document's common text, as a WAV file.
    testPhrase(doc, { arith, rate, lang, toneCommand = '', phrase = 'C' } = {}) {
      if (!core.testPhrase(bytesOf(doc), arithOf(arith), rateOf(rate), englishOf(lang), String(toneCommand), String(phrase)))
        throw new EngineError(JSON.parse(core.lastError()));
      const wav = core.renderedBytes().slice();
      core.releaseRendered();
      return wav;
    },

    // The tone-definition helper, the window's own state: addDuty returns the
    // refusal to show ('' when added); command gives {text, messages}.
    toneHelper({ lang } = {}) {
      const t = new core.ToneHelper();
      const english = englishOf(lang);
      return {
        setWaveType(index) { t.setWaveType(Number(index) | 0); },
        setFreqNoise(text) { t.setFreqNoise(String(text)); },
        setSwitch(text) { t.setSwitch(String(text)); },
        addDuty(text, waveType) { return t.addDuty(String(text), Number(waveType) | 0, english); },
        deleteDuty(index) { t.deleteDuty(Number(index) | 0); },
        get lines() { return JSON.parse(t.lines()); },
        command(tone, levelNoise) { return JSON.parse(t.command(Number(tone) | 0, String(levelNoise), english)); },
        close() { t.delete(); },
      };
    },

    // The live check's pace, the window's rule (session::CheckPace): wait() ms of stillness before a
    // check, compiled(ms) after each, showAfter(error) ms after the last edit before a result shows.
    checkPace(longestMs = 150) {
      const p = new core.CheckPace(Number(longestMs));
      return {
        wait() { return p.wait(); },
        compiled(ms) { p.compiled(Number(ms)); },
        showAfter(error) { return p.showAfter(!!error); },
        close() { p.delete(); },
      };
    },

    // The MML reference: [{group, heads, syntax, what, example}] in the page's language, as
    // `tavolin-cli reference --json` gives it; each example plays alone (testPhrase with an empty
    // document and no tone command).
    reference({ lang } = {}) { return JSON.parse(core.reference(englishOf(lang))); },

    // The example songs the window's File → "サンプル曲" lists: [{file, title, about}] in the page's
    // language; the files are beside the page in examples/.
    examples({ lang } = {}) { return JSON.parse(core.examples(englishOf(lang))); },
    // The window's first steps in the page's language: {title, steps: [{title, how}], more}.
    firstSteps({ lang } = {}) { return JSON.parse(core.firstSteps(englishOf(lang))); },
    // The page's keys with the user's changes (`saved`, kept by the page): [{id, caption, keys, defaultKeys}];
    // keySet gives a command a key: {saved} or {refused: why}; normalizeKeys writes a key one way.
    keyCommands(saved = '', { lang } = {}) { return JSON.parse(core.keyCommands(saved, englishOf(lang))); },
    keySet(saved, id, keys, { lang } = {}) { return JSON.parse(core.keySet(saved, id, keys, englishOf(lang))); },
    normalizeKeys(keys) { return core.normalizeKeys(keys); },

    // The helpers' fixed texts: {waves, toneNumberMax, templates: [{caption, fields: [5 texts]}]}.
    helperTexts({ lang } = {}) { return JSON.parse(core.helperTexts(englishOf(lang))); },

    // The envelope helper's "@ED" command for its six field texts (attack,
    // decay, release time, attack level, sustain level, number): {text} or {message}.
    envelopeCommand(fields, { lang } = {}) {
      if (!Array.isArray(fields) || fields.length !== 6) throw new TypeError('envelopeCommand wants six field texts');
      return JSON.parse(core.envelopeCommand(...fields.map(String), englishOf(lang)));
    },

    // The piano roll: the window's model over the latest document that
    // compiled, in canvas pixels. scene() is what to draw (JSON, see
    // WebEngine.h), selectionAt the editor range a click selects.
    roll() {
      const r = new core.Roll();
      return {
        setDocument(doc, { arith, rate, lang, currentBank } = {}) {
          const error = r.setDocument(bytesOf(doc), arithOf(arith), rateOf(rate), englishOf(lang), currentBankOf(currentBank));
          return error ? JSON.parse(error) : null;
        },
        resize(width, height) { r.resize(width, height); },
        zoomAt(x, factor) { r.zoomAt(x, factor); },
        scrollBy(dx) { r.scrollBy(dx); },
        fitSong() { r.fitSong(); },
        follow(songFrame) { return r.follow(Math.max(0, songFrame)); },
        frameAtX(x) { return r.frameAtX(x); },
        setCaret(tab, byte) { return r.setCaret(tab, byte); },
        // The window's F8 sentence for the note setCaret named: "A, 小節 3 拍 2, ド♯ 8分音符, オクターブ 4".
        caretSpeech(tab, { lang } = {}) { return r.caretSpeech(Number(tab) | 0, englishOf(lang)); },
        // Shift+F8's: "再生中 小節 5 拍 1" at the song frame heard (null: "再生していません").
        playheadSpeech(songFrame, loop = false, { lang } = {}) {
          return r.playheadSpeech(songFrame ?? -1, Boolean(loop), englishOf(lang));
        },
        // What to draw; `still` adds the notes, grid and ticks, which change only with the song and the view.
        scene(songFrame = -1, loop = false, still = true) { return JSON.parse(r.scene(songFrame, Boolean(loop), Boolean(still))); },
        selectionAt(x, y) { return JSON.parse(r.selectionAt(x, y)); },
        // The arrows' step ('previous', 'next', 'above', 'below') from the highlighted note; `extend`
        // stretches the selection from where the stretch began: {tab, start, end} or null.
        step(how, extend = false) { return JSON.parse(r.step(['previous', 'next', 'above', 'below'].indexOf(how), Boolean(extend))); },
        lit(songFrame, loop = false) { return JSON.parse(r.lit(songFrame, Boolean(loop))); },
        // The passage a pick names (as open's), shaded: [from, to] or null.
        showPassage(pick, playhead) {
          const f = pick.frames ?? [-1, -1];
          return JSON.parse(r.showPassage(Number(pick.tab) | 0, Number(pick.from) || 0, Number(pick.to) || 0,
                                          Number(f[0]), Number(f[1]), playhead === undefined ? -1 : playhead));
        },
        clearPassage() { r.clearPassage(); },
        close() { r.delete(); },
      };
    },

    // {tabs: [six editor texts]} (with `warning` when a save would lose
    // part of the file), or {error: {document: true, message}}.
    decodeDocument(bytes, { lang } = {}) {
      const r = JSON.parse(core.decode(bytesOf(bytes), englishOf(lang)));
      return r.error !== undefined ? { error: { document: true, message: r.error } } : r;
    },

    // Six tab texts -> the .mml file the window saves (CP932, CR LF breaks).
    encodeDocument(tabs, { lang } = {}) {
      if (!Array.isArray(tabs) || tabs.length !== 6) throw new TypeError('encodeDocument wants six tab texts');
      if (!core.encode(...tabs.map(String), englishOf(lang))) throw new EngineError({ message: core.lastError() });
      return core.encodedBytes().slice();
    },

    // Colour runs of one tab's text: [[start, length, class], ...] in UTF-16
    // positions, classes numbered as CLASS_NAMES.
    classes(tabText) {
      return JSON.parse(core.classes(String(tabText)));
    },
  };
}

// The colour classes by number, as `classes` gives them.
export const CLASS_NAMES = ['plain', 'note', 'length', 'octave', 'setting', 'sound', 'loop', 'tuplet', 'macro', 'slur',
  'comment', 'unknown'];

export default createEngine;

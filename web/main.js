// SPDX-License-Identifier: MIT
// The page: six tabs of MML in CodeMirror, coloured by the engine's classes, checked as you type in
// a worker, played by a render worker and an AudioWorklet (player.js), exported, opened, saved
// and shared as a link.
import { EditorState, StateEffect, StateField, RangeSetBuilder, Transaction } from '@codemirror/state';
import { EditorView, Decoration, ViewPlugin, keymap, lineNumbers, drawSelection, highlightActiveLine } from '@codemirror/view';
import { defaultKeymap, history, historyKeymap } from '@codemirror/commands';
import * as engineModule from './tavolin-engine.mjs';
import { lang, text, tabNames } from './texts.js';
import { kDocumentLimit, storedOffset, shareFragment, sharedDocument } from './document.js';
import { classRuns } from './classes.js';
import { createPlayer } from './player.js';
import { BankScopes, DevPanel } from './scopes.js';

const $ = (id) => document.getElementById(id);
const kRates = [8000, 12000, 16000, 22050, 32000, 44100, 48000, 96000, 192000];
const kDebounceMs = 150; // as the window waits after the last keystroke

const engine = await (engineModule.createEngine ?? engineModule.default)();

// ---- editor -----------------------------------------------------------------------------------

// Letters enter upper case, typed or pasted, as in the window.
const upperCase = EditorState.transactionFilter.of((tr) => {
  if (!tr.docChanged) return tr;
  let lower = false;
  tr.changes.iterChanges((fa, ta, fb, tb, inserted) => { if (/[a-z]/.test(inserted.toString())) lower = true; });
  if (!lower) return tr;
  const changes = [];
  tr.changes.iterChanges((fa, ta, fb, tb, inserted) => {
    changes.push({ from: fa, to: ta, insert: inserted.toString().replace(/[a-z]+/g, (s) => s.toUpperCase()) });
  });
  return [{ changes, selection: tr.selection, scrollIntoView: tr.scrollIntoView, userEvent: tr.annotation(Transaction.userEvent) }];
});

// Colours: the engine classifies the lines in view. A comment runs from one * to the next, so an odd
// count of * above the view means the view starts inside one; a * put in front says so to the
// engine (its run is dropped). Typing in a long document thus costs only what is in view.
const classMarks = new Map();
const classMark = (cls) => classMarks.get(cls) ?? classMarks.set(cls, Decoration.mark({ class: 'mml-' + cls })).get(cls);
function insideComment(doc, end) {
  let open = false;
  for (const part of doc.iterRange(0, end)) for (let i = part.indexOf('*'); i >= 0; i = part.indexOf('*', i + 1)) open = !open;
  return open;
}
const colours = ViewPlugin.fromClass(class {
  constructor(view) { this.decorations = this.build(view); }
  update(u) { if (u.docChanged || u.viewportChanged) this.decorations = this.build(u.view); }
  build(view) {
    const b = new RangeSetBuilder();
    const { doc } = view.state;
    const from = doc.lineAt(view.viewport.from).from;
    const lead = insideComment(doc, from) ? '*' : '';
    const shift = from - lead.length;
    for (const r of classRuns(engine, lead + doc.sliceString(from, view.viewport.to))) {
      if (!r.cls || r.to + shift <= from) continue;
      b.add(Math.max(r.from + shift, from), r.to + shift, classMark(r.cls));
    }
    return b.finish();
  }
}, { decorations: (p) => p.decorations });

// The live check's underline in this tab; moves with edits until the next result replaces it.
const setError = StateEffect.define();
const errorMark = Decoration.mark({ class: 'mml-error' });
const errorField = StateField.define({
  create: () => Decoration.none,
  update(marks, tr) {
    marks = marks.map(tr.changes);
    for (const e of tr.effects) {
      if (!e.is(setError)) continue;
      const len = tr.state.doc.length;
      const from = e.value && Math.min(e.value.from, len);
      const to = e.value && Math.min(Math.max(e.value.to, from + 1), len);
      marks = e.value && to > from ? Decoration.set([errorMark.range(from, to)]) : Decoration.none;
    }
    return marks;
  },
  provide: (f) => EditorView.decorations.from(f),
});

const states = [];
let shownTab = 1;
let modified = false;
let fileName = null;

function makeState(doc) {
  return EditorState.create({
    doc,
    extensions: [
      lineNumbers(), history(), drawSelection(), highlightActiveLine(),
      keymap.of([...defaultKeymap, ...historyKeymap]),
      upperCase, colours, errorField,
      EditorView.updateListener.of((u) => { if (u.docChanged) { modified = true; scheduleCheck(); } }),
    ],
  });
}
for (let i = 0; i < 6; ++i) states.push(makeState(''));
const view = new EditorView({ state: states[shownTab], parent: $('editor') });

const tabTexts = () => states.map((s, i) => (i === shownTab ? view.state : s).doc.toString());

function showTab(i) {
  if (shownTab >= 0) states[shownTab] = view.state;
  shownTab = i;
  view.setState(states[i]);
  showError();
  for (const [k, b] of tabButtons.entries()) b.classList.toggle('current', k === i);
  view.focus();
}

// ---- tabs, mute and solo ------------------------------------------------------------------------

const tabButtons = [];
const muted = [false, false, false, false, false];
const soloed = [false, false, false, false, false];
const toggles = [];  // [kind, bank, button]: the tabs' and the scopes' mute and solo buttons
// A mute or solo button for bank `b` (0 is A); every button of a bank shows the same state.
function bankToggle(kind, b, id) {
  const list = kind === 'mute' ? muted : soloed;
  const t = document.createElement('button');
  t.className = 'toggle ' + kind;
  t.id = id;
  t.textContent = kind === 'mute' ? 'M' : 'S';
  t.title = text(kind, { bank: tabNames()[b + 1] });
  t.setAttribute('aria-pressed', 'false');
  t.onclick = () => {
    list[b] = !list[b];
    for (const [k, bank, other] of toggles) if (k === kind && bank === b) other.setAttribute('aria-pressed', String(list[b]));
    post({ type: 'audible', mask: audibleMask() });
    scopes?.setAudible(audibleMask());
  };
  toggles.push([kind, b, t]);
  return t;
}
tabNames().forEach((name, i) => {
  const tab = document.createElement('span');
  tab.className = 'tab';
  const b = document.createElement('button');
  b.textContent = name;
  b.className = 'tab-name';
  b.id = 'tab-' + i;
  b.onclick = () => showTab(i);
  tab.append(b);
  tabButtons.push(b);
  if (i > 0) for (const kind of ['mute', 'solo']) tab.append(bankToggle(kind, i - 1, `${kind}-${name}`));
  $('tabs').append(tab);
});

// Any solo plays only the soloed banks, otherwise every unmuted one; bit 0 is bank A.
function audibleMask() {
  const solo = soloed.some(Boolean);
  return [0, 1, 2, 3, 4].reduce((m, b) => m | ((solo ? soloed[b] : !muted[b]) ? 1 << b : 0), 0);
}

// ---- controls -----------------------------------------------------------------------------------

for (const r of kRates) $('rate').append(new Option(r.toLocaleString('en-US'), String(r), false, r === 48000));
for (const el of document.querySelectorAll('[data-text]')) el.textContent = text(el.dataset.text);
// Buttons that show a sign: the text is their name and tooltip.
for (const el of document.querySelectorAll('[data-label]')) el.title = el.ariaLabel = text(el.dataset.label);
document.documentElement.lang = lang;
// The build's version, written in by scripts/web (esbuild --define) from the one the programs show.
$('version').textContent = TAVOLIN_VERSION;
$('about-open').onclick = () => $('about').showModal();
const settings = () => ({ arith: $('arith').value, rate: Number($('rate').value), lang });
$('arith').onchange = $('rate').onchange = () => scheduleCheck();

let messageTimer = 0;
function say(message) {
  $('message').textContent = message;
  clearTimeout(messageTimer);
  if (message) messageTimer = setTimeout(() => { $('message').textContent = ''; }, 8000);
}

// The document as stored; null (after saying why) when a character has no CP932 form.
function storedDocument() {
  try {
    return engine.encodeDocument(tabTexts(), { lang });
  } catch (e) {
    say(e.error?.message ?? String(e.message ?? e));
    return null;
  }
}

// "Start from current cursor": the caret's tab and its byte offset in the stored text.
function cursorOption() {
  if (!$('from-cursor').checked) return undefined;
  const doc = view.state.doc.toString();
  return `${shownTab === 0 ? 'common' : tabNames()[shownTab]}:${storedOffset(doc, view.state.selection.main.from)}`;
}

// ---- live check ---------------------------------------------------------------------------------

const checker = new Worker(new URL('./check-worker.js', import.meta.url), { type: 'module' });
let checkTimer = 0;
let checkId = 0;
let lastError = null;

let lastEdit = 0;  // when the text last changed, for the developer panel's keystroke-to-heard time
function scheduleCheck() {
  lastEdit = performance.now();
  clearTimeout(checkTimer);
  const id = ++checkId; // a result for an older id is stale and dropped
  document.body.dataset.checking = 'true';
  checkTimer = setTimeout(() => {
    checker.postMessage({ id, tabs: tabTexts(), ...settings() });
    // While it plays, the edit goes to the render worker at once, beside the check: one that
    // compiles is heard at the same place in the music; one with an error leaves the last good
    // song playing (the check shows the error).
    if (document.body.dataset.playing === 'true') post({ type: 'swap', bytes: storedDocument() });
  }, kDebounceMs);
}

checker.onmessage = ({ data }) => {
  if (data.id !== checkId) return;
  lastError = data.result.ok ? null : data.result.error;
  showError();
  delete document.body.dataset.checking;
};

function showError() {
  const e = lastError;
  for (const [i, b] of tabButtons.entries()) b.classList.toggle('has-error', !!e && e.tab === i);
  const here = e && e.tab === shownTab && e.start !== undefined ? { from: e.start, to: e.end } : null;
  view.dispatch({ effects: setError.of(here) });
  $('status').textContent = !e ? '' : e.status ?? e.message;
}

// ---- playback -----------------------------------------------------------------------------------

let audio = null; // { context, player }
// The worker fetches the engine itself; the page's copy of the .wasm is handed over to save a fetch.
let wasmBytes = null;
const engineWasm = () => (wasmBytes ??= fetch(new URL('./tavolin-engine.wasm', import.meta.url)).then((r) => r.arrayBuffer()));

function post(message) { audio?.player.post(message); }

// The banks' scopes with their meters and toggles, and the developer panel (?dev or Ctrl+Shift+D).
const scopes = new BankScopes($('scopes'), (kind, b) => bankToggle(kind, b, `scope-${kind}-${tabNames()[b + 1]}`));
const devPanel = new DevPanel($('dev'), () => audio?.player);
if (new URLSearchParams(location.search).has('dev')) devPanel.show(true);
addEventListener('keydown', (e) => {
  if (e.key === 'D' && e.ctrlKey && e.shiftKey) { e.preventDefault(); devPanel.show(!devPanel.shown); }
});

// What the player says. `position` ({songFrame, frame}: the song frame heard now) is kept for
// whoever draws where the music stands.
let position = null;
function heard(data) {
  if (data.type === 'position') { position = data; devPanel.position(data); return; }
  if (data.type === 'scopes') { scopes.update(data.data); return; }
  if (data.type === 'timing') { devPanel.timing(data); return; }
  if (data.type === 'swapped' && lastEdit) devPanel.heard(performance.now() + data.heardInMs - lastEdit);
  if (data.type === 'swapped' || data.type === 'kept' || data.type === 'paused') return;  // it plays on
  document.body.dataset.playing = String(data.type === 'playing');
  if (data.type === 'error') say(data.message);
  if (data.status) say(data.status);
}

// Play, or with `pick` ({tab, from, to} in stored bytes) loop the passage the selection names.
async function play(pick) {
  const bytes = storedDocument();
  if (!bytes) return;
  const { arith, rate } = settings();
  const cursor = pick ? undefined : cursorOption();
  // Current Bank Play: the shown tab's bank alone (the common tab is refused, as in the window).
  const currentBank = $('current-bank').checked ? (shownTab === 0 ? 'common' : tabNames()[shownTab]) : undefined;
  const checked = engine.check(bytes, { arith, rate, lang, cursor, currentBank });
  if (!checked.ok) {
    lastError = checked.error;
    showError();
    if (checked.error.tab >= 0 && checked.error.tab !== shownTab) showTab(checked.error.tab);
    return;
  }
  try {
    if (!audio || audio.context.sampleRate !== rate) {
      audio?.player.close();
      audio?.context.close();
      const context = new AudioContext({ sampleRate: rate, latencyHint: 'interactive' });
      const shared = !new URLSearchParams(location.search).has('chunks');  // ?chunks: the ring without shared memory
      audio = { context, player: await createPlayer(context, { wasm: await engineWasm(), shared, onmessage: heard }) };
    }
    await audio.context.resume();
    $('pause').checked = false;
    if (pick) post({ type: 'loop', bytes, arith, rate, pick, lang, currentBank, mask: audibleMask() });
    else post({ type: 'play', bytes, arith, rate, loop: $('loop').checked, cursor, currentBank, mask: audibleMask() });
  } catch (e) {
    say(text('audioFailed') + ` (${e.message ?? e})`);
  }
}

// "選択範囲をループ再生" (Ctrl+L): the selection in the shown tab, in the stored text's bytes.
function loopSelection() {
  const doc = view.state.doc.toString();
  const { from, to } = view.state.selection.main;
  play({ tab: shownTab, from: storedOffset(doc, from), to: storedOffset(doc, to) });
}

const stop = () => {
  $('pause').checked = false;  // a new Play starts unpaused
  post({ type: 'stop' });
};
$('play').onclick = () => play();
$('loop-passage').onclick = loopSelection;
$('pause').onchange = () => post({ type: 'pause', paused: $('pause').checked });
$('stop').onclick = stop;
addEventListener('keydown', (e) => {
  if (e.key === 'F5') { e.preventDefault(); play(); }
  if (e.key === 'l' && e.ctrlKey && !e.shiftKey && !e.altKey) { e.preventDefault(); loopSelection(); }
  if (e.key === 'F6') { e.preventDefault(); stop(); }
});

// ---- files --------------------------------------------------------------------------------------

function download(bytes, name, type) {
  const a = document.createElement('a');
  a.href = URL.createObjectURL(new Blob([bytes], { type }));
  a.download = name;
  a.click();
  setTimeout(() => URL.revokeObjectURL(a.href), 10000);
}

const baseName = () => (fileName ?? 'untitled.mml').replace(/\.(mml|txt)$/i, '');

// "Wav出力" opens the window's export dialog (file type, loop count, fade-out, one file per bank);
// OK writes through the engine as the window does and downloads each file. The dialog keeps the
// last choice for the next export, as the window does.
$('export-per-bank-label').title = text('exportPerBankTip');
const MIME = { wav: 'audio/wav', flac: 'audio/flac', ogg: 'audio/ogg', opus: 'audio/ogg' };
$('export').onclick = () => {
  if (!storedDocument()) return;
  const audible = audibleMask();
  const left = [0, 1, 2, 3, 4].filter((b) => !(audible & (1 << b))).map((b) => 'ABCDE'[b]);
  $('export-muted').hidden = left.length === 0;
  $('export-muted').textContent = text('exportMuted', { banks: left.join(', ') });
  $('export-dialog').returnValue = '';  // Escape closes it without a button: no export
  $('export-dialog').showModal();
};
$('export-dialog').onclose = () => {
  if ($('export-dialog').returnValue !== 'ok') return;
  const bytes = storedDocument();
  if (!bytes) return;
  const format = $('export-type').value;
  let result;
  try {
    result = engine.exportAudio(bytes, {
      ...settings(), cursor: cursorOption(), audible: audibleMask(), name: baseName(), format,
      loops: Number($('export-loops').value), fade: Number($('export-fade').value), stems: $('export-per-bank').checked,
    });
  } catch (e) {
    // A compile error shows as the live check shows it; any other refusal is said.
    if (e.error?.tab !== undefined) { lastError = e.error; showError(); } else say(e.error?.message ?? String(e.message ?? e));
    return;
  }
  for (const f of result.files) download(f.bytes, f.name, MIME[format]);
  say(result.message);
};

$('save').onclick = () => {
  const bytes = storedDocument();
  if (!bytes) return;
  download(bytes, baseName() + '.mml', 'text/plain');
  modified = false;
};

// Replaces the six tabs with a stored document; false (after saying why) when it cannot be read.
// Asks first when the text holds unsaved changes.
function loadDocument(bytes, name, damagedText) {
  if (bytes.length > kDocumentLimit) {
    say(text('tooLarge', { file: name, size: (bytes.length / 1048576).toFixed(1), limit: kDocumentLimit / 1048576 }));
    return false;
  }
  // A file that is no document is refused with the engine's reason; one that would lose a part
  // when saved is opened only when the user agrees, as in the window.
  let decoded;
  try {
    decoded = engine.decodeDocument(bytes, { lang });
  } catch (e) {
    decoded = { error: { message: String(e.message ?? e) } };
  }
  if (!decoded.tabs) {
    say(damagedText + '\n' + decoded.error.message.replace(/^[^\n]*\n/, ''));
    return false;
  }
  if (decoded.warning && !confirm(decoded.warning)) return false;
  const tabs = decoded.tabs;
  if (modified && !confirm(text('discard'))) return false;
  stop();
  for (let i = 0; i < 6; ++i) states[i] = makeState(tabs[i].replace(/[a-z]+/g, (s) => s.toUpperCase()));
  shownTab = -1;
  showTab(1);
  modified = false;
  scheduleCheck();
  return true;
}

$('open').onclick = () => $('file').click();
$('file').onchange = async () => {
  const f = $('file').files[0];
  $('file').value = '';
  if (!f) return;
  const bytes = new Uint8Array(await f.arrayBuffer());
  if (loadDocument(bytes, f.name, text('damaged', { file: f.name }))) fileName = f.name;
};

// MIDI, as the window's "MIDI読み込み…" and "MIDI出力" (tavolin-cli import-midi and export-midi):
// an imported file becomes an untitled document, its report said; a .mid dropped on the page too.
function importMidiFile(bytes, name) {
  let imported;
  try {
    imported = engine.importMidi(bytes, { lang });
  } catch (e) {
    say(text('midiRefused', { file: name, reason: e.error?.message ?? String(e.message ?? e) }));
    return;
  }
  if (!loadDocument(imported.document, name, text('damaged', { file: name }))) return;
  fileName = null;
  modified = true;
  say(imported.report);
}

$('midi-import').onclick = () => $('midi-file').click();
$('midi-file').onchange = async () => {
  const f = $('midi-file').files[0];
  $('midi-file').value = '';
  if (f) importMidiFile(new Uint8Array(await f.arrayBuffer()), f.name);
};

$('midi-export').onclick = () => {
  const bytes = storedDocument();
  if (!bytes) return;
  let midi;
  try {
    midi = engine.exportMidi(bytes, { arith: settings().arith, lang });
  } catch (e) {
    if (e.error?.tab !== undefined) { lastError = e.error; showError(); } else say(e.error?.message ?? String(e.message ?? e));
    return;
  }
  download(midi.bytes, baseName() + '.mid', 'audio/midi');
  say([text('written', { file: baseName() + '.mid' }), ...midi.warnings].join('\n'));
};

addEventListener('dragover', (e) => { if (e.dataTransfer?.types.includes('Files')) e.preventDefault(); });
addEventListener('drop', async (e) => {
  const f = e.dataTransfer?.files[0];
  if (!f) return;
  e.preventDefault();
  const bytes = new Uint8Array(await f.arrayBuffer());
  if (/\.midi?$/i.test(f.name)) importMidiFile(bytes, f.name);
  else if (loadDocument(bytes, f.name, text('damaged', { file: f.name }))) fileName = f.name;
});

$('share').onclick = async () => {
  const bytes = storedDocument();
  if (!bytes) return;
  const url = location.href.replace(/#.*$/, '') + (await shareFragment(bytes));
  window.history.replaceState(null, '', url);
  // The link is in the address bar at once; copying it may wait for the user's permission.
  say(text('linkMade'));
  navigator.clipboard?.writeText(url).then(() => say(text('linkCopied')), () => {});
};

async function openShared() {
  let bytes;
  try {
    bytes = await sharedDocument(location.hash);
  } catch {
    say(text('badLink'));
    return;
  }
  if (bytes && loadDocument(bytes, 'link', text('badLink'))) {
    fileName = null;
    say(text('linkOpened'));
    $('play').focus();
  }
}
addEventListener('hashchange', openShared);
await openShared();
scheduleCheck();
// Offline once loaded: a service worker keeps the page's files (where the browser allows one).
navigator.serviceWorker?.register('sw.js').catch(() => {});
performance.mark('tavolin-ready');
document.body.dataset.ready = 'true';

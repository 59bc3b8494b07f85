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

const engine = await (engineModule.createEngine ?? engineModule.default)();
// The piano roll's model (the window's), on the latest document that compiled.
const roll = engine.roll();
let heard = null;        // the song frame heard now, while something plays
let playLoop = false;    // Play's Loop, for where each bank stands in a song that starts over
let litKey = '';         // the lit ranges shown in the editor, to skip a redraw that changes nothing
let playRun = 0;         // counts starts and ends of playing: positions of an earlier run are dropped

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

// The notes heard now, lit in the shown tab (their commands and, for a macro replay, its call).
const setLit = StateEffect.define();
const litMark = Decoration.mark({ class: 'mml-lit' });
const litField = StateField.define({
  create: () => Decoration.none,
  update(marks, tr) {
    marks = marks.map(tr.changes);
    for (const e of tr.effects) {
      if (!e.is(setLit)) continue;
      const len = tr.state.doc.length;
      const ranges = e.value.map(([from, to]) => [Math.min(from, len), Math.min(to, len)]).filter(([from, to]) => to > from);
      ranges.sort((a, b) => a[0] - b[0] || a[1] - b[1]);
      marks = Decoration.set(ranges.map(([from, to]) => litMark.range(from, to)));
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
      upperCase, colours, errorField, litField,
      EditorView.contentAttributes.of({ 'aria-label': text('editor') }),
      EditorView.updateListener.of((u) => {
        if (u.docChanged) { modified = true; scheduleCheck(); storeSoon(); }
        if (u.selectionSet || u.docChanged) caretMoved();
      }),
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
  litKey = '';
  caretMoved();
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
    invalidateRoll();
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
  $('tabs').insertBefore(tab, $('tabs').querySelector('.sep'));  // the pane buttons stay at the right
});

tabButtons[shownTab].classList.add('current');

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
for (const el of document.querySelectorAll('[data-tip]')) el.title = text(el.dataset.tip);

// The theme: the system's scheme unless one is chosen; the choice and the editor's text size are
// kept in this browser.
const kThemeKey = 'tavolin-theme';
const kZoomKey = 'tavolin-editor-zoom';
const applyTheme = (theme) => {
  if (theme) document.documentElement.dataset.theme = theme;
  else delete document.documentElement.dataset.theme;
};
$('theme').value = localStorage.getItem(kThemeKey) ?? '';
applyTheme($('theme').value);
$('theme').addEventListener('change', () => {
  if ($('theme').value) localStorage.setItem(kThemeKey, $('theme').value);
  else localStorage.removeItem(kThemeKey);
  applyTheme($('theme').value);
  invalidateRoll();
});
// Ctrl+plus, Ctrl+minus, Ctrl+0: the editor's text in steps of 10%, from 50% to 300% (the page's own
// zoom stays on the browser's menu).
let zoomPercent = Number(localStorage.getItem(kZoomKey)) || 100;
const applyZoom = (percent, tell) => {
  zoomPercent = Math.min(300, Math.max(50, percent));
  document.documentElement.style.setProperty('--editor-size', `${(14 * zoomPercent) / 100}px`);
  if (zoomPercent === 100) localStorage.removeItem(kZoomKey);
  else localStorage.setItem(kZoomKey, String(zoomPercent));
  if (tell) $('status').textContent = text('zoom', { percent: zoomPercent });
};
applyZoom(zoomPercent, false);
// F8, as in the window: the caret's bank, bar, beat and note; Shift+F8 where the song plays; both
// to the screen reader's live region.
addEventListener('keydown', (e) => {
  if (e.key !== 'F8' || e.ctrlKey || e.altKey || e.metaKey) return;
  e.preventDefault();
  if (e.shiftKey) {
    $('speech').textContent = roll.playheadSpeech(heard, playLoop, { lang });
    return;
  }
  roll.setCaret(shownTab, storedOffset(view.state.doc.toString(), view.state.selection.main.from));
  $('speech').textContent = roll.caretSpeech(shownTab, { lang });
});
addEventListener('keydown', (e) => {
  if (!e.ctrlKey || e.altKey || e.metaKey) return;
  const step = { '+': 10, '=': 10, '-': -10, '0': 0 }[e.key];
  if (step === undefined) return;
  e.preventDefault();
  applyZoom(step === 0 ? 100 : zoomPercent + step, true);
  view.requestMeasure();
}, true);
// A menu closes once one of its commands runs, or on a click elsewhere.
for (const menu of document.querySelectorAll('details.menu')) {
  menu.addEventListener('click', (e) => { if (e.target.closest('.menu-items button')) menu.open = false; });
}
addEventListener('pointerdown', (e) => {
  for (const menu of document.querySelectorAll('details.menu[open]')) if (!menu.contains(e.target)) menu.open = false;
});
// The toolbar keeps one row: where its groups do not fit side by side (a narrow window, a tablet),
// the play options and then the arithmetic and rate move into the "⋯" menu, in that order, and
// come back when there is room again.
const toolbar = $('toolbar');
const overflowGroups = [...toolbar.querySelectorAll('.group.overflow')];
function fitToolbar() {
  const more = $('more-menu');
  more.open = false;
  for (const g of overflowGroups) toolbar.querySelector('.sep').before(g);
  more.hidden = true;
  // Items of one row overlap in height (they differ in height, centred); a wrapped one starts below.
  const oneRow = () => {
    const boxes = [...toolbar.children].filter((e) => e.offsetParent).map((e) => e.getBoundingClientRect())
      .filter((b) => b.height > 0);
    const bottom = Math.min(...boxes.map((b) => b.bottom));
    return boxes.every((b) => b.top < bottom);
  };
  for (const g of overflowGroups) {
    if (oneRow()) break;
    more.hidden = false;
    $('more-items').append(g);
  }
  const moved = [...$('more-items').querySelectorAll('label, select')]
    .map((e) => (e.tagName === 'SELECT' ? e.selectedOptions[0]?.textContent : e.textContent.trim()));
  more.querySelector('summary').title = more.querySelector('summary').ariaLabel = moved.join(', ');
}
fitToolbar();
addEventListener('resize', fitToolbar);
document.fonts?.ready.then(fitToolbar);
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

// The window's pace: a check (and, while it plays, a swap) once the text has been still for twice
// the recent check time (20 to 150 ms); a version that compiles shows at once, an error only after
// 150 ms of stillness, so that a command half typed does not flash.
const pace = engine.checkPace(150);
let lastEdit = 0;  // when the text last changed: the pace counts from it, the developer panel too
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
  }, pace.wait());
}

checker.onmessage = ({ data }) => {
  pace.compiled(data.ms);
  if (data.id !== checkId) return;
  const shown = () => {
    if (data.id !== checkId) return;
    lastError = data.result.ok ? null : data.result.error;
    showError();
    rollDocument();
    delete document.body.dataset.checking;
  };
  // A compile that succeeds while nothing plays: the player's checkpoints get ready for the next
  // passage (while it plays, the swap sent with the edit sees to them).
  if (data.result.ok && audio && document.body.dataset.playing !== 'true') {
    const bytes = storedDocument();
    if (bytes) post({ type: 'compiled', bytes, ...settings(), currentBank: currentBankOption() });
  }
  const wait = lastEdit + pace.showAfter(!data.result.ok) - performance.now();
  if (wait > 0) setTimeout(shown, wait);
  else shown();
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

// What the player says. A position ({songFrame, frame}) is the song frame heard now (what is
// buffered and the output's latency already taken off): the roll and the lit notes follow it.
function fromPlayer(data) {
  if (data.type === 'position') {
    devPanel.position(data);
    hear(data.songFrame);
    return;
  }
  if (data.type === 'scopes') { scopes.update(data.data); return; }
  if (data.type === 'timing') { devPanel.timing(data); return; }
  if (data.type === 'swapped' && lastEdit) devPanel.heard(performance.now() + data.heardInMs - lastEdit);
  if (data.type === 'swapped' || data.type === 'kept' || data.type === 'paused') return;  // it plays on
  document.body.dataset.playing = String(data.type === 'playing');
  ++playRun;
  if (data.type !== 'playing') hear(null);
  if (data.type === 'error') say(data.message);
  if (data.status) say(data.status);
}

// Current Bank Play: the shown tab's bank alone (the common tab is refused, as in the window).
const currentBankOption = () => ($('current-bank').checked ? (shownTab === 0 ? 'common' : tabNames()[shownTab]) : undefined);

// Play, or with `pick` ({tab, from, to} in stored bytes) loop the passage the selection names.
async function play(pick) {
  $('play').classList.remove('hint');
  const bytes = storedDocument();
  if (!bytes) return;
  const { arith, rate } = settings();
  const cursor = pick ? undefined : cursorOption();
  const currentBank = currentBankOption();
  const checked = engine.check(bytes, { arith, rate, lang, cursor, currentBank });
  if (!checked.ok) {
    lastError = checked.error;
    showError();
    if (checked.error.tab >= 0 && checked.error.tab !== shownTab) showTab(checked.error.tab);
    return;
  }
  rollDocument();  // what plays is what the roll shows, whether or not the live check has answered yet
  try {
    if (!audio || audio.context.sampleRate !== rate) {
      audio?.player.close();
      audio?.context.close();
      const context = new AudioContext({ sampleRate: rate, latencyHint: 'interactive' });
      const shared = !new URLSearchParams(location.search).has('chunks');  // ?chunks: the ring without shared memory
      audio = { context, player: await createPlayer(context, { wasm: await engineWasm(), shared, onmessage: fromPlayer }) };
    }
    await audio.context.resume();
    $('pause').checked = false;
    playLoop = !pick && $('loop').checked;
    // The passage shaded in the roll is the one the player is told to loop: the same rule on the same song.
    if (pick) roll.showPassage(pick, heard ?? undefined);
    else roll.clearPassage();
    drawRoll();
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
  roll.clearPassage();
  ++playRun;
  hear(null);
};
$('play').onclick = () => play();
$('loop-passage').onclick = loopSelection;
$('pause').onchange = () => post({ type: 'pause', paused: $('pause').checked });
$('stop').onclick = stop;

// ---- keys ---------------------------------------------------------------------------------------

// The window's commands on the user's keys (File → "キー設定", kept in the browser): the engine
// holds the table and its rules (a key another command has is refused, naming it).
const kKeysKey = 'tavolin-keys';
let savedKeys = '';
try { savedKeys = localStorage.getItem(kKeysKey) ?? ''; } catch { /* private mode */ }
const keyRuns = {
  play: () => play(), stop: () => stop(), loopPassage: () => loopSelection(),
  new: () => $('new').click(), open: () => $('open').click(), save: () => $('save').click(),
  export: () => $('export').click(), midiExport: () => $('midi-export').click(), midiImport: () => $('midi-import').click(),
  reference: () => $('reference-open').click(), firstSteps: () => $('first-steps-open').click(),
};
// The buttons whose tooltip names their key.
const keyButtons = { play: 'play', stop: 'stop', loopPassage: 'loop-passage', reference: 'reference-open' };
let keyBindings = new Map();
function bindKeys() {
  keyBindings = new Map();
  for (const c of engine.keyCommands(savedKeys, { lang })) {
    if (c.keys) keyBindings.set(c.keys, c.id);
    const button = keyButtons[c.id] && $(keyButtons[c.id]);
    if (!button) continue;
    const tip = button.dataset.tip ? text(button.dataset.tip).replace(/ \([^)]*\)$/, '') : c.caption;
    button.title = c.keys ? `${tip} (${c.keys})` : tip;
  }
}
bindKeys();
// A key event as the table writes keys ("Ctrl+Shift+P"); null for a modifier alone.
function keysOf(e) {
  if (['Control', 'Shift', 'Alt', 'Meta', 'AltGraph', 'Dead', 'Unidentified'].includes(e.key)) return null;
  const key = e.key === ' ' ? 'Space' : e.key;
  return engine.normalizeKeys([e.ctrlKey && 'Ctrl', e.altKey && 'Alt', e.shiftKey && 'Shift', e.metaKey && 'Meta', key].filter(Boolean).join('+'));
}
addEventListener('keydown', (e) => {
  if ($('keys-dialog').open || e.isComposing) return;
  const keys = keysOf(e);
  const id = keys && keyBindings.get(keys);
  if (!id) return;
  e.preventDefault();
  keyRuns[id]();
});

// ---- piano roll --------------------------------------------------------------------------------

const rollPane = $('roll');
const canvas = $('roll-canvas');
canvas.title = text('rollTip');
const kRulerHeight = 18;  // the model's ruler and header, in CSS pixels
const kHeaderWidth = 28;
// The window's bank colours, from the theme (themes.css).
const bankColour = (bank) => getComputedStyle(document.documentElement).getPropertyValue(`--bank-${'abcde'[bank]}`).trim();
let drawQueued = false;
let rulerDrag = null;  // {from, to} in x while the ruler is dragged

// The roll follows the document the live check saw, in the settings of Play; the lit notes in the
// text come from it too, so it is kept whether or not the roll shows. The same text in the same
// settings is not compiled again.
let rollInput = null;  // {arith, rate, bytes} of the document the roll holds
const sameBytes = (a, b) => a.length === b.length && a.every((v, i) => v === b[i]);
function rollDocument() {
  let bytes;
  try {
    bytes = engine.encodeDocument(tabTexts(), { lang });
  } catch {
    return;  // a character with no CP932 form: the check says so
  }
  const { arith, rate } = settings();
  if (!rollInput || rollInput.arith !== arith || rollInput.rate !== rate || !sameBytes(rollInput.bytes, bytes)) {
    rollInput = { arith, rate, bytes };
    roll.setDocument(bytes, { arith, rate, lang });
    layerValid = false;
  }
  caretMoved();
}

let rollStepping = false;  // the arrows select a note's MML: the roll keeps its own highlight
function caretMoved() {
  if (rollPane.hidden || rollStepping) return;
  const doc = view.state.doc.toString();
  // A note newly named may scroll the view to it.
  if (roll.setCaret(shownTab, storedOffset(doc, view.state.selection.main.from))) layerValid = false;
  queueDraw();
}

// What the player says is heard now (null: nothing plays).
function hear(songFrame) {
  heard = songFrame;
  queueDraw();
}

function queueDraw() {
  if (drawQueued) return;
  drawQueued = true;
  requestAnimationFrame(() => {
    drawQueued = false;
    if (heard !== null && !rollPane.hidden && roll.follow(heard)) layerValid = false;
    drawRoll();
    showLit();
  });
}

// The notes sounding now, lit in the shown tab.
function showLit() {
  const ranges = heard === null ? []
    : roll.lit(heard, playLoop).filter(([tab]) => tab === shownTab).map(([, from, to]) => [from, to]);
  const key = JSON.stringify(ranges);
  if (key === litKey) return;
  litKey = key;
  view.dispatch({ effects: setLit.of(ranges) });
}

// The still part (ruler, lanes, grid, notes) is drawn into a layer of its own when the song or the
// view changes; each frame copies it and draws what moves over it: the lit notes, the passage, the
// highlighted note and the playheads. A long song fitted in view thus costs once, not 50 times a second.
const layer = document.createElement('canvas');
let layerValid = false;
const invalidateRoll = () => { layerValid = false; queueDraw(); };

function drawLayer(g, width, height) {
  const scene = roll.scene(-1, false, true);
  const css = getComputedStyle(document.documentElement);
  const colour = (name) => css.getPropertyValue(name).trim();
  g.fillStyle = colour('--bg');
  g.fillRect(0, 0, width, height);
  g.fillStyle = colour('--panel');
  g.fillRect(0, 0, width, kRulerHeight);
  g.font = '10px system-ui, sans-serif';
  // The seconds ruler; a stale song's notice takes its right end.
  const notice = scene.stale ? text('rollStale') : '';
  const noticeLeft = notice ? width - 14 - g.measureText(notice).width : width;
  for (const [x, label] of scene.ticks) {
    if (x >= noticeLeft) break;
    g.fillStyle = colour('--line');
    g.fillRect(x, kRulerHeight - 5, 1, 5);
    if (x + 3 + g.measureText(label).width < noticeLeft) {
      g.fillStyle = colour('--fg');
      g.fillText(label, x + 3, kRulerHeight - 5);
    }
  }
  if (notice) {
    g.fillStyle = colour('--comment');
    g.fillText(notice, noticeLeft + 6, kRulerHeight - 5);
  }
  const audible = audibleMask();
  scene.lanes.forEach((lane, bank) => {
    const [, ly, lw, lh] = lane.rect;
    g.save();
    g.beginPath();
    g.rect(kHeaderWidth, ly, lw, lh);
    g.clip();
    if (bank % 2) {
      g.fillStyle = colour('--panel');
      g.globalAlpha = 0.5;
      g.fillRect(kHeaderWidth, ly, lw, lh);
      g.globalAlpha = 1;
    }
    g.fillStyle = colour('--line');
    for (const y of lane.octaves) { g.globalAlpha = 0.35; g.fillRect(kHeaderWidth, y, width, 1); }
    for (const [x, bar] of lane.grid) {
      g.globalAlpha = bar ? 0.9 : 0.35;
      g.fillStyle = colour('--line');
      g.fillRect(x, ly, 1, lh);
      if (bar && lh > 24) { g.globalAlpha = 1; g.fillStyle = colour('--comment'); g.fillText(String(bar), x + 2, ly + 10); }
    }
    // A bank muted or left out by a solo is drawn faint, as in the window.
    const bankHeard = (audible >> bank) & 1;
    g.globalAlpha = scene.stale || !bankHeard ? 0.35 : 1;
    g.fillStyle = bankHeard ? bankColour(bank) : colour('--comment');
    for (const [x, y, w, h, slurred] of lane.notes) g.fillRect(...noteBox([x, y, w, h], slurred));
    g.restore();
    g.fillStyle = colour('--panel');
    g.fillRect(0, ly, kHeaderWidth, lh);
    g.fillStyle = bankColour(bank);
    g.font = 'bold 11px system-ui, sans-serif';
    g.textAlign = 'center';
    g.fillText('ABCDE'[bank], kHeaderWidth / 2, ly + lh / 2 + 4);
    g.textAlign = 'start';
    g.font = '10px system-ui, sans-serif';
    g.fillStyle = colour('--line');
    g.fillRect(0, ly + lh - 1, width, 1);
  });
  g.fillStyle = colour('--line');
  g.fillRect(kHeaderWidth - 1, 0, 1, height);
  if (scene.empty && !scene.stale) {
    g.fillStyle = colour('--comment');
    g.textAlign = 'center';
    g.fillText(text('noNotes'), kHeaderWidth + (width - kHeaderWidth) / 2, kRulerHeight + (height - kRulerHeight) / 2);
    g.textAlign = 'start';
  }
}

// A note's box as drawn: a new attack leaves a pixel free before it.
const noteBox = ([x, y, w, h], slurred) => [x, y, slurred || w < 3 ? Math.max(1, w) : w - 1, Math.max(2, h - 1)];

function drawRoll() {
  if (rollPane.hidden) return;
  const width = canvas.clientWidth, height = canvas.clientHeight;
  const ratio = devicePixelRatio || 1;
  if (canvas.width !== Math.round(width * ratio) || canvas.height !== Math.round(height * ratio)) {
    canvas.width = layer.width = Math.round(width * ratio);
    canvas.height = layer.height = Math.round(height * ratio);
    roll.resize(width, height);
    layerValid = false;
  }
  if (!layerValid) {
    const lg = layer.getContext('2d');
    lg.setTransform(ratio, 0, 0, ratio, 0, 0);
    drawLayer(lg, width, height);
    layerValid = true;
  }
  const g = canvas.getContext('2d');
  g.setTransform(1, 0, 0, 1, 0, 0);
  g.drawImage(layer, 0, 0);
  g.setTransform(ratio, 0, 0, ratio, 0, 0);
  const scene = roll.scene(heard ?? -1, playLoop, false);
  const css = getComputedStyle(document.documentElement);
  const colour = (name) => css.getPropertyValue(name).trim();
  const audible = audibleMask();
  // The notes heard now: brighter, with a ring, in heard banks only.
  scene.lanes.forEach((lane, bank) => {
    if (!lane.lit || !((audible >> bank) & 1)) return;
    const [, ly, lw, lh] = lane.rect;
    g.save();
    g.beginPath();
    g.rect(kHeaderWidth, ly, lw, lh);
    g.clip();
    const [x, y, w, h] = noteBox(lane.lit, lane.lit[4]);
    g.fillStyle = '#fff';
    g.fillRect(x, y, w, h);
    g.globalAlpha = scene.stale ? 0.3 : 0.55;
    g.fillStyle = bankColour(bank);
    g.fillRect(x, y, w, h);
    g.globalAlpha = 1;
    g.strokeStyle = bankColour(bank);
    g.lineWidth = 1;
    g.strokeRect(x - 0.5, y - 0.5, w + 1, h + 1);
    g.restore();
  });
  // The looping passage over the ruler and every lane, and a ruler drag in progress.
  const shade = (x, w) => {
    g.fillStyle = colour('--note');
    g.globalAlpha = 0.18;
    g.fillRect(x, 0, w, height);
    g.globalAlpha = 1;
    g.fillRect(x, 0, 1, height);
    g.fillRect(x + w, 0, 1, height);
  };
  if (scene.passage) shade(scene.passage[0], scene.passage[2]);
  if (rulerDrag) shade(Math.min(rulerDrag.from, rulerDrag.to), Math.abs(rulerDrag.to - rulerDrag.from));
  g.save();
  g.beginPath();
  g.rect(kHeaderWidth, kRulerHeight, width - kHeaderWidth, height - kRulerHeight);
  g.clip();
  if (scene.highlight) {
    const [x, y, w, h, rest] = scene.highlight;
    g.strokeStyle = colour('--note');
    g.lineWidth = 2;
    g.setLineDash(rest ? [4, 3] : []);
    g.strokeRect(x - 1, y - 1, Math.max(2, w) + 2, Math.max(2, h) + 2);
    g.setLineDash([]);
  }
  g.restore();
  // The playhead: over the ruler where the song stands, in each lane its bank's own place.
  g.fillStyle = colour('--fg');
  if (scene.playhead !== undefined) g.fillRect(scene.playhead - 1, 0, 2, kRulerHeight);
  for (const lane of scene.lanes) if (lane.playhead !== undefined) g.fillRect(lane.playhead - 1, lane.rect[1], 2, lane.rect[3]);
}

const canvasPoint = (e) => { const r = canvas.getBoundingClientRect(); return [e.clientX - r.left, e.clientY - r.top]; };
// A click on a note selects its MML, in its tab.
function selectNoteAt(x, y) {
  const sel = roll.selectionAt(x, y);
  if (!sel) return false;
  if (sel.tab !== shownTab) showTab(sel.tab);
  view.dispatch({ selection: { anchor: sel.start, head: sel.end }, scrollIntoView: true });
  view.focus();
  return true;
}
// The arrows walk the notes while the roll has the keys: each note's MML selected as a click
// selects it, the keys staying with the roll; Shift+← → stretch the selection for Ctrl+L.
canvas.tabIndex = 0;
canvas.addEventListener('keydown', (e) => {
  const how = { ArrowLeft: 'previous', ArrowRight: 'next', ArrowUp: 'above', ArrowDown: 'below' }[e.key];
  if (!how || e.ctrlKey || e.altKey || e.metaKey || (e.shiftKey && (how === 'above' || how === 'below'))) return;
  e.preventDefault();
  const sel = roll.step(how, e.shiftKey);
  if (!sel) return;
  rollStepping = true;
  try {
    if (sel.tab !== shownTab) showTab(sel.tab);
    view.dispatch({ selection: { anchor: sel.start, head: sel.end }, scrollIntoView: true });
  } finally {
    rollStepping = false;
  }
  canvas.focus();
  invalidateRoll();
});
// Fingers on the plot (a tablet has no wheel): one pans, two pinch to zoom, a tap selects as a click.
const touches = new Map();  // pointerId -> [x, y]
let tap = null;
canvas.addEventListener('pointerdown', (e) => {
  if (e.button !== 0) return;
  const [x, y] = canvasPoint(e);
  if (y < kRulerHeight && x >= kHeaderWidth) {
    // A drag across the ruler loops that stretch, as the window's ruler does.
    rulerDrag = { from: x, to: x };
    canvas.setPointerCapture(e.pointerId);
    return;
  }
  if (e.pointerType === 'touch') {
    touches.set(e.pointerId, [x, y]);
    canvas.setPointerCapture(e.pointerId);
    tap = touches.size === 1 ? [x, y] : null;
    return;
  }
  if (selectNoteAt(x, y)) e.preventDefault();
});
canvas.addEventListener('pointermove', (e) => {
  const p = canvasPoint(e);
  if (rulerDrag) {
    rulerDrag.to = p[0];
    queueDraw();
    return;
  }
  const before = touches.get(e.pointerId);
  if (!before) return;
  touches.set(e.pointerId, p);
  if (tap && Math.hypot(p[0] - tap[0], p[1] - tap[1]) > 6) tap = null;
  if (touches.size === 1) {
    roll.scrollBy(before[0] - p[0]);
  } else if (touches.size === 2) {
    const [other] = [...touches].filter(([id]) => id !== e.pointerId).map(([, q]) => q);
    const was = Math.abs(before[0] - other[0]), now = Math.abs(p[0] - other[0]);
    if (was > 10 && now > 10) roll.zoomAt((p[0] + other[0]) / 2, now / was);
  }
  invalidateRoll();
});
const pointerEnds = (e) => {
  if (touches.delete(e.pointerId)) {
    if (tap && touches.size === 0 && e.type === 'pointerup') selectNoteAt(...tap);
    if (touches.size === 0) tap = null;
    return;
  }
  if (!rulerDrag) return;
  const { from } = rulerDrag;
  const to = canvasPoint(e)[0];
  rulerDrag = null;
  queueDraw();
  if (e.type !== 'pointerup' || Math.abs(to - from) < 3) return;
  play({ tab: shownTab, frames: [roll.frameAtX(from), roll.frameAtX(to)] });
};
canvas.addEventListener('pointerup', pointerEnds);
canvas.addEventListener('pointercancel', pointerEnds);
canvas.addEventListener('wheel', (e) => {
  e.preventDefault();
  const [x] = canvasPoint(e);
  if (e.ctrlKey) roll.zoomAt(x, e.deltaY < 0 ? 1.25 : 0.8);
  else roll.scrollBy(e.deltaX || e.deltaY);
  invalidateRoll();
}, { passive: false });
canvas.addEventListener('dblclick', () => { roll.fitSong(); invalidateRoll(); });
new ResizeObserver(() => queueDraw()).observe(canvas);
matchMedia('(prefers-color-scheme: dark)').addEventListener('change', invalidateRoll);

// "ピアノロール" shows and hides the roll; the choice is kept for the next visit.
function showRoll(shown) {
  rollPane.hidden = !shown;
  $('roll-toggle').setAttribute('aria-pressed', String(shown));
  try { localStorage.setItem('tavolin-roll', shown ? 'shown' : 'hidden'); } catch { /* private mode */ }
  if (shown) rollDocument();
}
$('roll-toggle').onclick = () => showRoll(rollPane.hidden);
let rollChoice = null;
try { rollChoice = localStorage.getItem('tavolin-roll'); } catch { /* private mode */ }
showRoll(rollChoice !== 'hidden');

// ---- tone and envelope helpers --------------------------------------------------------------------

// The window's helpers: the tone definition's state and both commands come from the engine.
const helper = engine.helperTexts({ lang });
const tone = engine.toneHelper({ lang });
helper.waves.forEach((w, i) => $('wave').append(new Option(w, String(i))));
for (let n = 0; n <= helper.toneNumberMax; ++n) $('tone-number').append(new Option(String(n), String(n)));
for (let n = 1; n <= 99; ++n) $('duty-values').append(new Option(String(n)));

function insertAtCaret(command) {
  view.dispatch(view.state.replaceSelection(command.toUpperCase()));
  view.focus();
}
function refreshDutyList() {
  $('duty-list').replaceChildren(...tone.lines.map((line) => new Option(line)));
}
// The tone command of the helper's fields: {text, messages} (what the window's boxes would say).
const toneCommand = () => tone.command(Number($('tone-number').value), $('level-noise').value);
$('wave').onchange = () => tone.setWaveType($('wave').selectedIndex);
$('duty-add').onclick = () => {
  const refused = tone.addDuty($('duty').value, $('wave').selectedIndex);
  if (refused) say(refused);
  refreshDutyList();
};
$('duty-del').onclick = () => {
  tone.deleteDuty($('duty-list').selectedIndex);
  refreshDutyList();
};
$('freq-noise').oninput = () => tone.setFreqNoise($('freq-noise').value);
$('switch-ms').oninput = () => tone.setSwitch($('switch-ms').value);
$('tone-insert').onclick = () => {
  const command = toneCommand();
  if (command.messages.length) say(command.messages.join('\n'));
  if (command.text) insertAtCaret(command.text);  // a refused command leaves the text alone
};

// Test: the test phrase with the tone being defined, in bank A with the common text, as the window's Test.
let testAudio = null;
$('test').onclick = async () => {
  const bytes = storedDocument();
  if (!bytes) return;
  const { arith, rate } = settings();
  const command = toneCommand();
  let wav;
  try {
    wav = engine.testPhrase(bytes, { arith, rate, lang, toneCommand: command.text, phrase: $('test-phrase').value });
  } catch (e) {
    say([...command.messages, e.error?.message ?? String(e.message ?? e)].join('\n'));
    return;
  }
  if (command.messages.length) say(command.messages.join('\n'));
  await playPhrase(wav, rate);
};

// Plays a phrase's WAV (Test's, a reference example's) once, in place of whatever played.
async function playPhrase(wav, rate) {
  stop();
  try {
    testAudio?.source.stop();
    const context = testAudio?.context.sampleRate === rate ? testAudio.context : new AudioContext({ sampleRate: rate });
    if (testAudio && testAudio.context !== context) testAudio.context.close();
    await context.resume();
    const source = new AudioBufferSourceNode(context, { buffer: await context.decodeAudioData(wav.buffer) });
    source.connect(context.destination);
    source.start();
    testAudio = { context, source };
  } catch (e) {
    say(text('audioFailed') + ` (${e.message ?? e})`);
  }
}

// "MMLリファレンス": every command in its group, with an example that plays alone (in bank A of an
// empty document, as the window's reference plays it) or goes in at the caret.
const referenceDocument = engine.encodeDocument(['', '', '', '', '', ''], { lang });
for (const [i, e] of engine.reference({ lang }).entries()) {
  const list = $('reference-list');
  if (list.lastGroup !== e.group) {
    list.lastGroup = e.group;
    const h = document.createElement('h3');
    h.textContent = e.group;
    list.append(h, document.createElement('table'));
  }
  const row = list.lastElementChild.insertRow();
  row.dataset.entry = i;
  const code = (t) => { const c = document.createElement('code'); c.textContent = t; return c; };
  row.insertCell().append(code(e.syntax));
  row.insertCell().textContent = e.what;
  row.insertCell().append(code(e.example));
  const buttons = row.insertCell();
  buttons.className = 'buttons';
  const play = document.createElement('button');
  play.textContent = '▶';
  play.className = 'reference-play';
  play.ariaLabel = play.title = text('playExample');
  play.onclick = () => {
    const { arith, rate } = settings();
    try {
      playPhrase(engine.testPhrase(referenceDocument, { arith, rate, lang, toneCommand: '', phrase: e.example }), rate);
    } catch (err) {
      say(err.error?.message ?? String(err.message ?? err));
    }
  };
  const insert = document.createElement('button');
  insert.textContent = text('insertShort');
  insert.title = text('insertExample');
  insert.className = 'reference-insert';
  insert.onclick = () => insertAtCaret(e.example);
  buttons.append(play, insert);
}
$('reference-open').onclick = () => {
  if ($('reference').open) { $('reference').close(); return; }
  $('reference').show();
  raise($('reference'));
};

const envelopeFields = ['env-attack-time', 'env-decay-time', 'env-release-time', 'env-attack-level', 'env-sustain-level'];
const applyTemplate = (t) => envelopeFields.forEach((id, i) => { $(id).value = t.fields[i]; });
for (const t of helper.templates) {
  const b = document.createElement('button');
  b.textContent = t.caption;
  b.onclick = () => applyTemplate(t);
  $('env-templates').append(b);
}
applyTemplate(helper.templates[0]);
$('env-insert').onclick = () => {
  const c = engine.envelopeCommand([...envelopeFields, 'env-number'].map((id) => $(id).value), { lang });
  if (c.message) say(c.message);
  else insertAtCaret(c.text);
};
// The helpers stay open beside the text, as the window's panels do; the second one opened stands
// to the left of the first, or above it where the screen is too narrow for both side by side.
// The panel opened last stands above the others where they overlap.
let topPanel = 1;
const raise = (dialog) => { dialog.style.zIndex = String(++topPanel); };
function toggleHelper(dialog, other) {
  if (dialog.open) { dialog.close(); return; }
  dialog.style.right = dialog.style.bottom = '';
  dialog.show();
  raise(dialog);
  if (!other.open) return;
  if (other.offsetWidth + dialog.offsetWidth + 36 <= innerWidth) dialog.style.right = `${other.offsetWidth + 24}px`;
  else dialog.style.bottom = `${other.offsetHeight + 52}px`;
}
$('tone-open').onclick = () => toggleHelper($('tone'), $('envelope'));
$('envelope-open').onclick = () => toggleHelper($('envelope'), $('tone'));

// ---- files --------------------------------------------------------------------------------------

function download(bytes, name, type) {
  const a = document.createElement('a');
  a.href = URL.createObjectURL(new Blob([bytes], { type }));
  a.download = name;
  a.click();
  setTimeout(() => URL.revokeObjectURL(a.href), 10000);
}

const baseName = () => (fileName ?? 'untitled.mml').replace(/\.(mml|txt)$/i, '');

// "Wav出力" opens the window's export dialog (file type, loop count, fade-out, one file per bank, loop points);
// OK writes through the engine as the window does and downloads each file. The dialog keeps the
// last choice for the next export, as the window does.
$('export-per-bank-label').title = text('exportPerBankTip');
$('export-loop-points-label').title = text('exportLoopPointsTip');
// Loop points write the intro and one loop: the loop count, the fade and stems do not apply, as in the window.
const followLoopPoints = () => {
  const loop = $('export-loop-points').checked;
  for (const id of ['export-loops', 'export-fade', 'export-per-bank']) $(id).disabled = loop;
  $('export-loop-points').disabled = $('export-per-bank').checked;
};
$('export-loop-points').onchange = followLoopPoints;
$('export-per-bank').onchange = followLoopPoints;
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
      loopPoints: $('export-loop-points').checked,
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
  replaceTabs(tabs);
  return true;
}

// The six tabs replaced by `tabs`, bank A shown, nothing changed since.
function replaceTabs(tabs) {
  stop();
  for (let i = 0; i < 6; ++i) states[i] = makeState(tabs[i].replace(/[a-z]+/g, (s) => s.toUpperCase()));
  shownTab = -1;
  showTab(1);
  modified = false;
  scheduleCheck();
  storeSoon();
}

// "New": six empty tabs, after asking when the text holds unsaved changes.
$('new').onclick = () => {
  if (modified && !confirm(text('discardNew'))) return;
  replaceTabs(['', '', '', '', '', '']);
  fileName = null;
};

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

// File → "サンプル曲", as in the window: an example song opens as an untitled copy.
for (const song of engine.examples({ lang })) {
  const b = document.createElement('button');
  b.textContent = song.title;
  b.title = song.about;
  b.dataset.example = song.file;
  b.onclick = () => openExample(song.file);
  $('example-items').append(b);
}
// An example song as an untitled copy; false (after saying why) when it cannot be had.
async function openExample(file) {
  let bytes;
  try {
    const response = await fetch(new URL(`./examples/${file}`, import.meta.url));
    if (!response.ok) throw new Error(`${response.status} ${response.statusText}`);
    bytes = new Uint8Array(await response.arrayBuffer());
  } catch (e) {
    say(text('exampleMissing', { file, reason: e.message ?? e }));
    return false;
  }
  if (!loadDocument(bytes, file, text('damaged', { file }))) return false;
  fileName = null;
  return true;
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
// A .mml or .mid file handed over by name: dropped on the page, or opened with the installed page
// from the system's file manager.
async function openGivenFile(f) {
  const bytes = new Uint8Array(await f.arrayBuffer());
  if (/\.midi?$/i.test(f.name)) importMidiFile(bytes, f.name);
  else if (loadDocument(bytes, f.name, text('damaged', { file: f.name }))) fileName = f.name;
}
addEventListener('drop', async (e) => {
  const f = e.dataTransfer?.files[0];
  if (!f) return;
  e.preventDefault();
  await openGivenFile(f);
});
globalThis.launchQueue?.setConsumer(async ({ files }) => {
  if (files?.length) await openGivenFile(await files[0].getFile());
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
    return true;
  }
  return false;
}

// ---- kept between visits ------------------------------------------------------------------------

// The page has no disk of its own: the document lives in this browser, kept a moment after each
// change and when the page goes away, and a visit opens it where it was left.
const kStoreKey = 'tavolin-document';
let storeTimer = 0;
function storeNow() {
  clearTimeout(storeTimer);
  storeTimer = 0;
  try {
    localStorage.setItem(kStoreKey, JSON.stringify({ tabs: tabTexts(), name: fileName, modified }));
  } catch { /* private mode, or the browser's storage full: the page works on without it */ }
}
function storeSoon() { if (!storeTimer) storeTimer = setTimeout(storeNow, 300); }
addEventListener('pagehide', storeNow);
function restoreStored() {
  let stored = null;
  try { stored = JSON.parse(localStorage.getItem(kStoreKey)); } catch { /* none, or not ours */ }
  if (!Array.isArray(stored?.tabs) || stored.tabs.length !== 6 || !stored.tabs.every((t) => typeof t === 'string')) return false;
  replaceTabs(stored.tabs);
  fileName = typeof stored.name === 'string' ? stored.name : null;
  modified = stored.modified === true;
  return true;
}

// The window's first steps, shown on every visit until closed (then only from the File menu).
const kFirstStepsKey = 'tavolin-first-steps';
const steps = engine.firstSteps({ lang });
$('first-steps-title').textContent = $('first-steps-open').textContent = steps.title;
for (const step of steps.steps) {
  const li = document.createElement('li');
  const title = document.createElement('b');
  title.textContent = step.title;
  li.append(title, step.how);
  $('first-steps-list').append(li);
}
$('first-steps-more').textContent = steps.more;
function showFirstSteps() {
  if ($('first-steps').open) return;
  $('first-steps').show();
  raise($('first-steps'));
}
$('first-steps-open').onclick = showFirstSteps;
$('first-steps').onclose = () => {
  try { localStorage.setItem(kFirstStepsKey, 'closed'); } catch { /* private mode */ }
};
let firstStepsClosed = false;
try { firstStepsClosed = localStorage.getItem(kFirstStepsKey) === 'closed'; } catch { /* private mode */ }

// File → "キー設定": every command of the page with its key; a field takes the next key pressed
// in it, "キーなし" takes the key away, "既定に戻す" brings back every key out of the box.
function showKeyTable(message = '') {
  const table = $('keys-table');
  table.replaceChildren();
  for (const c of engine.keyCommands(savedKeys, { lang })) {
    const row = table.insertRow();
    row.dataset.command = c.id;
    const name = row.insertCell();
    name.textContent = c.caption;
    name.id = `key-name-${c.id}`;
    const field = document.createElement('input');
    field.readOnly = true;
    field.value = c.keys;
    field.setAttribute('aria-labelledby', name.id);
    field.onkeydown = (e) => {
      if (e.key === 'Tab' || e.key === 'Escape') return;
      e.preventDefault();
      e.stopPropagation();
      const keys = keysOf(e);
      if (keys) setKey(c.id, keys);
    };
    const clear = document.createElement('button');
    clear.textContent = text('noKey');
    clear.onclick = () => setKey(c.id, '');
    row.insertCell().append(field);
    row.insertCell().append(clear);
  }
  $('keys-message').textContent = message;
}
function setKey(id, keys) {
  const result = engine.keySet(savedKeys, id, keys, { lang });
  if (result.refused) {
    showKeyTable(result.refused);
  } else {
    savedKeys = result.saved;
    try { localStorage.setItem(kKeysKey, savedKeys); } catch { /* private mode */ }
    bindKeys();
    showKeyTable();
  }
  $('keys-table').querySelector(`tr[data-command="${id}"] input`)?.focus();
}
$('keys-open').onclick = () => {
  showKeyTable();
  $('keys-dialog').showModal();
};
$('keys-reset').onclick = () => {
  savedKeys = '';
  try { localStorage.removeItem(kKeysKey); } catch { /* private mode */ }
  bindKeys();
  showKeyTable();
};

addEventListener('hashchange', openShared);
// A visit opens what was left here; a share link opens over it (asking first when it held unsaved
// changes); the first visit of all opens on the demo, Play(F5) lit until it plays.
const restored = restoreStored();
const linked = await openShared();
if (!restored && !linked && await openExample('demo.mml')) {
  $('play').classList.add('hint');  // until it first plays
}
if (!linked && !firstStepsClosed) showFirstSteps();
scheduleCheck();
// Offline once loaded: a service worker keeps the page's files (where the browser allows one).
navigator.serviceWorker?.register('sw.js').catch(() => {});
performance.mark('tavolin-ready');
document.body.dataset.ready = 'true';

// SPDX-License-Identifier: MIT
// The page in headless Chromium: live check with underline and status, colours, the worklet's
// samples against the CLI's render, the exported WAVs against the CLI's files, share links (good,
// damaged, too large), damaged and too large files, the About box and its links, the piano roll
// (clicks, ruler drag), the tone and envelope helpers and the Test phrase, the manifest, working
// offline, and no console error.
// Usage: node tests/web/page.mjs CLI   (run from the checkout; scripts/web must have built the page)
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, readdirSync, writeFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { deflateRawSync, inflateRawSync } from 'node:zlib';
import { launch, serve, renderOffline, tenMinuteSong } from './browser.mjs';

const cli = resolve(process.argv[2] ?? 'build/release/app/tavolin-cli');
const tmp = mkdtempSync(join(tmpdir(), 'tavolin-web-'));
const failures = [];
const started = Date.now();
const step = (what) => process.env.VERBOSE && console.error(`${Date.now() - started} ms: ${what}`);
const expect = (what, seen, wanted) => {
  if (JSON.stringify(seen) !== JSON.stringify(wanted)) failures.push(`${what}:\n  seen   ${JSON.stringify(seen)}\n  wanted ${JSON.stringify(wanted)}`);
};

// A short song using every bank, an envelope, a loop, a tuplet and a slur, so that the comparison
// covers the engine's paths; it ends by itself after about two seconds. Bank A's second line starts
// with a comment holding あ (two bytes in CP932), so the caret's byte offset is put to the test.
const song = Buffer.from(
  'SMML@T150 @ED1:4:60:40:255:120\r\n;MML@@E1 O5 L16 [CEG>C<]2\r\n*\x82\xa0*CDE {CDE} F8&G8,' +
  '@W1:1:50 @1 O3 L8 C G C G,@W2:4:0 @2 V120 L16 [C R]4,O4 P40 E4 G4,*BANK E* O6 V60 C32 D32;', 'latin1');
writeFileSync(join(tmp, 'song.mml'), song);
const shareLink = '#song=' + deflateRawSync(song).toString('base64url');

const { url, server } = await serve('scripts/web', ['--serve', '0']);
const browser = await launch(['--autoplay-policy=no-user-gesture-required', '--mute-audio']);
try {
  const page = await browser.newPage();
  await page.setViewport({ width: 1280, height: 800 });
  const consoleErrors = [];
  page.on('console', (m) => { if (m.type() === 'error') consoleErrors.push(m.text()); });
  page.on('pageerror', (e) => consoleErrors.push(String(e)));
  page.on('dialog', (d) => d.accept());
  await page.evaluateOnNewDocument(() => Object.defineProperty(navigator, 'language', { get: () => 'ja-JP' }));
  // What the Test phrase starts: the samples of every buffer the page plays (channel 0).
  await page.evaluateOnNewDocument(() => {
    globalThis.startedBuffers = [];
    const start = AudioBufferSourceNode.prototype.start;
    AudioBufferSourceNode.prototype.start = function (...args) {
      startedBuffers.push({ rate: this.buffer.sampleRate, samples: [...this.buffer.getChannelData(0)].map((v) => Math.round(v * 32768)) });
      return start.apply(this, args);
    };
  });
  const cdp = await page.createCDPSession();
  await cdp.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: tmp });

  step('load');
  await page.goto(url);
  await page.waitForSelector('body[data-ready]');
  // The page marks the body while a check is due or running; the result shown is the latest edit's.
  const checkedAfter = async (action) => {
    await action();
    await page.waitForFunction(() => !document.body.dataset.checking);
  };
  const shown = () => page.evaluate(() => ({
    status: document.getElementById('status').textContent,
    underline: [...document.querySelectorAll('.mml-error')].map((e) => e.textContent).join(''),
    errorTabs: [...document.querySelectorAll('.has-error')].map((e) => e.textContent),
  }));

  step('first visit');
  // The first visit of all opens on the demo with Play(F5) lit and the five first steps shown;
  // closing them is for good, and File → New starts from six empty tabs.
  const firstVisit = () => page.evaluate(() => ({
    bankA: document.querySelector('.cm-content').innerText.split('\n')[0],
    hint: document.getElementById('play').classList.contains('hint'),
    steps: document.getElementById('first-steps').open ? document.querySelectorAll('#first-steps li').length : 0,
  }));
  expect('first visit', await firstVisit(), { bankA: '*A: LEAD WITH DELAYED VIBRATO*', hint: true, steps: 5 });
  await page.click('#first-steps form button');
  await page.click('#file-menu summary');
  await page.click('#new');
  expect('New empties the text', await page.$eval('.cm-content', (e) => e.textContent), '');

  // axe-core over the page as it opens, in each colour scheme and theme: no serious or critical finding.
  const axeFindings = async (what) => {
    if (!(await page.evaluate(() => 'axe' in globalThis))) await page.addScriptTag({ path: 'web/node_modules/axe-core/axe.min.js' });
    const found = await page.evaluate(async () => (await axe.run(document)).violations.map((v) => ({
      id: v.id, impact: v.impact, nodes: v.nodes.map((n) => n.target.join(' ')).slice(0, 5) })));
    console.log(`axe, ${what}: ${found.length} finding(s)${found.map((f) => ` ${f.id} (${f.impact}${f.impact === 'serious' || f.impact === 'critical' ? ': ' + f.nodes.join('; ') : ''})`).join(',')}`);
    expect(`axe, ${what}: serious or critical findings`, found.filter((f) => f.impact === 'serious' || f.impact === 'critical'), []);
  };
  step('axe');
  for (const scheme of ['light', 'dark']) {
    await page.emulateMediaFeatures([{ name: 'prefers-color-scheme', value: scheme }]);
    await axeFindings(`${scheme} scheme`);
  }
  await page.emulateMediaFeatures([]);
  // A chosen theme overrides the scheme, with the window's palette; the editor's text zooms. Both
  // are kept for the next visit.
  const looks = () => page.evaluate(() => ({
    theme: document.documentElement.dataset.theme ?? '',
    bg: getComputedStyle(document.documentElement).getPropertyValue('--bg').trim(),
    size: getComputedStyle(document.querySelector('.cm-scroller')).fontSize,
    stored: [localStorage.getItem('tavolin-theme'), localStorage.getItem('tavolin-editor-zoom')],
  }));
  await page.select('#theme', 'high-contrast');
  await axeFindings('high-contrast theme');
  await page.click('.cm-content');
  for (const key of ['Equal', 'Equal', 'Equal', 'Minus']) {
    await page.keyboard.down('Control');
    await page.keyboard.press(key);
    await page.keyboard.up('Control');
  }
  expect('theme and zoom', await looks(), { theme: 'high-contrast', bg: '#000000', size: '16.8px', stored: ['high-contrast', '120'] });
  await page.reload();
  await page.waitForSelector('body[data-ready]');
  expect('theme and zoom kept', await looks(), { theme: 'high-contrast', bg: '#000000', size: '16.8px', stored: ['high-contrast', '120'] });
  await page.select('#theme', '');
  await page.click('.cm-content');
  await page.keyboard.down('Control');
  await page.keyboard.press('Digit0');
  await page.keyboard.up('Control');
  expect('theme and zoom back', await looks(), { theme: '', bg: '#ffffff', size: '14px', stored: [null, null] });
  // F8 speaks the caret's note into the live region, in the window's words.
  await page.click('#tab-1');
  await page.click('.cm-content');
  await checkedAfter(() => page.keyboard.type('l8 cdef g+4.', { delay: 5 }));
  await page.keyboard.press('ArrowLeft');
  await page.keyboard.press('ArrowLeft');
  await page.keyboard.press('ArrowLeft');
  await page.keyboard.press('F8');
  expect('F8 spoken', await page.$eval('#speech', (e) => [e.textContent, e.getAttribute('aria-live')]),
    ['A, 小節 1 拍 3, ソ♯ 付点4分音符, オクターブ 4', 'assertive']);
  await page.keyboard.down('Shift');
  await page.keyboard.press('F8');
  await page.keyboard.up('Shift');
  expect('Shift+F8 spoken while nothing plays', await page.$eval('#speech', (e) => e.textContent), '再生していません');
  await page.keyboard.down('Control');
  await page.keyboard.press('KeyA');
  await page.keyboard.up('Control');
  await checkedAfter(() => page.keyboard.press('Backspace'));

  step('type an error');
  // Bank B: a loop end on line 2 that was never started, typed in lower case.
  await page.click('#tab-2');
  await page.click('.cm-content');
  await checkedAfter(() => page.keyboard.type('c d\ne ] f', { delay: 5 }));
  expect('error shown', await shown(), { status: 'B 2:3 ループ開始していないのにループ終了が来た', underline: ']', errorTabs: ['B'] });
  expect('typed letters upper-cased', await page.$eval('.cm-content', (e) => e.innerText), 'C D\nE ] F');
  expect('note colour', await page.$$eval('.mml-note', (es) => es.map((e) => [e.textContent, getComputedStyle(e).color])),
    ['C', 'D', 'E', 'F'].map((n) => [n, 'rgb(29, 79, 145)']));
  await checkedAfter(async () => {
    await page.keyboard.press('ArrowLeft'); await page.keyboard.press('ArrowLeft');
    await page.keyboard.press('Backspace');
  });
  expect('error fixed', await shown(), { status: '', underline: '', errorTabs: [] });

  step('bad input');
  // Bad input of every kind: a clear message, and the text typed so far stays.
  const bigLink = '#song=' + deflateRawSync(Buffer.alloc(2 * 1024 * 1024 + 1, 32)).toString('base64url');
  const badInputs = [
    ['damaged share link', { hash: '#song=AAAA!' }, /^共有リンクが壊れているため/],
    ['share link over 2 MiB', { hash: bigLink }, /^共有リンクが壊れているため/],
    ['file with a NUL byte', { file: 'SMML@T120;\0MML@C,D;', name: 'damaged.mml' }, /^「damaged\.mml」はドキュメントとして読めない.*\n1\d バイト目に NUL バイト/s],
    ['file over 2 MiB', { file: ' '.repeat(2 * 1024 * 1024 + 1), name: 'big.mml' }, /^「big\.mml」は大きすぎるため開けません（2\.0 MB/],
  ];
  for (const [what, input, message] of badInputs) {
    await page.evaluate(({ hash, file, name }) => {
      document.getElementById('message').textContent = '';
      if (hash) { location.hash = hash; return; }
      const dt = new DataTransfer();
      dt.items.add(new File([file], name));
      const el = document.getElementById('file');
      el.files = dt.files;
      el.dispatchEvent(new Event('change'));
    }, input);
    await page.waitForFunction(() => document.getElementById('message').textContent !== '');
    const [said, kept] = await page.evaluate(() => [document.getElementById('message').textContent, document.querySelector('.cm-content').innerText]);
    expect(`${what}: message`, message.test(said) ? 'as wanted' : said, 'as wanted');
    expect(`${what}: text kept`, kept, 'C D\nE  F');
  }

  step('kept between visits');
  // The next visit opens the text where it was left, without the first steps closed for good.
  await page.goto(url);
  await page.waitForSelector('body[data-ready]');
  const next = await firstVisit();
  expect('next visit: no hint, no first steps', [next.hint, next.steps], [false, 0]);
  await page.click('#tab-2');
  expect('next visit: bank B as left', await page.$eval('.cm-content', (e) => e.innerText), 'C D\nE  F');

  step('share link');
  // A share link (packed here by zlib, apart from the page's own packing) opens the song ready to
  // play; its WAV exports are the CLI's files byte for byte; Play starts the worklet.
  // A page of its own, not a jump within the last one: the link opens with the load, over the text
  // kept from before (its question answered), before the page says it is ready.
  await page.goto('about:blank');
  await page.goto(url + shareLink);
  await page.waitForSelector('body[data-ready]');
  await page.waitForFunction(() => document.querySelector('.cm-content').innerText.startsWith('@E1 O5'), { timeout: 5000 }).catch(() => {});
  await page.waitForFunction(() => !document.body.dataset.checking);
  expect('shared song in bank A', await page.$eval('.cm-content', (e) => e.innerText), '@E1 O5 L16 [CEG>C<]2\n*あ*CDE {CDE} F8&G8');
  // Save writes the document as the window does (text mode: each CR LF of a tab is written CR CR
  // LF); the page's own share link carries exactly those bytes.
  const download = async (selector, name) => {
    rmSync(join(tmp, name), { force: true });
    await page.click('#file-menu summary');
    await page.click(selector);
    for (let i = 0; i < 100 && !readdirSync(tmp).includes(name); ++i) await new Promise((ok) => setTimeout(ok, 50));
    return readdirSync(tmp).includes(name) ? readFileSync(join(tmp, name)) : null;
  };
  const saved = await download('#save', 'untitled.mml');
  writeFileSync(join(tmp, 'saved.mml'), saved ?? '');
  await page.evaluate(() => { document.getElementById('message').textContent = ''; });
  await page.click('#file-menu summary');
  await page.click('#share');
  await page.waitForFunction(() => document.getElementById('message').textContent !== '');
  const ownLink = await page.evaluate(() => location.hash);
  expect('own share link holds the saved file', inflateRawSync(Buffer.from(ownLink.replace(/^#song=/, ''), 'base64url')).equals(saved ?? Buffer.alloc(1)), true);

  // Exports against the CLI's render of the saved file with the same settings: the whole song,
  // from the caret (before the C on bank A's second line: 20 bytes, CR LF, *あ*, so byte 26;
  // bytes 25 and 27 start elsewhere), and in fixed point at 22,050 Hz.
  const exports = [
    ['whole song', [], async () => {}],
    ['from the cursor', ['--cursor', 'A:26'], async () => {
      await page.click('#from-cursor');
      await page.click('#tab-1');
      await page.keyboard.down('Control'); await page.keyboard.press('Home'); await page.keyboard.up('Control');
      await page.keyboard.press('ArrowDown'); await page.keyboard.press('Home');
      for (let i = 0; i < 3; ++i) await page.keyboard.press('ArrowRight');
    }],
    ['fix at 22,050 Hz', ['--arith', 'fix', '--rate', '22050'], async () => {
      await page.click('#from-cursor');
      await page.select('#arith', 'fix');
      await page.select('#rate', '22050');
    }],
  ];
  // Wav出力 opens the window's export dialog; OK with `choice` set downloads `names`.
  const exportVia = async ({ type = 'wav', loops = 1, fade = 0, perBank = false } = {}, names = ['untitled.wav']) => {
    for (const n of names) rmSync(join(tmp, n), { force: true });
    await page.click('#file-menu summary');
    await page.click('#export');
    await page.waitForSelector('#export-dialog[open]');
    await page.select('#export-type', type);
    await page.$eval('#export-loops', (e, v) => { e.value = v; }, String(loops));
    await page.$eval('#export-fade', (e, v) => { e.value = v; }, String(fade));
    await page.$eval('#export-per-bank', (e, v) => { e.checked = v; }, perBank);
    await page.click('#export-ok');
    for (let i = 0; i < 100 && !names.every((n) => readdirSync(tmp).includes(n)); ++i) await new Promise((ok) => setTimeout(ok, 50));
    await new Promise((ok) => setTimeout(ok, 200));  // a download's last bytes
    return names.map((n) => (readdirSync(tmp).includes(n) ? readFileSync(join(tmp, n)) : null));
  };
  for (const [what, args, setUp] of exports) {
    await setUp();
    const [got] = await exportVia();
    execFileSync(cli, ['render', join(tmp, 'saved.mml'), '-o', join(tmp, 'cli-args.wav'), ...args]);
    expect(`export ${what} equals the CLI render`, got ? got.equals(readFileSync(join(tmp, 'cli-args.wav'))) : 'no download', true);
  }
  await page.select('#arith', 'float');
  await page.select('#rate', '48000');
  {
    // FLAC, two passes of the loops, a fade, one file per bank: the window's names, each decoding
    // (the desktop's libsndfile) to the samples of render --stems with the same options; the
    // dialog says the window's confirmation.
    const dir = join(tmp, 'stems');
    const listed = execFileSync(cli, ['render', '--loops', '2', '--fade', '0.5', '--stems', dir, join(tmp, 'saved.mml')], { encoding: 'utf8' })
      .trim().split('\n').map((p) => p.replace(/^.*\//, ''));
    const names = listed.map((n) => `untitled_${n[0]}.flac`);
    const got = await exportVia({ type: 'flac', loops: 2, fade: 0.5, perBank: true }, names);
    const decoder = join(cli, '../../tests/tavolin-decode-audio');
    const samples = (file) => {
      execFileSync(decoder, [file, join(tmp, 'decoded.raw')]);
      return readFileSync(join(tmp, 'decoded.raw'));
    };
    expect('stems listed by the CLI', listed.length >= 2, true);
    names.forEach((n, i) => {
      expect(`FLAC stem ${n} holds the CLI's samples`, got[i] ? samples(join(tmp, n)).equals(samples(join(dir, listed[i]))) : 'no download', true);
    });
    expect('stems confirmation', (await page.$eval('#message', (e) => e.textContent)).startsWith('バンク別に書き出しました\n' + names[0]), true);
    await page.click('#file-menu summary');
    await page.click('#export');
    await page.waitForSelector('#export-dialog[open]');
    expect('the dialog keeps the last choice', await page.evaluate(() => [document.getElementById('export-type').value,
      document.getElementById('export-loops').value, document.getElementById('export-per-bank').checked]), ['flac', '2', true]);
    await page.click('#export-cancel');
  }
  await page.click('#play');
  await page.waitForSelector('body[data-playing="true"]', { timeout: 10000 });
  // Shift+F8 while it plays: the bar and beat heard (once the player has said what is heard).
  let playing = '';
  for (let i = 0; i < 20 && !playing.startsWith('再生中'); ++i) {
    await page.keyboard.down('Shift');
    await page.keyboard.press('F8');
    await page.keyboard.up('Shift');
    playing = await page.$eval('#speech', (e) => e.textContent);
    if (!playing.startsWith('再生中')) await new Promise((ok) => setTimeout(ok, 100));
  }
  expect('Shift+F8 spoken while playing', /^再生中 小節 \d+ 拍 [1-4]$/.test(playing) ? 'bar and beat' : playing, 'bar and beat');
  await page.click('#stop');

  step('midi');
  // "MIDI出力" writes export-midi's file; "MIDI読み込み…" of that file gives import-midi's document
  // (saved as the CLI writes it) and says its report; a file that is no MIDI is refused by name.
  {
    const midi = await download('#midi-export', 'untitled.mid');
    execFileSync(cli, ['export-midi', join(tmp, 'saved.mml'), '-o', join(tmp, 'cli.mid')]);
    expect('MIDI export equals export-midi', midi ? midi.equals(readFileSync(join(tmp, 'cli.mid'))) : 'no download', true);
    execFileSync(cli, ['import-midi', join(tmp, 'cli.mid'), '-o', join(tmp, 'cli-import.mml')]);
    await page.evaluate(() => { document.getElementById('message').textContent = ''; });
    await (await page.$('#midi-file')).uploadFile(join(tmp, 'cli.mid'));
    await page.waitForFunction(() => document.getElementById('message').textContent !== '');
    const report = await page.$eval('#message', (e) => e.textContent);
    const imported = await download('#save', 'untitled.mml');
    expect('MIDI import saved equals import-midi', imported ? imported.equals(readFileSync(join(tmp, 'cli-import.mml'))) : 'no download', true);
    expect('MIDI import says its report', report.length > 20 && !report.includes('undefined'), true);
    writeFileSync(join(tmp, 'not.mid'), 'SMML@;MML@C,,,,;');
    await page.evaluate(() => { document.getElementById('message').textContent = ''; });
    await (await page.$('#midi-file')).uploadFile(join(tmp, 'not.mid'));
    await page.waitForFunction(() => document.getElementById('message').textContent !== '');
    expect('a file that is no MIDI is refused by name', (await page.$eval('#message', (e) => e.textContent)).startsWith('「not.mid」'), true);
  }

  step('offline render');
  // The worklet's output in an OfflineAudioContext, the stream started at frame 0. Every float the
  // processor wrote, times 32768, must equal the CLI's int16 sample exactly (the division by 32768
  // is exact in 32-bit floats), with silence after the song's end.
  // Rows: every bank, banks B and D soloed (the worklet's mask against the CLI's --solo), and Current
  // Bank Play on B (against --current-bank B).
  for (const [what, mask, args, currentBank] of [['all banks', 31, []], ['solo B and D', 0b01010, ['--solo', 'B,D']],
    ['Current Bank Play on B', 31, ['--current-bank', 'B'], 'B']]) {
    execFileSync(cli, ['render', join(tmp, 'song.mml'), '-o', join(tmp, 'cli-mask.wav'), ...args]);
    const wav = readFileSync(join(tmp, 'cli-mask.wav'));
    const wanted = [...new Int16Array(wav.buffer.slice(wav.byteOffset + 44, wav.byteOffset + wav.length)), ...new Array(512).fill(0)];
    const offline = await page.evaluate(renderOffline, { song: [...song], frames: wanted.length / 2, rate: 48000, loop: false, mask, currentBank });
    expect(`worklet start (${what})`, [offline.ready, offline.started], ['ready', { type: 'playing', frame: 0 }]);
    const differ = wanted.findIndex((v, i) => offline.samples[i] !== v);
    expect(`worklet samples (${what}) equal the CLI render: first difference`, differ < 0 ? 'none'
      : { sample: differ, frame: differ >> 1, seen: offline.samples[differ], wanted: wanted[differ] }, 'none');
  }

  step('swap while playing');
  // An edit handed to the playing worklet at 1.2507 s, in D: a C inserted before it, the rest
  // quieter. From there the stream is the new song 0.2507 s into its D (frame 108,032 of the CLI's
  // render of it), the first 240 frames (5 ms) crossfading from the old song's.
  {
    const before = 'SMML@T60;MML@L4 V255 C D E F,,,,;', after = 'SMML@T60;MML@L4 V255 C C V128 D E F,,,,;';
    const renderCli = (text, name) => {
      writeFileSync(join(tmp, name + '.mml'), text);
      execFileSync(cli, ['render', join(tmp, name + '.mml'), '-o', join(tmp, name + '.wav')]);
      const wav = readFileSync(join(tmp, name + '.wav'));
      return new Int16Array(wav.buffer.slice(wav.byteOffset + 44, wav.byteOffset + wav.length));
    };
    const oldSong = renderCli(before, 'before'), newSong = renderCli(after, 'after');
    const at = 60032, goesOn = 108032, frames = at + 96000;
    const wanted = [...oldSong.subarray(0, 2 * frames)];
    for (let i = 0; i < 2 * (frames - at); ++i) {
      const o = wanted[2 * at + i], n = newSong[2 * goesOn + i];
      wanted[2 * at + i] = i < 480 ? o + Math.trunc(((n - o) * Math.floor(i / 2)) / 240) : n;
    }
    // The samples handed over through shared memory, and in chunks as without cross-origin isolation.
    for (const shared of [true, false]) {
      const offline = await page.evaluate(renderOffline, {
        song: [...Buffer.from(before)], frames, rate: 48000, loop: false, shared,
        timed: [{ at, message: { type: 'swap', song: [...Buffer.from(after)] } }],
      });
      expect(`worklet swap answer (shared ${shared})`, offline.answers.map(({ type, frame }) => ({ type, frame })), [{ type: 'swapped', frame: at }]);
      const differ = wanted.findIndex((v, i) => offline.samples[i] !== v);
      expect(`worklet samples across the swap (shared ${shared}): first difference`, differ < 0 ? 'none'
        : { sample: differ, frame: differ >> 1, seen: offline.samples[differ], wanted: wanted[differ] }, 'none');
    }
  }

  step('loop the selection, pause');
  // "選択範囲をループ再生" on G A B inside a loop of sixteen passes: the first pass's G A B
  // (0:01.000 – 0:01.750), over and over, each pass the CLI's render --from A:11 --to A:14; a
  // selection of no note is refused with the window's words. Pause at 0.5 s holds the music for
  // 0.25 s of silence, then it goes on where it stood.
  {
    const song = 'SMML@;MML@L8 O5 [CDEFGAB>C<]16,,,,;';
    writeFileSync(join(tmp, 'gab.mml'), song);
    execFileSync(cli, ['render', '--from', 'A:11', '--to', 'A:14', join(tmp, 'gab.mml'), '-o', join(tmp, 'gab.wav')]);
    const wav = readFileSync(join(tmp, 'gab.wav'));
    const pass = [...new Int16Array(wav.buffer.slice(wav.byteOffset + 44, wav.byteOffset + wav.length))];
    const at = 24064, held = 12032;  // whole quanta
    const heard = [...pass, ...pass, ...pass];
    const wanted = [...heard.slice(0, 2 * at), ...new Array(2 * held).fill(0), ...heard.slice(2 * at, 2 * (3 * 36000 - held))];
    const offline = await page.evaluate(renderOffline, {
      song: [...Buffer.from(song)], frames: 3 * 36000, rate: 48000, pick: { tab: 1, from: 11, to: 14 },
      timed: [{ at, message: { type: 'pause', paused: true } }, { at: at + held, message: { type: 'pause', paused: false } }],
    });
    expect('loop status', offline.started.status, 'ループ再生中: 0:01.000 – 0:01.750');
    expect('pause answers', offline.answers.map((a) => [a.paused, a.frame]), [[true, at], [false, at]]);
    const differ = wanted.findIndex((v, i) => offline.samples[i] !== v);
    expect('looped passes with a pause: first difference', differ < 0 ? 'none'
      : { sample: differ, frame: differ >> 1, seen: offline.samples[differ], wanted: wanted[differ] }, 'none');
    const refused = await page.evaluate(renderOffline, {
      song: [...Buffer.from('SMML@;MML@L8 C *NOTHING* D,,,,;')], frames: 128, rate: 48000, pick: { tab: 1, from: 6, to: 9 },
    });
    expect('a selection of no note', refused.started, { type: 'error', message: '選択範囲に音符がないため、ループ再生できません' });
  }

  step('typing while a long song plays');
  // The ten-minute song from 9:56 in a real-time AudioContext, a note typed in bank A every 250 ms
  // for 7.5 s: each edit compiles and the render worker swaps it in (a build and a seek) while the
  // worklet plays on. No quantum may find its samples not ready, but for those the system's
  // scheduling explains (the render worker not run for longer than it had rendered ahead: on a
  // loaded machine with two cores that happens, and the worker then keeps more ahead; each time
  // the audio thread's burst of up to 8 quanta may come on top),
  // and the banks' meters show the banks that play (every bank here) and not a muted one's silence
  // as sound: with B muted its scope still shows what it plays, as the window's does.
  {
    await page.goto(url + '?dev#song=' + deflateRawSync(tenMinuteSong()).toString('base64url'));
    await page.waitForSelector('body[data-ready]');
    await page.click('#tab-1');
    await page.click('.cm-content');
    await page.keyboard.down('Control'); await page.keyboard.press('End'); await page.keyboard.up('Control');
    await page.keyboard.press('Home');
    if (!(await page.$eval('#from-cursor', (e) => e.checked))) await page.click('#from-cursor');
    await page.click('#play');
    await page.waitForSelector('body[data-playing="true"]', { timeout: 20000 });
    const stats = () => page.evaluate(() => new Promise((ok) => setTimeout(() => {
      const d = document.getElementById('dev').dataset;
      ok({ late: Number(d.late), worstUs: Number(d.worstUs), starved: Number(d.starved), starvedTimes: Number(d.starvedTimes), over: Number(d.over), meanUs: Number(d.meanUs), heardMs: Number(d.heardMs) });
    }, 300)));
    await new Promise((ok) => setTimeout(ok, 500));
    const before = await stats();
    await page.focus('.cm-content');  // from the Play button, which a typed space would press
    await page.keyboard.down('Control'); await page.keyboard.press('End'); await page.keyboard.up('Control');
    for (let i = 0; i < 30; ++i) {
      await page.keyboard.type(' CDEFG'[i % 6]);
      await new Promise((ok) => setTimeout(ok, 250));
    }
    const after = await stats();
    const late = after.late - before.late, starved = after.starved - before.starved, times = after.starvedTimes - before.starvedTimes;
    step(`typing in a 10-minute song at 9:56: late quanta ${late} (the worker not run: ${starved} quanta, ${times} times), slowest quantum ${after.worstUs} µs, ` +
      `${after.over} over 1 ms, mean ${after.meanUs.toFixed(1)} µs, last keystroke to heard ${after.heardMs.toFixed(0)} ms`);
    expect('late quanta while typing in a long song, beyond the worker not run', Math.max(0, late - starved - 8 * times), 0);
    // The position heard: the stream's frame and the song's, 9:56 (596 s) apart, whatever the swaps.
    const { songFrame, frame } = await page.$eval('#dev', (e) => ({ ...e.dataset }));
    expect('position: song frame heard at the stream frame heard', [Number(songFrame) - Number(frame), Number(frame) > 48000 * 7], [596 * 48000, true]);
    await page.click('#stop');
  }

  step('scopes');
  // Long notes in banks A and C, nothing in B, D and E, A muted by its scope's own M (the tab's M
  // follows it): the meters of the banks that play show their level, muted or not (the window's
  // scope too shows what a muted bank plays), the silent banks' read 0; after Stop all fall to 0.
  {
    await page.goto(url + '#song=' + deflateRawSync(Buffer.from('SMML@;MML@V255 L1 [C]20,,O3 V200 L1 [E]20,,;')).toString('base64url'));
    await page.waitForSelector('body[data-ready]');
    await page.click('#scope-mute-A');
    await page.click('#play');
    await page.waitForSelector('body[data-playing="true"]', { timeout: 10000 });
    await new Promise((ok) => setTimeout(ok, 600));
    const meters = () => page.$$eval('.scope canvas', (cs) => cs.map((c) => Number(c.dataset.level ?? 0)));
    expect('meters while A and C play, A muted', (await meters()).map((l) => l > 0.05), [true, false, true, false, false]);
    expect('mute A on the tab and by the scope', await page.$$eval('#mute-A, #scope-mute-A', (bs) => bs.map((b) => b.ariaPressed)), ['true', 'true']);
    await page.click('#stop');
    await page.waitForFunction(() => [...document.querySelectorAll('.scope canvas')].every((c) => Number(c.dataset.level) === 0), { timeout: 5000 })
      .catch(() => {});
    expect('meters after Stop', await meters(), [0, 0, 0, 0, 0]);
  }

  step('piano roll');
  // A click on a note selects its MML, switching tabs (a macro's note is the common text's); a drag
  // across the ruler over G A B of the first pass loops what Ctrl+L on G A B loops.
  {
    const song = 'SMML@@!M O4 E8 F8 !;MML@L8 O5 [CDEFGAB>C<]4,O3 L2 C E4 G4,L4 !M G,,;';
    await page.goto(url + '#song=' + deflateRawSync(Buffer.from(song)).toString('base64url'));
    await page.waitForSelector('body[data-ready]');
    await page.waitForFunction(() => !document.body.dataset.checking);
    // The note boxes as the page's model places them: the same model, at the canvas's size.
    const notes = await page.evaluate(async (song) => {
      const engine = await (await import('./tavolin-engine.mjs')).createEngine();
      const roll = engine.roll();
      const canvas = document.getElementById('roll-canvas');
      roll.setDocument(song);
      roll.resize(canvas.clientWidth, canvas.clientHeight);
      return roll.scene().lanes.map((l) => l.notes);
    }, song);
    const canvasBox = await (await page.$('#roll-canvas')).boundingBox();
    const at = ([x, y, w, h]) => [canvasBox.x + x + w / 2, canvasBox.y + y + h / 2];
    const selected = () => page.evaluate(() => [document.querySelector('.tab-name.current').textContent, getSelection().toString()]);
    for (const [bank, note, tab, text] of [[0, 12, 'A', 'G'], [0, 31, 'A', 'C'], [1, 1, 'B', 'E4'], [2, 0, '共通', 'E8'],
      [2, 1, '共通', 'F8'], [2, 2, 'C', 'G']]) {
      await page.mouse.click(...at(notes[bank][note]));
      expect(`roll click on bank ${'ABCDE'[bank]} note ${note}`, await selected(), [tab, text]);
    }
    // The loop's status line, from a ruler drag and from Ctrl+L over the same notes.
    const loopStatus = async (action) => {
      await page.evaluate(() => { document.getElementById('message').textContent = ''; });
      await action();
      await page.waitForFunction(() => document.getElementById('message').textContent !== '');
      const status = await page.$eval('#message', (e) => e.textContent);
      await page.click('#stop');
      return status;
    };
    // The drag from G's start to B's end, taken as it is: the status the rule gives for the frames
    // under the pointer (the same model asked here), and within a pixel of Ctrl+L's on G A B.
    const [g, b] = [notes[0][4], notes[0][6]];
    const [x0, x1] = [g[0], b[0] + b[2]];
    const dragged = await loopStatus(async () => {
      await page.click('#tab-1');
      await page.mouse.move(canvasBox.x + x0, canvasBox.y + 9);
      await page.mouse.down();
      await page.mouse.move(canvasBox.x + x1, canvasBox.y + 9, { steps: 4 });
      await page.mouse.up();
    });
    const ruleSays = await page.evaluate(async (song, x0, x1) => {
      const engine = await (await import('./tavolin-engine.mjs')).createEngine();
      const roll = engine.roll();
      const canvas = document.getElementById('roll-canvas');
      roll.setDocument(song);
      roll.resize(canvas.clientWidth, canvas.clientHeight);
      const stream = engine.open(song, { lang: 'ja', pick: { tab: 1, frames: [roll.frameAtX(x0), roll.frameAtX(x1)] } });
      const status = stream.passageStatus;
      stream.close();
      return [status, (roll.frameAtX(x0 + 1) - roll.frameAtX(x0)) / 48000];
    }, song, x0, x1);
    const selectedGab = await loopStatus(async () => {
      await page.mouse.click(...at(notes[0][4]));
      await page.keyboard.down('Shift');
      for (let i = 0; i < 3; ++i) await page.keyboard.press('ArrowRight');
      await page.keyboard.up('Shift');
      await page.keyboard.down('Control'); await page.keyboard.press('l'); await page.keyboard.up('Control');
    });
    // From the roll's keys: G clicked, Shift+→ twice stretches the selection over A and B, and
    // Ctrl+L, the keys still with the roll, loops what Ctrl+L on G A B selected in the text loops.
    let keptKeys = '';
    const steppedGab = await loopStatus(async () => {
      await page.mouse.click(...at(notes[0][4]));
      await page.focus('#roll-canvas');
      await page.keyboard.down('Shift');
      for (let i = 0; i < 2; ++i) await page.keyboard.press('ArrowRight');
      await page.keyboard.up('Shift');
      keptKeys = await page.evaluate(() => document.activeElement.id);
      await page.keyboard.down('Control'); await page.keyboard.press('l'); await page.keyboard.up('Control');
    });
    expect('Shift+arrows on the roll, then Ctrl+L', [steppedGab, keptKeys], [selectedGab, 'roll-canvas']);
    const seconds = (status) => (status.match(/\d+:\d+\.\d+/g) ?? []).map((t) => Number(t.split(':')[0]) * 60 + Number(t.split(':')[1]));
    expect('ruler drag: the rule\'s passage for the frames dragged', dragged, ruleSays[0]);
    // While it plays, the note heard is lit in the text; paused, it stays lit; stopped, nothing is.
    const lit = () => page.$$eval('.mml-lit', (es) => es.map((e) => e.textContent));
    await page.click('#tab-1');
    await page.click('#play');
    await page.waitForFunction(() => document.querySelector('.mml-lit'));
    await page.click('#pause');
    const litPaused = await lit();
    await page.click('#stop');
    await page.waitForFunction(() => !document.querySelector('.mml-lit'));
    expect('lit in bank A while paused: one of its notes', /^[A-G]$/.test(litPaused.join('')) ? 'a note' : litPaused, 'a note');
    expect('ruler drag over G A B within a pixel of Ctrl+L on G A B', [selectedGab,
      seconds(dragged).map((t, i) => Math.abs(t - seconds(selectedGab)[i]) <= ruleSays[1] + 0.001)],
    ['ループ再生中: 0:01.000 – 0:01.750', [true, true]]);
  }

  step('helpers');
  // The helpers write what the window's helpers write for the same fields (HelperTest's rows);
  // Test plays the phrase with that tone, as tavolin-cli render --test --tone renders it.
  {
    await page.click('#tab-1');
    await page.keyboard.down('Control'); await page.keyboard.press('a'); await page.keyboard.up('Control');
    await page.keyboard.press('Backspace');
    await page.click('#tone-open');
    const fill = (id, value) => page.$eval(id, (e, v) => { e.value = v; e.dispatchEvent(new Event('input')); e.dispatchEvent(new Event('change')); }, value);
    await page.select('#wave', '4');
    for (const duty of ['25', '75', 'abc']) { await fill('#duty', duty); await page.click('#duty-add'); }
    await fill('#freq-noise', '5');
    await fill('#level-noise', '10');
    await fill('#switch-ms', '100');
    await page.select('#tone-number', '3');
    const dutyList = await page.$$eval('#duty-list option', (os) => os.map((o) => o.textContent));
    await page.click('#tone-insert');
    await page.click('#envelope-open');
    await page.click('#env-templates button:nth-child(5)');
    await fill('#env-number', '7');
    await page.click('#env-insert');
    expect('helpers: duty list and the commands inserted', [dutyList, await page.$eval('.cm-content', (e) => e.innerText)],
      [['25', '75'], '@W3:4R5N10C100:25:75@3@ED7:10:10:100:229:204']);
    await fill('#env-attack-time', '-1');
    await page.click('#env-insert');
    expect('envelope helper refuses a bad time', await page.$eval('#message', (e) => e.textContent), 'atack timeの時間が不正です(0ms～)');

    await fill('#test-phrase', 'L8 CEG');
    await page.evaluate(() => { startedBuffers.length = 0; document.getElementById('message').textContent = ''; });
    await page.click('#test');
    await page.waitForFunction(() => startedBuffers.length > 0 || document.getElementById('message').textContent !== '');
    const [played = { samples: [] }] = await page.evaluate(() => startedBuffers);
    expect('Test phrase: nothing said', await page.$eval('#message', (e) => e.textContent), '');
    writeFileSync(join(tmp, 'doc.mml'), '');
    execFileSync(cli, ['render', join(tmp, 'doc.mml'), '--test', 'L8 CEG', '--tone', '@W3:4R5N10C100:25:75@3', '-o', join(tmp, 'test.wav')]);
    const wav = readFileSync(join(tmp, 'test.wav'));
    const left = new Int16Array(wav.buffer.slice(wav.byteOffset + 44, wav.byteOffset + wav.length)).filter((v, i) => i % 2 === 0);
    expect('Test phrase: rate, length, loudest sample', [played.rate, played.samples.length, Math.max(...played.samples.map(Math.abs)) > 1000],
      [48000, left.length, true]);
    expect('Test phrase equals render --test --tone', played.samples.every((v, i) => v === left[i]), true);

    // "MMLリファレンス": every entry of `tavolin-cli reference --json`, in the page's language; an
    // example plays alone (as render --test renders it on an empty document) and goes in at the caret.
    const entries = JSON.parse(execFileSync(cli, ['reference', '--json'], { env: { ...process.env, LC_ALL: '', LANG: 'ja_JP.UTF-8' } }).toString());
    await page.click('#reference-open');
    const rows = await page.$$eval('#reference-list tr', (trs) => trs.map((tr) => [...tr.cells].slice(0, 3).map((c) => c.textContent)));
    expect('reference: the CLI\'s entries', rows, entries.map((e) => [e.syntax, e.what, e.example]));
    const ed = entries.findIndex((e) => e.heads === '@ED');
    await page.evaluate(() => { startedBuffers.length = 0; document.getElementById('message').textContent = ''; });
    await page.click(`#reference-list tr[data-entry="${ed}"] .reference-play`);
    await page.waitForFunction(() => startedBuffers.length > 0 || document.getElementById('message').textContent !== '');
    const [example = { samples: [] }] = await page.evaluate(() => startedBuffers);
    execFileSync(cli, ['render', join(tmp, 'doc.mml'), '--test', entries[ed].example, '--tone', '', '-o', join(tmp, 'example.wav')]);
    const exampleWav = readFileSync(join(tmp, 'example.wav'));
    const exampleLeft = new Int16Array(exampleWav.buffer.slice(exampleWav.byteOffset + 44, exampleWav.byteOffset + exampleWav.length)).filter((v, i) => i % 2 === 0);
    expect('reference example plays alone, as render --test on an empty document',
      [example.samples.length, example.samples.every((v, i) => v === exampleLeft[i])], [exampleLeft.length, true]);
    await page.click('#tab-1');
    await page.keyboard.down('Control'); await page.keyboard.press('a'); await page.keyboard.up('Control');
    await page.keyboard.press('Backspace');
    await page.click(`#reference-list tr[data-entry="${ed}"] .reference-insert`);
    expect('reference example inserted at the caret', await page.$eval('.cm-content', (e) => e.innerText), entries[ed].example);
    await page.click('#reference-open');
  }

  step('keys');
  // File → "キー設定": a key another command has is refused naming it; a free one runs the command
  // (and its tooltip says so) while the old one runs nothing, also on the next visit; "既定に戻す".
  const pressIn = async (id, ...keys) => {
    await page.click(`#keys-table tr[data-command="${id}"] input`);
    for (const k of keys) await page.keyboard.down(k);
    for (const k of keys.reverse()) await page.keyboard.up(k);
  };
  const isPlaying = () => page.evaluate(() => document.body.dataset.playing === 'true');
  await page.click('#file-menu summary');
  await page.click('#keys-open');
  await pressIn('stop', 'Control', 'l');
  expect('a taken key refused by name', await page.$eval('#keys-message', (e) => e.textContent),
    'Ctrl+L は「選択範囲をループ再生」が使っています。先にそちらのキーを変えてください。');
  await pressIn('play', 'F7');
  await page.keyboard.press('Escape');
  await page.goto(url);
  await page.waitForSelector('body[data-ready]');
  await page.keyboard.press('F5');
  await new Promise((ok) => setTimeout(ok, 300));
  const afterF5 = await isPlaying();
  await page.keyboard.press('F7');
  await page.waitForSelector('body[data-playing="true"]', { timeout: 10000 }).catch(() => {});
  expect('F5 idle, F7 plays, the tooltip names F7', [afterF5, await isPlaying(), await page.$eval('#play', (b) => b.title)], [false, true, '再生 (F7)']);
  await page.keyboard.press('F6');
  await page.click('#file-menu summary');
  await page.click('#keys-open');
  await page.click('#keys-reset');
  expect('keys back to their defaults', await page.$eval('#keys-table tr[data-command="play"] input', (e) => e.value), 'F5');
  await page.keyboard.press('Escape');

  step('layout');
  // At 1366x768, 1280x720, 960x540 and on a 768x1024 tablet, in both languages: the toolbar and the
  // tab row keep one row each (what does not fit is in the "⋯" menu, reachable), and the roll and the
  // text both have room.
  for (const language of ['ja-JP', 'en-US']) {
    const p = await browser.newPage();
    await p.evaluateOnNewDocument((l) => Object.defineProperty(navigator, 'language', { get: () => l }), language);
    for (const [width, height] of [[1366, 768], [1280, 720], [960, 540], [768, 1024]]) {
      await p.setViewport({ width, height });
      await p.goto(url);
      await p.waitForSelector('body[data-ready]');
      const seen = await p.evaluate(() => {
        // Rows: an item that starts below the bottom of the row above begins a new one.
        const rows = (el) => {
          const boxes = [...el.children].filter((e) => e.offsetParent).map((e) => e.getBoundingClientRect())
            .filter((b) => b.height > 0).sort((a, b) => a.top - b.top);
          let count = 0, bottom = -Infinity;
          for (const b of boxes) { if (b.top >= bottom) { ++count; bottom = b.bottom; } else bottom = Math.max(bottom, b.bottom); }
          return count;
        };
        const controls = ['play', 'loop-passage', 'stop', 'pause', 'loop', 'from-cursor', 'current-bank', 'arith', 'rate'];
        const reachable = controls.every((id) => {
          const el = document.getElementById(id);
          return el.offsetParent && (!el.closest('#more-menu') || !document.getElementById('more-menu').hidden);
        });
        return [rows(document.getElementById('toolbar')), rows(document.getElementById('tabs')), reachable,
          document.getElementById('roll').offsetHeight >= 100, document.getElementById('editor').offsetHeight >= 150];
      });
      expect(`layout at ${width}x${height} (${language}): rows of toolbar and tabs, controls reachable, room`, seen, [1, 1, true, true, true]);
    }
    await p.close();
  }

  step('about');
  // The About box names the version tavolin-cli names and the licence, and links our licence and
  // the notices of what the page holds (fetched again offline below).
  const version = execFileSync(cli, ['--version'], { encoding: 'utf8' }).trim().replace(/^tavolin-cli /, '');
  await page.click('#about-open');
  const fetched = () => page.evaluate(() => Promise.all(['LICENSE.txt', 'THIRD-PARTY-NOTICES.txt'].map(async (f) => {
    const r = await fetch(f);
    return [r.status, (await r.text()).split('\n')[0]];
  })));
  const about = () => page.evaluate(() => ({
    open: document.getElementById('about').open,
    button: document.getElementById('about-open').ariaLabel,
    title: document.getElementById('about-title').textContent,
    texts: [...document.querySelectorAll('#about [data-text]')].map((e) => e.textContent),
    links: [...document.querySelectorAll('#about a')].map((a) => a.getAttribute('href')),
  }));
  expect('about box', await about(), {
    open: true, button: 'Tavolinについて', title: `Tavolin ${version}`,
    texts: ['MIT ライセンスのもとで配布されています。', 'ライセンス', 'サードパーティーの告知', '閉じる'],
    links: ['LICENSE.txt', 'THIRD-PARTY-NOTICES.txt'],
  });
  const wantedFiles = [[200, 'MIT License'], [200, 'Third-party notices of the Tavolin page']];
  expect('about box links', await fetched(), wantedFiles);
  // The manifest that makes the page installable: its icons load, .mml and .mid open with it.
  const manifest = () => page.evaluate(async () => {
    const m = await (await fetch(document.querySelector('link[rel=manifest]').href)).json();
    const icons = await Promise.all(m.icons.map(async (i) => {
      const r = await fetch(i.src);
      const image = new Image();
      image.src = URL.createObjectURL(await r.blob());
      await image.decode();
      return [i.src, i.sizes, i.sizes === 'any' || `${image.naturalWidth}x${image.naturalHeight}` === i.sizes];
    }));
    return { name: m.name, display: m.display, icons, opens: m.file_handlers.flatMap((h) => Object.values(h.accept).flat()).sort() };
  });
  const wantedManifest = {
    name: 'Tavolin', display: 'standalone',
    icons: [['icon.svg', 'any', true], ['icon-192.png', '192x192', true], ['icon-512.png', '512x512', true]],
    opens: ['.mid', '.midi', '.mml'],
  };
  expect('manifest', await manifest(), wantedManifest);
  expect('Chromium reads the manifest and offers to install the page', [
    (await cdp.send('Page.getAppManifest')).errors, (await cdp.send('Page.getInstallabilityErrors')).installabilityErrors], [[], []]);
  await page.click('#about button');
  expect('about box closes', (await about()).open, false);

  step('offline');
  // With the server gone, the page comes from its service worker's cache and plays its own link.
  await page.evaluate(() => navigator.serviceWorker.ready);
  server.kill();
  await new Promise((ok) => server.once('exit', ok));
  await page.goto(url + '?offline' + ownLink);
  await page.waitForSelector('body[data-ready]');
  expect('offline: about box links', await fetched(), wantedFiles);
  expect('offline: manifest', await manifest(), wantedManifest);
  expect('offline: shared song in bank A', await page.$eval('.cm-content', (e) => e.innerText), '@E1 O5 L16 [CEG>C<]2\n*あ*CDE {CDE} F8&G8');
  await page.click('#play');
  await page.waitForSelector('body[data-playing="true"]', { timeout: 10000 });
  // File → "サンプル曲" from the service worker's cache too: every song listed, the demo opened as an
  // untitled copy showing bank A.
  await page.click('#file-menu summary');
  expect('offline: the examples listed', await page.$$eval('#example-items button', (bs) => bs.map((b) => b.dataset.example)),
    ['demo.mml', 'tones.mml', 'lfo.mml', 'drums.mml', 'canon.mml']);
  await page.click('#example-items button[data-example="demo.mml"]');
  await page.waitForFunction(() => document.querySelector('.cm-content').innerText.startsWith('*A: LEAD WITH DELAYED VIBRATO*'), { timeout: 5000 })
    .catch(() => {});
  expect('offline: the demo opened in bank A', (await page.$eval('.cm-content', (e) => e.innerText)).split('\n')[0], '*A: LEAD WITH DELAYED VIBRATO*');
  expect('console errors', consoleErrors, []);
} finally {
  await browser.close();
  server.kill();
  rmSync(tmp, { recursive: true, force: true });
}
if (failures.length) {
  console.error(failures.join('\n'));
  process.exit(1);
}
console.log('web page: ok');

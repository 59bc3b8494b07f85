// SPDX-License-Identifier: MIT
// The web engine against tavolin-cli: the same bytes of WAV, the same check
// and timeline JSON, and the errors of damaged documents. The examples run
// in all three types at 22,050 and 48,000 Hz; random songs (song-*.mml) in
// two of the six, one per rate, the types taking turns, so that a few
// hundred songs cover every type at both rates in a few minutes.
//   node tests/web/engine-vs-cli.mjs ENGINE.mjs TAVOLIN-CLI DOCUMENT...
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { isDeepStrictEqual } from 'node:util';

const [enginePath, cli, ...documents] = process.argv.slice(2);
const { createEngine, EngineError } = await import(path.resolve(enginePath));
const engine = await createEngine();
const tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'tavolin-web-'));
const failures = [];
let cases = 0;

function fail(name, want, got) {
  failures.push(`FAIL ${name}\n  cli:  ${String(want).slice(0, 400)}\n  web:  ${String(got).slice(0, 400)}`);
}

function runCli(args) {
  const r = spawnSync(cli, args, { env: { ...process.env, LC_ALL: 'C.UTF-8' }, maxBuffer: 1 << 28 });
  return { status: r.status, stdout: r.stdout.toString(), stderr: r.stderr.toString() };
}

// The first differing byte of two WAV files, for the report.
function firstDifference(a, b) {
  const n = Math.min(a.length, b.length);
  for (let i = 0; i < n; ++i) if (a[i] !== b[i]) return `byte ${i} of ${a.length}/${b.length}`;
  return `lengths ${a.length}/${b.length}`;
}

// The error a failed web render throws, as check shows it.
function renderError(fn) {
  try {
    fn();
    return null;
  } catch (e) {
    if (!(e instanceof EngineError)) throw e;
    return e.error;
  }
}

const combos = [];
for (const arith of ['fix', 'float', 'double']) for (const rate of [22050, 48000]) combos.push({ arith, rate });

let randomIndex = 0;
for (const doc of documents) {
  const bytes = fs.readFileSync(doc);
  const name = path.basename(doc);
  const random = name.startsWith('song-');
  const mine = random ? [combos[(randomIndex % 3) * 2], combos[((randomIndex + 1) % 3) * 2 + 1]] : combos;
  if (random && ++randomIndex % 50 === 0) console.log(`... ${randomIndex} random songs`);
  for (const { arith, rate } of mine) {
    ++cases;
    const label = `${name} ${arith} ${rate}`;
    const out = path.join(tmp, 'cli.wav');
    fs.rmSync(out, { force: true });
    const r = runCli(['render', '--arith', arith, '--rate', String(rate), '-o', out, doc]);
    const error = renderError(() => engine.render(bytes, { arith, rate }));
    if (r.status === 0) {
      if (error) { fail(`render ${label}`, 'a WAV file', JSON.stringify(error)); continue; }
      const want = fs.readFileSync(out);
      const got = engine.render(bytes, { arith, rate });
      if (Buffer.compare(want, Buffer.from(got)) !== 0) fail(`render ${label}`, 'same bytes', firstDifference(want, got));
    } else {
      // A song the CLI refuses: the web refuses it with check's error.
      const check = JSON.parse(runCli(['check', '--json', '--arith', arith, doc]).stdout);
      if (!error || error.code !== check.code || error.position !== check.position)
        fail(`render error ${label}`, JSON.stringify(check), JSON.stringify(error));
    }
    if (random && rate !== 22050) continue;
    const timeline = runCli(['timeline', '--json', '--arith', arith, '--rate', String(rate), doc]);
    const got = engine.timeline(bytes, { arith, rate });
    if (!isDeepStrictEqual(JSON.parse(timeline.stdout), got)) fail(`timeline ${label}`, timeline.stdout, JSON.stringify(got));
  }
  for (const arith of random ? [mine[0].arith] : ['fix', 'float', 'double']) {
    ++cases;
    const want = JSON.parse(runCli(['check', '--json', '--arith', arith, doc]).stdout);
    const got = engine.check(bytes, { arith });
    const shaped = got.ok ? { ok: true } : { ok: false, code: got.error.code, bank: got.error.bank,
      position: got.error.position, message: got.error.message };
    if (!isDeepStrictEqual(want, shaped)) fail(`check ${name} ${arith}`, JSON.stringify(want), JSON.stringify(got));
  }
}

// Renders from a caret, mute and solo, as render's --cursor, --mute and --solo;
// the stream of a song without endless loops, whole and after a seek.
const example = documents.find((d) => path.basename(d) === 'demo.mml');
if (example) {
  const bytes = fs.readFileSync(example);
  for (const cursor of ['A:40', 'B:0', 'common:3']) {
    ++cases;
    const out = path.join(tmp, 'cursor.wav');
    const r = runCli(['render', '--cursor', cursor, '-o', out, example]);
    const error = renderError(() => engine.render(bytes, { cursor }));
    if (r.status === 0 ? error !== null : error === null) fail(`render --cursor ${cursor}`, r.stderr || 'a file', JSON.stringify(error));
    else if (r.status === 0 && Buffer.compare(fs.readFileSync(out), Buffer.from(engine.render(bytes, { cursor }))) !== 0)
      fail(`render --cursor ${cursor}`, 'same bytes', 'different bytes');
  }
  const wav = engine.render(bytes, { arith: 'fix' });
  const samples = new Int16Array(wav.buffer.slice(44));
  const stream = engine.open(bytes, { arith: 'fix' });
  const streamed = [];
  while (!stream.finished) streamed.push(...stream.next(4096));
  ++cases;
  const played = Int16Array.from(streamed.slice(0, samples.length));
  if (!isDeepStrictEqual(played, samples)) fail('stream = render', `${samples.length} samples`, firstDifference(samples, played));
  ++cases;
  const at = 48000 * 3 + 17;
  stream.seek(at);
  const after = Int16Array.from(stream.next(1000));
  if (!isDeepStrictEqual(after, samples.slice(at * 2, at * 2 + 2000))) fail('stream seek back', 'render from frame ' + at, 'different samples');
  ++cases;
  stream.seek(0);
  stream.setAudible(0b00010);  // bank B alone
  const solo = path.join(tmp, 'solo.wav');
  runCli(['render', '--arith', 'fix', '--solo', 'B', '-o', solo, example]);
  const soloSamples = new Int16Array(fs.readFileSync(solo).buffer.slice(44));
  const soloStreamed = Int16Array.from(stream.next(48000));
  if (!isDeepStrictEqual(soloStreamed, soloSamples.slice(0, 96000))) fail('stream solo B', 'render --solo B', 'different samples');
  stream.close();
  ++cases;
  const passage = path.join(tmp, 'passage.wav');
  runCli(['render', '--arith', 'fix', '--from', '0:02', '--to', '0:04.5', '-o', passage, example]);
  const passageSamples = new Int16Array(fs.readFileSync(passage).buffer.slice(44));
  const part = engine.open(bytes, { arith: 'fix', from: '0:02', to: '0:04.5' });
  const partStreamed = Int16Array.from(part.next(passageSamples.length / 2));
  if (!isDeepStrictEqual(partStreamed, passageSamples) || !part.finished)
    fail('stream --from 0:02 --to 0:04.5', `${passageSamples.length} samples`, firstDifference(passageSamples, partStreamed));
  part.close();
}

// A passage across an endless loop: the stream plays the song as render
// writes it (the loop once), D then E, not D again.
{
  ++cases;
  const song = path.join(tmp, 'endless.mml');
  fs.writeFileSync(song, 'SMML@T60;MML@L4 V255 C[D]E,,,,;');
  const out = path.join(tmp, 'endless.wav');
  runCli(['render', '--from', '1', '--to', '3', '-o', out, song]);
  const want = new Int16Array(fs.readFileSync(out).buffer.slice(44));
  const part = engine.open(fs.readFileSync(song), { from: '1', to: '3' });
  const got = Int16Array.from(part.next(want.length / 2));
  if (!isDeepStrictEqual(got, want) || !part.finished) fail('stream --from 1 --to 3 over an endless loop', `${want.length} samples`, firstDifference(want, got));
  part.close();
}

// A passage far into a song where two banks draw random numbers, started
// from the page's checkpoints: the samples of render --from --to.
{
  ++cases;
  const song = path.join(tmp, 'drawing.mml');
  const notes = (bar, n) => bar.repeat(n);
  fs.writeFileSync(song, `SMML@T150@W11:1R1.5:50@W12:4N25:0L8;MML@@11O4${notes('C E G ', 60)},@12${notes('O1C O7C16R16 ', 90)},,,;`);
  const out = path.join(tmp, 'drawing.wav');
  runCli(['render', '--from', '17.3', '--to', '19', '-o', out, song]);
  const want = new Int16Array(fs.readFileSync(out).buffer.slice(44));
  const bytes = fs.readFileSync(song);
  if (!engine.checkpoints.begin(bytes, { passage: true })) fail('checkpoints of a song that builds', 'begun', 'refused');
  while (engine.checkpoints.step(48000));
  if (engine.checkpoints.count < 5) fail('checkpoints along a 24 s song', 'at least 5', engine.checkpoints.count);
  const part = engine.open(bytes, { from: '17.3', to: '19' });
  const got = Int16Array.from(part.next(want.length / 2));
  if (!isDeepStrictEqual(got, want)) fail('stream from a checkpoint, --from 17.3 --to 19', `${want.length} samples`, firstDifference(want, got));
  part.close();
}

// Current Bank Play: render and a stream of bank B alone are render
// --current-bank B; the common tab is refused with the builder's words.
{
  ++cases;
  const demo = documents.find((d) => path.basename(d) === 'demo.mml');
  const out = path.join(tmp, 'bank.wav');
  runCli(['render', '--current-bank', 'B', '-o', out, demo]);
  const want = fs.readFileSync(out);
  const got = engine.render(fs.readFileSync(demo), { currentBank: 'B' });
  const stream = engine.open(fs.readFileSync(demo), { currentBank: 'b' });
  const streamed = Int16Array.from(stream.next((want.length - 44) / 4));
  stream.close();
  if (Buffer.compare(want, Buffer.from(got)) !== 0) fail('render currentBank B', 'same bytes', firstDifference(want, got));
  if (!isDeepStrictEqual(streamed, new Int16Array(want.buffer.slice(want.byteOffset + 44, want.byteOffset + want.length))))
    fail('stream currentBank B', 'the same samples', 'others');
  const common = renderError(() => engine.render(fs.readFileSync(demo), { currentBank: 'common' }));
  if (!common || !common.message) fail('render currentBank common', 'a refusal', JSON.stringify(common));
}

// The export dialog (exportAudio) against render with the same options. WAV byte for byte; FLAC
// decoded (by the desktop's libsndfile) to the CLI's samples; Ogg Vorbis and Opus decoded to the
// CLI's rate, channels and length and close to its samples (libsndfile gives each Ogg stream a
// random serial number, so no two files share their bytes). Stems: one file per sounding bank, by
// the window's names, each with render --stems' samples.
{
  const decoder = process.env.TAVOLIN_DECODE_AUDIO ?? path.join(path.dirname(cli), '../tests/tavolin-decode-audio');
  const decode = (bytes, ext) => {
    const file = path.join(tmp, `decode.${ext}`), raw = path.join(tmp, 'decode.raw');
    fs.writeFileSync(file, bytes);
    const r = spawnSync(decoder, [file, raw], { encoding: 'utf8' });
    if (r.status !== 0) return { error: r.stderr || `status ${r.status}` };
    const [rate, channels, frames] = r.stdout.trim().split(' ').map(Number);
    const b = fs.readFileSync(raw);
    return { rate, channels, frames, samples: new Int16Array(b.buffer, b.byteOffset, b.length / 2) };
  };
  // Signal to difference in dB of `got` against `want`.
  const snr = (want, got) => {
    let signal = 0, noise = 0;
    for (let i = 0; i < want.length; ++i) { signal += want[i] ** 2; noise += (want[i] - got[i]) ** 2; }
    return noise === 0 ? Infinity : 10 * Math.log10(signal / noise);
  };
  // Two banks, both with an endless loop, so that the loop count and the fade change the file.
  const song = path.join(tmp, 'export.mml');
  fs.writeFileSync(song, 'SMML@T120;MML@L8 V200 O5 C E [G E D C],@1 O3 L4 V180 [C G],,,;');
  const bytes = fs.readFileSync(song);
  const options = [['plain', [], {}], ['loops 2, fade 1.5 s at 24 kHz', ['--loops', '2', '--fade', '1.5', '--rate', '24000'],
    { loops: 2, fade: 1.5, rate: 24000 }]];
  for (const [what, args, opts] of options) {
    const cliWav = path.join(tmp, 'export-cli.wav');
    runCli(['render', ...args, '-o', cliWav, song]);
    const pcm = fs.readFileSync(cliWav);
    const want = decode(pcm, 'wav');
    for (const format of ['wav', 'flac', 'ogg', 'opus']) {
      ++cases;
      const label = `export ${format} (${what})`;
      const out = path.join(tmp, `export-cli.${format}`);
      const r = runCli(['render', ...args, '-o', out, song]);
      let got;
      try {
        got = engine.exportAudio(bytes, { ...opts, format, name: 'song' });
      } catch (e) {
        fail(label, r.status === 0 ? 'a file' : r.stderr, String(e.message ?? e));
        continue;
      }
      if (r.status !== 0) { fail(label, `refused: ${r.stderr}`, 'a file'); continue; }
      const [file] = got.files;
      if (got.files.length !== 1 || file.name !== `song.${format}`) { fail(label, `song.${format}`, got.files.map((f) => f.name)); continue; }
      if (got.frames !== want.frames) fail(`${label}: frames`, want.frames, got.frames);
      if (format === 'wav') {
        if (Buffer.compare(fs.readFileSync(out), Buffer.from(file.bytes)) !== 0) fail(label, 'same bytes', firstDifference(fs.readFileSync(out), file.bytes));
        continue;
      }
      const web = decode(file.bytes, format), native = decode(fs.readFileSync(out), format);
      if (web.error || native.error) { fail(`${label}: decode`, native.error ?? 'decoded', web.error ?? 'decoded'); continue; }
      const shape = (d) => `${d.rate} Hz, ${d.channels} channels, ${d.frames} frames`;
      if (shape(web) !== shape(want) || shape(native) !== shape(want)) fail(`${label}: shape`, shape(want), `${shape(web)} (cli ${shape(native)})`);
      else if (format === 'flac' && !isDeepStrictEqual(web.samples, want.samples)) fail(label, 'the CLI\'s samples', firstDifference(want.samples, web.samples));
      else if (format !== 'flac') {
        // Lossy: as close to the song as the CLI's own file is, within 1 dB.
        const [mine, theirs] = [snr(want.samples, web.samples), snr(want.samples, native.samples)];
        if (!(mine >= Math.min(theirs - 1, 15))) fail(`${label}: closeness`, `${theirs.toFixed(1)} dB`, `${mine.toFixed(1)} dB`);
      }
    }
    for (const format of ['wav', 'flac']) {
      ++cases;
      const label = `stems ${format} (${what})`;
      const dir = path.join(tmp, 'stems');
      fs.rmSync(dir, { recursive: true, force: true });
      const listed = runCli(['render', ...args, '--stems', dir, song]).stdout.trim().split('\n').map((p) => path.basename(p));
      const got = engine.exportAudio(bytes, { ...opts, format, name: 'song', stems: true });
      const names = got.files.map((f) => f.name);
      const wanted = listed.map((n) => n.replace(/^(.)\.wav$/, `song_$1.${format}`));
      if (!isDeepStrictEqual(names, wanted)) { fail(label, wanted, names); continue; }
      for (const [i, f] of got.files.entries()) {
        const stem = decode(fs.readFileSync(path.join(dir, listed[i])), 'wav');
        const mine = format === 'wav' ? decode(f.bytes, 'wav') : decode(f.bytes, format);
        if (format === 'wav' && Buffer.compare(fs.readFileSync(path.join(dir, listed[i])), Buffer.from(f.bytes)) !== 0)
          fail(`${label}: ${f.name}`, 'the bytes of ' + listed[i], 'other bytes');
        else if (!isDeepStrictEqual(mine.samples, stem.samples)) fail(`${label}: ${f.name}`, 'the samples of ' + listed[i], firstDifference(stem.samples, mine.samples ?? []));
      }
    }
  }
  // Loop points for games: the same file as render --loop-points (WAV byte for byte, its smpl
  // chunk included), and the same refusal for a song without an endless loop.
  {
    ++cases;
    const out = path.join(tmp, 'loop-cli.wav');
    runCli(['render', '--loop-points', '-o', out, song]);
    const got = engine.exportAudio(bytes, { format: 'wav', loopPoints: true, name: 'song' });
    if (got.files.length !== 1 || Buffer.compare(fs.readFileSync(out), Buffer.from(got.files[0].bytes)) !== 0)
      fail('export with loop points', 'the bytes of render --loop-points', got.files.map((f) => f.name));
    else if (got.frames !== decode(got.files[0].bytes, 'wav').frames) fail('export with loop points: frames', decode(got.files[0].bytes, 'wav').frames, got.frames);
    ++cases;
    const plain = path.join(tmp, 'plain.mml');
    fs.writeFileSync(plain, 'SMML@;MML@CDE,,,,;');
    const refused = renderError(() => engine.exportAudio(fs.readFileSync(plain), { format: 'wav', loopPoints: true }));
    const cliRefused = runCli(['render', '--loop-points', '-o', path.join(tmp, 'plain.wav'), plain]);
    if (!refused || cliRefused.status !== 2 || !cliRefused.stderr.includes(refused.message))
      fail('export with loop points of a song without loop', cliRefused.stderr, JSON.stringify(refused));
  }
  ++cases;
  const opusRate = renderError(() => engine.exportAudio(bytes, { format: 'opus', rate: 44100 }));
  const cliRate = runCli(['render', '--rate', '44100', '-o', path.join(tmp, 'x.opus'), song]);
  if (!opusRate || !cliRate.stderr.includes(opusRate.message)) fail('export opus at 44,100 Hz', cliRate.stderr, JSON.stringify(opusRate));
}

// A selection looped while the song plays names the pass under the playhead:
// G A B of the third of sixteen passes (5 s – 5.75 s) is render --from 5
// --to 5.75; without a playhead, the first pass; a selection of no note is
// refused (noNote).
{
  const song = path.join(tmp, 'gab.mml');
  fs.writeFileSync(song, 'SMML@;MML@L8 O5 [CDEFGAB>C<]16,,,,;');
  const bytes = fs.readFileSync(song);
  for (const [what, playhead, from, to, status] of [['the pass under the playhead', 242000, '5', '5.75', 'Looping 0:05.000 – 0:05.750'],
    ['the first pass', undefined, '1', '1.75', 'Looping 0:01.000 – 0:01.750']]) {
    ++cases;
    const out = path.join(tmp, 'pass.wav');
    runCli(['render', '--from', from, '--to', to, '-o', out, song]);
    const want = new Int16Array(fs.readFileSync(out).buffer.slice(44));
    const stream = engine.open(bytes, { pick: { tab: 1, from: 11, to: 14 }, playhead, lang: 'en' });
    const got = Int16Array.from(stream.next(2 * want.length / 2).subarray(0, want.length));
    const again = Int16Array.from(stream.next(want.length / 2));
    if (!isDeepStrictEqual(got, want) || !isDeepStrictEqual(again, want)) fail(`loop ${what}`, `${want.length} samples twice`, firstDifference(want, got));
    if (stream.passageStatus !== status) fail(`loop ${what}: status`, status, stream.passageStatus);
    stream.close();
  }
  ++cases;
  const refused = renderError(() => engine.open(new TextEncoder().encode('SMML@;MML@L8 C *NOTHING* D,,,,;'), { pick: { tab: 1, from: 6, to: 9 } }));
  if (!refused || refused.noNote !== true) fail('loop a selection of no note', 'noNote', JSON.stringify(refused));
}

// MIDI: every example exported as export-midi writes it, and that file
// arranged as import-midi arranges it (the document's bytes and the JSON
// report), with the default options and with a grid, newest overlap and a
// map; a file that is no MIDI is refused as the CLI refuses it.
for (const doc of documents.filter((d) => !path.basename(d).startsWith('song-'))) {
  const name = path.basename(doc);
  const mid = path.join(tmp, 'cli.mid'), mml = path.join(tmp, 'cli.mml');
  ++cases;
  fs.rmSync(mid, { force: true });
  const exported = runCli(['export-midi', '-o', mid, doc]);
  let midi;
  try {
    midi = engine.exportMidi(fs.readFileSync(doc));
  } catch (e) {
    if (exported.status === 0 || !(e instanceof EngineError)) fail(`export-midi ${name}`, `status ${exported.status}`, String(e.message ?? e));
    continue;
  }
  if (exported.status !== 0) { fail(`export-midi ${name}`, `refused: ${exported.stderr}`, 'a file'); continue; }
  const want = fs.readFileSync(mid);
  if (Buffer.compare(want, Buffer.from(midi.bytes)) !== 0) { fail(`export-midi ${name}`, 'same bytes', firstDifference(want, midi.bytes)); continue; }
  for (const [what, args, options] of [['defaults', [], {}], ['grid 48, newest, map', ['--grid', '48', '--overlap', 'newest', '--map', 'A=2.1'],
    { grid: 48, overlap: 'newest', map: 'A=2.1' }]]) {
    ++cases;
    fs.rmSync(mml, { force: true });
    const imported = runCli(['import-midi', ...args, '--json', '-o', mml, mid]);
    const label = `import-midi ${name} (${what})`;
    let got;
    try {
      got = engine.importMidi(midi.bytes, options);
    } catch (e) {
      if (imported.status === 0 || !(e instanceof EngineError)) fail(label, `status ${imported.status}`, String(e.message ?? e));
      else if (JSON.parse(imported.stdout).error !== e.error.message) fail(label, imported.stdout, e.error.message);
      continue;
    }
    if (imported.status !== 0) { fail(label, `refused: ${imported.stdout}`, 'a document'); continue; }
    if (Buffer.compare(fs.readFileSync(mml), Buffer.from(got.document)) !== 0) fail(label, 'same document bytes', firstDifference(fs.readFileSync(mml), got.document));
    if (!isDeepStrictEqual(JSON.parse(imported.stdout), { ok: true, ...got.json })) fail(label, imported.stdout, JSON.stringify(got.json));
  }
}
{
  ++cases;
  const notMidi = new TextEncoder().encode('SMML@;MML@C,,,,;');
  const cliRefusal = path.join(tmp, 'not.mid');
  fs.writeFileSync(cliRefusal, notMidi);
  const r = runCli(['import-midi', '--json', '-o', path.join(tmp, 'x.mml'), cliRefusal]);
  const e = renderError(() => engine.importMidi(notMidi));
  if (r.status === 0 || !e || JSON.parse(r.stdout).error !== e.message) fail('import-midi of a file that is no MIDI', r.stdout, JSON.stringify(e));
}

// Composing while it plays: 1.25 s into D, a C is inserted before it, the
// rest quieter; the stream goes on 0.25 s into D of the new song (2.25 s),
// the first 5 ms (240 frames) crossfading from the old song, as the
// desktop's swap does.
// An edit that does not compile leaves the song playing.
{
  ++cases;
  const before = path.join(tmp, 'before.mml'), after = path.join(tmp, 'after.mml');
  fs.writeFileSync(before, 'SMML@T60;MML@L4 V255 C D E F,,,,;');
  fs.writeFileSync(after, 'SMML@T60;MML@L4 V255 C C V128 D E F,,,,;');
  const oldOut = path.join(tmp, 'before.wav'), newOut = path.join(tmp, 'after.wav');
  runCli(['render', '-o', oldOut, before]);
  runCli(['render', '--from', '2.25', '-o', newOut, after]);
  const oldSong = new Int16Array(fs.readFileSync(oldOut).buffer.slice(44));
  const newSong = new Int16Array(fs.readFileSync(newOut).buffer.slice(44));
  const at = 60000, frames = 96000, fade = 240;
  const want = Int16Array.from(oldSong.subarray(0, 2 * (at + frames)));
  for (let i = 0; i < 2 * frames; ++i) {
    const o = want[2 * at + i], n = newSong[i];
    want[2 * at + i] = i < 2 * fade ? o + Math.trunc(((n - o) * Math.floor(i / 2)) / fade) : n;
  }
  const stream = engine.open(fs.readFileSync(before));
  const got = new Int16Array(2 * (at + frames));
  let done = 0;
  const play = (n) => {
    for (; n > 0; n -= 128) {
      const part = stream.next(Math.min(n, 128));
      got.set(part, 2 * done);
      done += part.length / 2;
    }
  };
  play(at - 1000);
  const refused = renderError(() => stream.swap(new TextEncoder().encode('SMML@T60;MML@L4 V255 C D Q,,,,;')));
  if (!refused || refused.code === undefined) fail('swap of a document with an error', 'the compile error', JSON.stringify(refused));
  play(1000);
  stream.swap(fs.readFileSync(after));
  play(frames);
  if (!isDeepStrictEqual(got, want)) fail('stream.swap at the same place with the crossfade', `${want.length} samples`, firstDifference(want, got));
  stream.close();
}

// Documents that cannot be read: an error object, never a crash.
const damaged = [
  ['too large', new Uint8Array(2 * 1024 * 1024 + 1).fill(0x43)],
  ['NUL byte', new TextEncoder().encode('MML@C\0D;')],
  ['undecodable CP932', new Uint8Array([0x4d, 0x4d, 0x4c, 0x40, 0x81, 0x20, 0x3b])],
  ['UTF-8 without a CP932 form', new TextEncoder().encode('MML@C*\u{1F600}*;')],
];
for (const [name, bytes] of damaged) {
  ++cases;
  const check = engine.check(bytes);
  const decoded = engine.decodeDocument(bytes);
  const rendered = renderError(() => engine.render(bytes));
  const opened = renderError(() => engine.open(bytes).close());
  const timeline = engine.timeline(bytes);
  for (const [what, e] of [['check', check.error], ['decode', decoded.error], ['render', rendered], ['open', opened],
    ['timeline', timeline.error]])
    if (!e || e.document !== true || !e.message) fail(`${what} of ${name}`, 'a document error', JSON.stringify(e));
}

fs.rmSync(tmp, { recursive: true, force: true });
for (const f of failures) console.log(f);
console.log(`web engine vs tavolin-cli: ${cases - failures.length} of ${cases} cases agree (${documents.length} documents)`);
process.exit(failures.length ? 1 : 0);

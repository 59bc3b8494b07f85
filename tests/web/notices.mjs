// SPDX-License-Identifier: MIT
// web/notices.mjs on made-up package trees, one row per case: what it must refuse (and say why),
// what it must let through, and which packages the notices then list.
// Usage: node tests/web/notices.mjs   (from the checkout; needs no npm package)
import { spawnSync } from 'node:child_process';
import { mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';

// A package: its place under the root, package.json fields, files beside it, the locked version,
// and how many bytes of it the bundle holds.
const pkg = (place, { license = 'MIT', version = '1.0.0', locked = version, files = { LICENSE: `${place} licence text` }, bytes = 100 } = {}) =>
  ({ place, license, version, locked, files, bytes });

const rows = [
  { name: 'MIT with its LICENSE', packages: [pkg('node_modules/a')], listed: ['a 1.0.0 (MIT)'] },
  { name: 'scoped and nested packages', packages: [pkg('node_modules/@s/b', { license: 'ISC' }), pkg('node_modules/a/node_modules/c', { version: '2.0.0' })],
    listed: ['@s/b 1.0.0 (ISC)', 'c 2.0.0 (MIT)'] },
  { name: 'one allowed choice of an OR', packages: [pkg('node_modules/a', { license: '(GPL-3.0-only OR Apache-2.0)', files: { 'LICENSE-APACHE': 'apache text', NOTICE: 'notice text' } })],
    listed: ['a 1.0.0 ((GPL-3.0-only OR Apache-2.0))'] },
  { name: 'a package shaken out of the bundle is not listed', packages: [pkg('node_modules/a'), pkg('node_modules/gpl', { license: 'GPL-3.0-only', bytes: 0 })],
    listed: ['a 1.0.0 (MIT)'] },
  { name: 'a copyleft licence', packages: [pkg('node_modules/a', { license: 'GPL-3.0-only' })], fault: 'a: licence "GPL-3.0-only" is not in web/allowed-licences.txt' },
  { name: 'one part of an AND not allowed', packages: [pkg('node_modules/a', { license: 'MIT AND LGPL-2.1' })], fault: 'a: licence "MIT AND LGPL-2.1" is not in' },
  { name: 'no licence named', packages: [pkg('node_modules/a', { license: null })], fault: 'a: its package.json names no licence' },
  { name: 'no licence text', packages: [pkg('node_modules/a', { files: { 'README.md': 'x', NOTICE: 'y' } })], fault: 'a: no LICENSE file' },
  { name: 'installed version is not the locked one', packages: [pkg('node_modules/a', { version: '1.0.1', locked: '1.0.0' })],
    fault: 'a: installed 1.0.1, locked 1.0.0' },
  { name: 'a package the lock does not know', packages: [pkg('node_modules/a', { locked: null })], fault: 'a: installed 1.0.0, locked nothing' },
  { name: 'every fault is named, not only the first', packages: [pkg('node_modules/a', { license: 'GPL-2.0-only' }), pkg('node_modules/b', { files: {} })],
    fault: ['a: licence "GPL-2.0-only"', 'b: no LICENSE file'] },
  // Sources built into the engine (--debian-source): listed from their own changelog and copyright.
  { name: 'a Debian source package', packages: [pkg('node_modules/a')],
    sources: [{ dir: 'libx', changelog: 'libx (1.2-3+deb12u1) bookworm; urgency=medium\n', copyright: 'libx terms' }],
    listed: ['a 1.0.0 (MIT)', 'libx 1.2-3+deb12u1 (Debian source package, built into the engine; terms in its copyright file below)'] },
  { name: 'a Debian source package not unpacked', packages: [pkg('node_modules/a')], sources: [{ dir: 'gone' }],
    fault: 'gone: no debian/changelog or debian/copyright' },
];

const failures = [];
for (const row of rows) {
  const root = mkdtempSync(join(tmpdir(), 'tavolin-notices-'));
  const lock = { packages: { '': {} } };
  const inputs = {};
  for (const p of row.packages) {
    const dir = join(root, p.place);
    mkdirSync(dir, { recursive: true });
    const name = p.place.replace(/^.*node_modules\//, '');
    writeFileSync(join(dir, 'package.json'), JSON.stringify({ name, version: p.version, ...(p.license ? { license: p.license } : {}) }));
    for (const [f, text] of Object.entries(p.files)) writeFileSync(join(dir, f), text);
    if (p.locked) lock.packages[p.place] = { version: p.locked };
    inputs[`web/${p.place}/index.js`] = { bytesInOutput: p.bytes };
  }
  writeFileSync(join(root, 'package-lock.json'), JSON.stringify(lock));
  writeFileSync(join(root, 'meta.json'), JSON.stringify({ inputs: {}, outputs: { 'main.js': { inputs } } }));
  const sourceArgs = [];
  for (const src of row.sources ?? []) {
    const dir = join(root, src.dir);
    if (src.changelog) {
      mkdirSync(join(dir, 'debian'), { recursive: true });
      writeFileSync(join(dir, 'debian/changelog'), src.changelog);
      writeFileSync(join(dir, 'debian/copyright'), src.copyright);
    }
    sourceArgs.push('--debian-source', dir);
  }
  const out = join(root, 'NOTICES.txt');
  const run = spawnSync('node', [join(dirname(new URL(import.meta.url).pathname), '../../web/notices.mjs'), '--root', root,
    ...sourceArgs, join(root, 'meta.json'), out], { encoding: 'utf8' });
  if (row.fault) {
    if (run.status === 0) failures.push(`${row.name}: accepted`);
    for (const f of [row.fault].flat()) {
      if (!run.stderr.includes(f)) failures.push(`${row.name}: said\n${run.stderr}wanted a line with: ${f}`);
    }
  } else if (run.status !== 0) {
    failures.push(`${row.name}: refused:\n${run.stderr}`);
  } else {
    const text = readFileSync(out, 'utf8');
    const listed = text.split('\n').filter((l) => /^ {2}\S/.test(l)).map((l) => l.trim());
    if (JSON.stringify(listed) !== JSON.stringify(row.listed)) failures.push(`${row.name}: listed ${JSON.stringify(listed)}, wanted ${JSON.stringify(row.listed)}`);
    for (const p of row.packages.filter((q) => q.bytes > 0)) {
      for (const t of Object.values(p.files)) if (!text.includes(t)) failures.push(`${row.name}: the text "${t}" of ${p.place} is missing`);
    }
    for (const src of row.sources ?? []) if (!text.includes(src.copyright)) failures.push(`${row.name}: the terms of ${src.dir} are missing`);
  }
  rmSync(root, { recursive: true, force: true });
}
if (failures.length) {
  console.error(failures.join('\n'));
  process.exit(1);
}
console.log(`notices: ${rows.length} cases ok`);

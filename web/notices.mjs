// SPDX-License-Identifier: MIT
// Writes the page's THIRD-PARTY-NOTICES.txt: the notices of every npm package the bundle holds
// (the packages esbuild's metafile shows code of in an output), each with the version and licence read from
// the installed package and its licence text, and of the Debian packages compiled into the engine.
// Fails, naming every fault, when a package's licence is missing or not on the allow-list, when it
// has no licence text, or when the installed version is not the one web/package-lock.json locks:
// copies of the page must carry these notices, so a build that cannot write them is no build.
//   node web/notices.mjs [--root DIR] [--debian-source DIR]... META.json OUT.txt [DEBIAN-PACKAGE...]
// --root: where package-lock.json and node_modules/ are (web/ unless given; the tests' own trees).
// --debian-source: an unpacked Debian source package built into the engine (scripts/web-codecs),
// its name and version from debian/changelog, its terms from debian/copyright.
import { execFileSync } from 'node:child_process';
import { readFileSync, readdirSync, writeFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const web = dirname(fileURLToPath(import.meta.url));
const args = process.argv.slice(2);
const root = args[0] === '--root' ? args.splice(0, 2)[1] : web;
const debianSources = [];
while (args[0] === '--debian-source') debianSources.push(args.splice(0, 2)[1]);
const [metaPath, outPath, ...debianPackages] = args;
const faults = [];

// Licence identifiers (SPDX) a bundled package may carry, one a line, # comments.
const allowed = new Set(readFileSync(join(web, 'allowed-licences.txt'), 'utf8')
  .split('\n').map((l) => l.replace(/#.*/, '').trim()).filter(Boolean));

// Whether an SPDX expression lets us ship the package: one allowed choice of an OR, every part
// of an AND. Anything else (WITH, nesting) is left to a person and refused.
function licenceAllowed(expression) {
  const e = expression.trim().replace(/^\((.*)\)$/, '$1');
  if (/[()]|\sWITH\s/.test(e)) return false;
  if (/\sOR\s/.test(e)) return e.split(/\s+OR\s+/).some((id) => allowed.has(id));
  return e.split(/\s+AND\s+/).every((id) => allowed.has(id));
}

// The package each input that put bytes into an output file comes from, as the lock names it
// ("node_modules/a" or, nested, "node_modules/a/node_modules/b"); a module read but shaken out
// entirely is not in the copies.
const meta = JSON.parse(readFileSync(metaPath, 'utf8'));
const places = new Set();
for (const output of Object.values(meta.outputs)) {
  for (const [input, { bytesInOutput }] of Object.entries(output.inputs)) {
    const m = input.match(/(?:^|\/)(node_modules\/(?:.*\/node_modules\/)?(?:@[^/]+\/)?[^/]+)\//);
    if (m && bytesInOutput > 0) places.add(m[1]);
  }
}
if (places.size === 0) faults.push(`${metaPath} lists no npm package: is it the bundle's metafile?`);

const lock = JSON.parse(readFileSync(join(root, 'package-lock.json'), 'utf8')).packages;
const sections = [];
for (const place of [...places].sort()) {
  const name = place.replace(/^.*node_modules\//, '');
  const dir = join(root, place);
  const pkg = JSON.parse(readFileSync(join(dir, 'package.json'), 'utf8'));
  const locked = lock[place]?.version;
  if (pkg.version !== locked) faults.push(`${name}: installed ${pkg.version}, locked ${locked ?? 'nothing'} (run npm ci in web/)`);
  const licence = typeof pkg.license === 'string' ? pkg.license : pkg.license?.type;
  if (!licence) faults.push(`${name}: its package.json names no licence`);
  else if (!licenceAllowed(licence)) faults.push(`${name}: licence "${licence}" is not in web/allowed-licences.txt`);
  // The licence text, and an Apache NOTICE file where there is one.
  const files = readdirSync(dir).filter((f) => /^(licen[cs]e|copying|notice)([.-].*)?$/i.test(f)).sort();
  if (!files.some((f) => !/^notice/i.test(f))) faults.push(`${name}: no LICENSE file in ${dir}`);
  const repo = typeof pkg.repository === 'string' ? pkg.repository : pkg.repository?.url;
  sections.push({
    title: `${name} ${pkg.version}`,
    summary: `${name} ${pkg.version} (${licence})`,
    head: [`License: ${licence}`, ...(repo ? [`Source: ${repo}`] : [])],
    texts: files.map((f) => readFileSync(join(dir, f), 'utf8').trim()),
  });
}

// Compiled into tavolin-engine.wasm and its loader: their Debian copyright files whole.
for (const deb of debianPackages) {
  const copyright = `/usr/share/doc/${deb}/copyright`;
  let version = '';
  let text = '';
  try {
    version = execFileSync('dpkg-query', ['-W', '-f', '${Version}', deb], { encoding: 'utf8' });
    text = readFileSync(copyright, 'utf8').trim();
  } catch {
    faults.push(`${deb}: not installed, or no ${copyright}`);
    continue;
  }
  sections.push({
    title: `${deb} ${version} (Debian package)`,
    summary: `${deb} ${version} (Debian package; terms in its copyright file below)`,
    head: [`Its copyright file, ${copyright}:`],
    texts: [text],
  });
}

// Built from Debian's sources rather than installed: the source package's own copyright file.
for (const dir of debianSources) {
  let head = '';
  let text = '';
  try {
    head = readFileSync(join(dir, 'debian/changelog'), 'utf8').split('\n')[0];
    text = readFileSync(join(dir, 'debian/copyright'), 'utf8').trim();
  } catch {
    faults.push(`${dir}: no debian/changelog or debian/copyright (run scripts/web-codecs)`);
    continue;
  }
  const m = head.match(/^(\S+) \(([^)]+)\)/);
  if (!m || !text) {
    faults.push(`${dir}: debian/changelog names no package and version, or debian/copyright is empty`);
    continue;
  }
  sections.push({
    title: `${m[1]} ${m[2]} (Debian source package)`,
    summary: `${m[1]} ${m[2]} (Debian source package, built into the engine; terms in its copyright file below)`,
    head: ['Its copyright file, debian/copyright:'],
    texts: [text],
  });
}

if (faults.length) {
  for (const f of faults) console.error(`notices: ${f}`);
  process.exit(1);
}

const rule = '-'.repeat(72);
writeFileSync(outPath, [
  'Third-party notices of the Tavolin page',
  '',
  'Tavolin is under the MIT License (LICENSE.txt beside this file). The page holds code of the',
  'npm packages below, bundled into main.js and check-worker.js at the versions web/package-lock.json',
  'locks, and the engine (tavolin-engine.wasm and its loader) holds code compiled from the Debian',
  'packages below. Their notices follow.',
  '',
  ...sections.map((s) => `  ${s.summary}`),
  ...sections.flatMap((s) => ['', rule, s.title, ...s.head, '', s.texts.join(`\n\n`)]),
  '',
].join('\n'));

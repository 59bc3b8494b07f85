// SPDX-License-Identifier: MIT
// The WebAssembly engine's render of examples/demo.mml at 48 kHz, per
// arithmetic type: median of REPS runs in milliseconds, as JSON lines.
//   node bench/web/render-speed.mjs ENGINE.mjs DOCUMENT [REPS]
import fs from 'node:fs';
import path from 'node:path';

const [enginePath, document, reps = '5'] = process.argv.slice(2);
const { createEngine } = await import(path.resolve(enginePath));
const engine = await createEngine();
const bytes = fs.readFileSync(document);
for (const arith of ['fix', 'float', 'double']) {
  engine.render(bytes, { arith });  // warm up: the first call compiles the code paths
  const times = [];
  for (let i = 0; i < Number(reps); ++i) {
    const t0 = process.hrtime.bigint();
    engine.render(bytes, { arith });
    times.push(Number(process.hrtime.bigint() - t0) / 1e6);
  }
  times.sort((a, b) => a - b);
  console.log(JSON.stringify({ arith, medianMs: times[Math.floor(times.length / 2)], runs: times.length }));
}

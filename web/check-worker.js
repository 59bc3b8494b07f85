// SPDX-License-Identifier: MIT
// The live check off the page's thread: compiles the latest document it was sent and answers with
// its id. Requests that arrive while one compiles are coalesced; only the newest is compiled.
import * as engineModule from './tavolin-engine.mjs';

// The handler is in place before the engine has loaded: a message that came while the module was
// still awaiting it would otherwise be lost, and its check never answered.
const loading = (engineModule.createEngine ?? engineModule.default)();
let engine = null;
let latest = null;
let scheduled = false;

function run() {
  scheduled = false;
  const { id, tabs, arith, rate, lang } = latest;
  latest = null;
  let result;
  const started = performance.now();
  try {
    result = engine.check(engine.encodeDocument(tabs, { lang }), { arith, rate, lang });
  } catch (e) {
    result = { ok: false, error: { message: String(e.message ?? e) } };
  }
  postMessage({ id, result, ms: performance.now() - started });
}

onmessage = ({ data }) => {
  latest = data;
  if (scheduled) return;
  scheduled = true;
  loading.then((e) => { engine = e; setTimeout(run, 0); });
};

// SPDX-License-Identifier: MIT
// The audio worklet's scope lacks URL, which the engine module uses while it loads to name its
// .wasm file. The worklet hands the engine the .wasm bytes, so the name is never fetched; a bare
// stand-in that joins the two parts is enough. Imported before the engine module.
if (typeof globalThis.URL === 'undefined') {
  globalThis.URL = class {
    constructor(path, base = '') { this.href = String(base).replace(/[^/]*$/, '') + String(path); }
    toString() { return this.href; }
  };
}

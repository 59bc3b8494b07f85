// SPDX-License-Identifier: MIT
// Document helpers of the page that need no engine: caret offsets in stored bytes,
// and the share link's packing of a document into the URL fragment.

// The largest document the page opens, as the window does (2 MiB).
export const kDocumentLimit = 2 * 1024 * 1024;

// Bytes the editor's text up to `end` takes in a stored (CP932, CR LF) tab: one for ASCII and
// half-width katakana, two for every other character and for each line break.
export function storedOffset(text, end) {
  let n = 0;
  for (let i = 0; i < end; ++i) {
    const c = text.charCodeAt(i);
    if (c === 10) n += 2;
    else if (c < 0x80 || (c >= 0xff61 && c <= 0xff9f)) n += 1;
    else if (c >= 0xd800 && c <= 0xdbff) { n += 2; ++i; } // CP932 has none; counted as one character
    else n += 2;
  }
  return n;
}

const kSharePrefix = '#song=';

function toBase64Url(bytes) {
  let s = '';
  for (let i = 0; i < bytes.length; i += 0x8000) s += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
  return btoa(s).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
}

function fromBase64Url(text) {
  if (!/^[A-Za-z0-9_-]*$/.test(text)) throw new Error('not base64url');
  const s = atob(text.replace(/-/g, '+').replace(/_/g, '/'));
  const bytes = new Uint8Array(s.length);
  for (let i = 0; i < s.length; ++i) bytes[i] = s.charCodeAt(i);
  return bytes;
}

async function readAll(stream, limit) {
  const reader = stream.getReader();
  const parts = [];
  let total = 0;
  for (;;) {
    const { done, value } = await reader.read();
    if (done) break;
    total += value.length;
    if (total > limit) {
      await reader.cancel();
      throw new Error('too large');
    }
    parts.push(value);
  }
  const out = new Uint8Array(total);
  let at = 0;
  for (const p of parts) { out.set(p, at); at += p.length; }
  return out;
}

// The fragment that carries `bytes` (a stored document), deflated.
export async function shareFragment(bytes) {
  const packed = await readAll(new Blob([bytes]).stream().pipeThrough(new CompressionStream('deflate-raw')), Infinity);
  return kSharePrefix + toBase64Url(packed);
}

// null when `hash` holds no song; the stored document when it does; throws when it is damaged
// (bad characters, a broken deflate stream, or more than the document limit once inflated).
export async function sharedDocument(hash) {
  if (!hash.startsWith(kSharePrefix)) return null;
  const packed = fromBase64Url(hash.slice(kSharePrefix.length));
  return readAll(new Blob([packed]).stream().pipeThrough(new DecompressionStream('deflate-raw')), kDocumentLimit);
}

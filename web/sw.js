// SPDX-License-Identifier: MIT
// Keeps the page working without a network once it has been loaded: every file of the page is
// cached when the worker installs, and each request goes to the network first (so a newer build is
// picked up at once) and to the cache when the network fails. Every answer carries the headers that
// make the page cross-origin isolated (the player's ring is then shared memory), wherever the page
// is served from; a page first opened without them is isolated from its next load on.
const kCache = 'tavolin-page';
const kFiles = ['./', 'index.html', 'themes.css', 'style.css', 'main.js', 'check-worker.js', 'player-worklet.js', 'render-worker.js', 'player.js',
  'tavolin-engine.mjs', 'tavolin-engine-core.mjs', 'tavolin-engine.wasm', 'LICENSE.txt', 'THIRD-PARTY-NOTICES.txt',
  'manifest.webmanifest', 'icon.svg', 'icon-192.png', 'icon-512.png',
  ...['demo', 'tones', 'lfo', 'drums', 'canon'].map((name) => `examples/${name}.mml`)];

self.addEventListener('install', (e) => {
  e.waitUntil(caches.open(kCache).then((c) => c.addAll(kFiles)).then(() => self.skipWaiting()));
});
self.addEventListener('activate', (e) => e.waitUntil(self.clients.claim()));
self.addEventListener('fetch', (e) => {
  if (e.request.method !== 'GET') return;
  e.respondWith((async () => {
    const cache = await caches.open(kCache);
    try {
      const response = await fetch(e.request);
      if (response.ok) await cache.put(e.request, response.clone());
      return isolated(response);
    } catch (failure) {
      const cached = await cache.match(e.request, { ignoreSearch: true });
      if (cached) return isolated(cached);
      throw failure;
    }
  })());
});

function isolated(response) {
  if (response.type === 'opaque' || response.headers.get('Cross-Origin-Embedder-Policy')) return response;
  const headers = new Headers(response.headers);
  headers.set('Cross-Origin-Opener-Policy', 'same-origin');
  headers.set('Cross-Origin-Embedder-Policy', 'require-corp');
  return new Response(response.body, { status: response.status, statusText: response.statusText, headers });
}

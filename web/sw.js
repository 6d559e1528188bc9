// The page's service worker: it keeps the page's files, so that after a
// first visit the page opens and runs with the network off. web/build.sh
// writes the version, a hash of the built files, and the list of the files
// to keep into build/web/sw.js; a rebuilt page is a new version, which the
// browser installs on the next visit that reaches the server, keeping the
// old files until the new ones are all in; then the old ones go.
const VERSION = 'zorvik-page-version';
const FILES = ['./'];
const CACHE = `zorvik-${VERSION}`;

self.addEventListener('install', (e) => {
  e.waitUntil((async () => {
    const cache = await caches.open(CACHE);
    // From the server, never from the browser's own cache of the old files.
    await cache.addAll(FILES.map((f) => new Request(f, {cache: 'reload'})));
    await self.skipWaiting();
  })());
});

self.addEventListener('activate', (e) => {
  e.waitUntil((async () => {
    for (const name of await caches.keys()) if (name.startsWith('zorvik-') && name !== CACHE) await caches.delete(name);
    await self.clients.claim();
  })());
});

// The kept files first; anything else (the manual's pages) from the
// network, kept as it comes for the next time the network is off.
self.addEventListener('fetch', (e) => {
  const url = new URL(e.request.url);
  if (e.request.method !== 'GET' || url.origin !== location.origin) return;
  e.respondWith((async () => {
    const cache = await caches.open(CACHE);
    const kept = await cache.match(e.request, {ignoreSearch: true});
    if (kept) return kept;
    const response = await fetch(e.request);
    if (response.ok) await cache.put(e.request, response.clone());
    return response;
  })());
});

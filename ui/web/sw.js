// Keeps the page's files, so that it opens without a network once it has been loaded.
// The cache's name changes with every build (build-web.sh stamps it), so a new build
// replaces the old files whole.
"use strict";
const CACHE = "halden-@BUILD@";
const FILES = ["./", "index.html", "style.css", "app.js", "webmidi.js", "halden.js",
  "halden.wasm", "manifest.webmanifest", "icon.svg"];

self.addEventListener("install", (e) => {
  e.waitUntil(caches.open(CACHE).then((c) => c.addAll(FILES)).then(() => self.skipWaiting()));
});
self.addEventListener("activate", (e) => {
  e.waitUntil(caches.keys()
    .then((keys) => Promise.all(keys.filter((k) => k !== CACHE).map((k) => caches.delete(k))))
    .then(() => self.clients.claim()));
});
// The network first, so that a page served anew is seen at once; the cache when offline.
self.addEventListener("fetch", (e) => {
  if (e.request.method !== "GET") return;
  e.respondWith(fetch(e.request).then((r) => {
    const copy = r.clone();
    if (r.ok) caches.open(CACHE).then((c) => c.put(e.request, copy));
    return r;
  }).catch(() => caches.match(e.request, { ignoreSearch: true })));
});

// The editor's language server, in a worker of its own so that reading a
// long program never holds up the page: zorvik-lsp's own server (lsp.js and
// lsp.wasm) handed one message body at a time, its messages posted back.
// Diagnostics go out once the messages pause for a moment, as they do from
// the native server.
importScripts('lsp.js');

const SETTLE_MS = 10;
const encoder = new TextEncoder();
let server = null;
let early = [];
let settle = 0;

function handle(body) {
  const bytes = encoder.encode(body);
  const at = server._malloc(bytes.length + 1);
  server.HEAPU8.set(bytes, at);
  const going = server._web_lsp_handle(at, bytes.length);
  server._free(at);
  clearTimeout(settle);
  if (!going) {
    close();
    return;
  }
  settle = setTimeout(() => server._web_lsp_publish(), SETTLE_MS);
}

onmessage = (e) => (server ? handle(e.data) : early.push(e.data));

globalThis.ZorvikLsp({lspSend: (body) => postMessage(body)}).then((m) => {
  server = m;
  for (const body of early) handle(body);
  early = null;
});

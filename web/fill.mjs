// An exported player: the template web/build.sh writes (build/web/
// player.html, the machine inside it) with one program put in. The program
// goes in as data only: its bytes, its name and its key script in base64 in
// a JSON block, the title escaped, so that no program can end the block or
// add markup, and bytes that are not UTF-8 stay as they are. Used by the
// page's Export, by web/export.sh and by the player to read it back.

const TITLE = '<title>Zorvik VM</title>';
const DATA = '<script id="zorvik-program" type="application/json">null</script>';

function toBase64(bytes) {
  let binary = '';
  for (let i = 0; i < bytes.length; i += 0x8000) binary += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
  return btoa(binary);
}

function fromBase64(text) {
  return Uint8Array.from(atob(text), (c) => c.charCodeAt(0));
}

const escapes = {'&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;', "'": '&#39;'};
const escapeHtml = (text) => text.replace(/[&<>"']/g, (c) => escapes[c]);

// Replaces the first `marker` of `text`, which must be there.
function put(text, marker, value) {
  const at = text.indexOf(marker);
  if (at < 0) throw new Error('the player template has no place for the program: rebuild it with web/build.sh');
  return text.slice(0, at) + value + text.slice(at + marker.length);
}

// The player for `program` (its bytes, or its text) named `name`; `replay`,
// optional, is a run to replay first, {seed, keys, frames, input}, as a
// link to a run carries it.
export function exportFill(template, {name, program, replay = null}) {
  const encoder = new TextEncoder();
  const bytes = typeof program === 'string' ? encoder.encode(program) : program;
  const data = {name: toBase64(encoder.encode(name)), program: toBase64(bytes)};
  if (replay) {
    data.seed = replay.seed >>> 0;
    data.frames = Math.max(0, Math.floor(replay.frames));
    data.keys = toBase64(encoder.encode(replay.keys || ''));
    data.input = toBase64(encoder.encode(replay.input || ''));
  }
  const title = escapeHtml(name.replace(/\.zvs$/i, '') || 'Zorvik VM');
  return put(put(template, TITLE, `<title>${title}</title>`), DATA,
             `<script id="zorvik-program" type="application/json">${JSON.stringify(data)}</script>`);
}

// What exportFill put in, from the data block's text: {name, bytes,
// replay}, or null for the template itself.
export function exportRead(text) {
  const data = JSON.parse(text);
  if (!data) return null;
  const decoder = new TextDecoder();
  const program = {name: decoder.decode(fromBase64(data.name)), bytes: fromBase64(data.program), replay: null};
  if (data.frames !== undefined)
    program.replay = {seed: data.seed >>> 0, frames: data.frames, keys: decoder.decode(fromBase64(data.keys)),
                      input: decoder.decode(fromBase64(data.input))};
  return program;
}

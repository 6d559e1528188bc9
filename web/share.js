// Share links: the whole program in the link's fragment, as
// #src=BASE64URL of its UTF-8 bytes compressed with raw DEFLATE, so that
// nothing leaves the browser. "&run" runs it on opening. A link to a run
// adds what a replay needs: "&seed=N&frames=N", and the key events (in
// zorvik-capture's --keys syntax) and the console input compressed as the
// program is, "&keys=...&input=...".

function toBase64Url(bytes) {
  let binary = '';
  for (let i = 0; i < bytes.length; i += 0x8000) binary += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
  return btoa(binary).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
}

function fromBase64Url(text) {
  if (!/^[A-Za-z0-9_-]*$/.test(text) || text.length % 4 === 1) throw new Error('it is not base64url text');
  const binary = atob(text.replace(/-/g, '+').replace(/_/g, '/'));
  return Uint8Array.from(binary, (c) => c.charCodeAt(0));
}

// The most a packed part may inflate to: far more than any program or run
// of this machine, and little enough that a crafted link cannot fill the
// page's memory.
export const INFLATE_MOST = 16 << 20;

async function through(stream, bytes) {
  const piped = new Blob([bytes]).stream().pipeThrough(stream);
  return new Uint8Array(await new Response(piped).arrayBuffer());
}

export class InflateTooLarge extends Error {}

// `bytes` inflated from `format` ('deflate' or 'deflate-raw'), read a piece
// at a time; throws InflateTooLarge past `most` bytes, without keeping more.
export async function inflateBounded(format, bytes, most = INFLATE_MOST) {
  const reader = new Blob([bytes]).stream().pipeThrough(new DecompressionStream(format)).getReader();
  const pieces = [];
  let size = 0;
  for (;;) {
    const {done, value} = await reader.read();
    if (done) break;
    size += value.length;
    if (size > most) {
      reader.cancel().catch(() => {});
      throw new InflateTooLarge(`would inflate past ${most >> 20} MiB`);
    }
    pieces.push(value);
  }
  const whole = new Uint8Array(size);
  let at = 0;
  for (const piece of pieces) {
    whole.set(piece, at);
    at += piece.length;
  }
  return whole;
}

async function pack(text) {
  return toBase64Url(await through(new CompressionStream('deflate-raw'), new TextEncoder().encode(text)));
}

// The text of a packed part; throws with the reason, naming the part.
async function unpack(packed, part) {
  let bytes;
  try {
    bytes = await inflateBounded('deflate-raw', fromBase64Url(packed));
  } catch (e) {
    if (e instanceof InflateTooLarge) throw new Error(`the ${part} in this link ${e.message}`);
    throw new Error(`the ${part} in this link cannot be read: it is cut short or was changed`);
  }
  try {
    return new TextDecoder('utf-8', {fatal: true}).decode(bytes);
  } catch (e) {
    throw new Error(`the ${part} in this link is not UTF-8 text`);
  }
}

export async function shareEncode(source) {
  return '#src=' + (await pack(source));
}

// A link to a run of `source`: `run` is {seed, frames, keys, input}.
export async function shareEncodeRun(source, run) {
  return `#src=${await pack(source)}&seed=${run.seed >>> 0}&frames=${Math.max(0, Math.floor(run.frames))}` +
    `&keys=${await pack(run.keys)}&input=${await pack(run.input)}`;
}

// A whole number from 0 to `most`, or null.
function count(text, most) {
  if (!/^[0-9]{1,10}$/.test(text || '')) return null;
  const n = Number(text);
  return n <= most ? n : null;
}

// The run of a link to one, {seed, frames, keys, input}; throws with the
// reason, naming the part that is broken.
async function shareDecodeRun(fields) {
  const seed = count(fields.get('seed'), 0xffffffff);
  if (seed === null) throw new Error(`its seed, '${fields.get('seed') ?? ''}', is not a number from 0 to 4294967295`);
  const frames = count(fields.get('frames'), Number.MAX_SAFE_INTEGER);
  if (frames === null) throw new Error(`its frame count, '${fields.get('frames') ?? ''}', is not a number`);
  const keys = fields.has('keys') ? await unpack(fields.get('keys'), 'key events') : '';
  const input = fields.has('input') ? await unpack(fields.get('input'), 'console input') : '';
  return {seed, frames, keys, input};
}

// The program and whether to run it, from a fragment; null when the
// fragment holds none; throws with the reason when the program does not
// decode. A link to a run also gives `replay`, the run, or `broken`, the
// reason its run cannot be replayed, while the program still opens.
export async function shareDecode(fragment) {
  const fields = new URLSearchParams(fragment.replace(/^#/, ''));
  if (!fields.has('src')) return null;
  const source = await unpack(fields.get('src'), 'program');
  const shared = {source, run: fields.has('run'), replay: null, broken: ''};
  if (fields.has('seed') || fields.has('frames') || fields.has('keys')) {
    try {
      shared.replay = await shareDecodeRun(fields);
    } catch (e) {
      shared.broken = e.message;
    }
  }
  return shared;
}

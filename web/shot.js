// Pictures that carry their program, as zorvik-capture and zorvik-play
// write them: zTXt chunks after the image data, before IEND, keyword
// "Zorvik program" for the source, "Zorvik name" for its file name and,
// for a run, "Zorvik seed", "Zorvik keys" (one key-script event list),
// "Zorvik input" and "Zorvik frame" (the shown frame pictured). Texts are
// zlib streams (CompressionStream('deflate')), an empty one a tEXt chunk as
// libpng writes it; tEXt is read for any of them. The
// reader walks the chunks itself, every length checked against the bytes
// there are, and inflates at most 16 MiB in all.

import {INFLATE_MOST, InflateTooLarge, inflateBounded} from './share.js';

const SIGNATURE = [0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a];
export const SHOT_MOST = INFLATE_MOST;
const KEYWORD = {program: 'Zorvik program', name: 'Zorvik name', seed: 'Zorvik seed', keys: 'Zorvik keys',
                 input: 'Zorvik input', frame: 'Zorvik frame'};

let crcTable = null;
function crc32(bytes) {
  if (!crcTable) {
    crcTable = new Uint32Array(256);
    for (let n = 0; n < 256; n++) {
      let c = n;
      for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
      crcTable[n] = c >>> 0;
    }
  }
  let c = 0xffffffff;
  for (const b of bytes) c = crcTable[(c ^ b) & 0xff] ^ (c >>> 8);
  return (c ^ 0xffffffff) >>> 0;
}

const latin1 = (text) => Uint8Array.from(text, (c) => c.charCodeAt(0));

function chunk(type, data) {
  const out = new Uint8Array(12 + data.length);
  const view = new DataView(out.buffer);
  view.setUint32(0, data.length);
  out.set(latin1(type), 4);
  out.set(data, 8);
  view.setUint32(8 + data.length, crc32(out.subarray(4, 8 + data.length)));
  return out;
}

async function deflate(bytes) {
  const piped = new Blob([bytes]).stream().pipeThrough(new CompressionStream('deflate'));
  return new Uint8Array(await new Response(piped).arrayBuffer());
}

export function shotIsPng(bytes) {
  return bytes.length >= 8 && SIGNATURE.every((b, i) => bytes[i] === b);
}

// The PNG `png` (its bytes) with the texts of `program`, {source, name,
// run}, `run` being {seed, frames, keys, input} or null. PNG text holds no
// zero byte: a source with one is not carried, nor a run whose keys or
// input have one.
export async function shotWrite(png, {source, name, run}) {
  if (source.includes('\0')) return png;
  const texts = [[KEYWORD.program, source], [KEYWORD.name, name]];
  if (run && !run.keys.includes('\0') && !run.input.includes('\0'))
    texts.push([KEYWORD.seed, String(run.seed >>> 0)], [KEYWORD.keys, run.keys], [KEYWORD.input, run.input],
               [KEYWORD.frame, String(Math.max(0, Math.floor(run.frames)))]);
  const chunks = [];
  for (const [keyword, text] of texts) {
    // An empty text is a tEXt chunk, as libpng writes it.
    if (!text) {
      chunks.push(chunk('tEXt', Uint8Array.from([...latin1(keyword), 0])));
      continue;
    }
    const packed = await deflate(new TextEncoder().encode(text));
    const data = new Uint8Array(keyword.length + 2 + packed.length);
    data.set(latin1(keyword));  // followed by the keyword's end and method 0, zlib
    data.set(packed, keyword.length + 2);
    chunks.push(chunk('zTXt', data));
  }
  // Before IEND, the last chunk that a PNG the browser made has.
  const end = png.length - 12;
  if (end < 8 || typeName(png.subarray(end + 4, end + 8)) !== 'IEND') throw new Error('the PNG does not end in IEND');
  const out = new Uint8Array(png.length + chunks.reduce((n, c) => n + c.length, 0));
  out.set(png.subarray(0, end));
  let at = end;
  for (const c of chunks) {
    out.set(c, at);
    at += c.length;
  }
  out.set(png.subarray(end), at);
  return out;
}

// Inflates a zlib stream into at most `room` bytes; throws with why.
async function inflate(bytes, room, where) {
  try {
    return await inflateBounded('deflate', bytes, room);
  } catch (e) {
    if (e instanceof InflateTooLarge) throw new RangeError(`${where} inflates past ${SHOT_MOST >> 20} MiB`);
    throw new Error(`${where} does not inflate: it is cut short or damaged`);
  }
}

const typeName = (bytes) => String.fromCharCode(...bytes).replace(/[^A-Za-z]/g, '?');

// Every tEXt and zTXt text of a PNG, keyword to bytes, the first of a
// keyword twice counting; throws with what is wrong.
async function shotTexts(png) {
  if (!shotIsPng(png)) throw new Error('it is not a PNG (its signature is missing)');
  const view = new DataView(png.buffer, png.byteOffset, png.byteLength);
  const texts = new Map();
  let at = 8, inflated = 0;
  for (;;) {
    if (png.length - at < 12)
      throw new Error(at === png.length ? 'it ends before its IEND chunk'
                                        : `it is cut short: the chunk at byte ${at} is not whole`);
    const length = view.getUint32(at);
    const type = typeName(png.subarray(at + 4, at + 8));
    let where = `the ${type} chunk at byte ${at}`;
    if (length > 0x7fffffff || length > png.length - at - 12) {
      // A text's keyword, when what is there holds it, names the text.
      const zero = png.subarray(at + 8, at + 88).indexOf(0);
      if ((type === 'tEXt' || type === 'zTXt') && zero >= 0)
        where = `the ${type} chunk "${String.fromCharCode(...png.subarray(at + 8, at + 8 + zero))}" at byte ${at}`;
      throw new Error(`${where} is cut short: it says ${length} bytes, and the file has ${png.length - at - 12} more`);
    }
    const data = png.subarray(at + 8, at + 8 + length);
    if (crc32(png.subarray(at + 4, at + 8 + length)) !== view.getUint32(at + 8 + length))
      throw new Error(`${where} is damaged (its CRC does not match)`);
    if (type === 'IEND') return texts;
    if (type === 'tEXt' || type === 'zTXt') {
      const zero = data.indexOf(0);
      if (zero < 1 || zero > 79) throw new Error(`${where} has no keyword of 1 to 79 bytes`);
      const keyword = String.fromCharCode(...data.subarray(0, zero));
      where = `the ${type} chunk "${keyword}"`;
      let text = data.subarray(zero + 1);
      if (type === 'zTXt') {
        if (!text.length) throw new Error(`${where} is cut short`);
        if (text[0] !== 0) throw new Error(`${where} is compressed by an unknown method`);
        text = await inflate(text.subarray(1), SHOT_MOST - inflated, where);
      } else if (text.length > SHOT_MOST - inflated) {
        throw new Error(`${where} takes the texts past ${SHOT_MOST >> 20} MiB`);
      }
      inflated += text.length;
      if (!texts.has(keyword)) texts.set(keyword, text);
    }
    at += 12 + length;
  }
}

function utf8(bytes, what) {
  try {
    return new TextDecoder('utf-8', {fatal: true}).decode(bytes);
  } catch (e) {
    throw new Error(`its ${what} is not UTF-8 text`);
  }
}

// What a PNG carries: {source, name, replay, broken}, `replay` being the
// run {seed, frames, keys, input} or null, `broken` why a run it has cannot
// be replayed; throws with what is wrong when it carries no program.
export async function shotRead(png) {
  const texts = await shotTexts(png);
  if (!texts.has(KEYWORD.program)) throw new Error(`it holds no program (no "${KEYWORD.program}" text)`);
  const source = utf8(texts.get(KEYWORD.program), 'program');
  let name = texts.has(KEYWORD.name) ? new TextDecoder().decode(texts.get(KEYWORD.name)) : '';
  if (/[\\/\u0000]/.test(name) || name === '.' || name === '..') name = '';
  const shot = {source, name, replay: null, broken: ''};
  if (!texts.has(KEYWORD.seed)) return shot;
  const number = (keyword, most) => {
    const text = texts.has(keyword) ? String.fromCharCode(...texts.get(keyword).subarray(0, 40)) : '';
    return /^[0-9]{1,19}$/.test(text) && Number(text) <= most ? Number(text) : null;
  };
  const seed = number(KEYWORD.seed, 0xffffffff), frames = number(KEYWORD.frame, Number.MAX_SAFE_INTEGER);
  try {
    if (seed === null) throw new Error('its seed is not a number from 0 to 4294967295');
    if (frames === null) throw new Error('its frame is not a number');
    const text = (keyword, what) => (texts.has(keyword) ? utf8(texts.get(keyword), what) : '');
    shot.replay = {seed, frames, keys: text(KEYWORD.keys, 'key events'), input: text(KEYWORD.input, 'console input')};
  } catch (e) {
    shot.broken = e.message;
  }
  return shot;
}

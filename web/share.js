// Share links: the whole program in the link's fragment, as
// #src=BASE64URL of its UTF-8 bytes compressed with raw DEFLATE, so that
// nothing leaves the browser. "&run" runs it on opening.

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

async function through(stream, bytes) {
  const piped = new Blob([bytes]).stream().pipeThrough(stream);
  return new Uint8Array(await new Response(piped).arrayBuffer());
}

export async function shareEncode(source) {
  const packed = await through(new CompressionStream('deflate-raw'), new TextEncoder().encode(source));
  return '#src=' + toBase64Url(packed);
}

// The program and whether to run it, from a fragment; null when the
// fragment holds none; throws with the reason when it does not decode.
export async function shareDecode(fragment) {
  const fields = new URLSearchParams(fragment.replace(/^#/, ''));
  if (!fields.has('src')) return null;
  let bytes;
  try {
    bytes = await through(new DecompressionStream('deflate-raw'), fromBase64Url(fields.get('src')));
  } catch (e) {
    throw new Error('the program in this link cannot be read: it is cut short or was changed');
  }
  let source;
  try {
    source = new TextDecoder('utf-8', {fatal: true}).decode(bytes);
  } catch (e) {
    throw new Error('the program in this link is not UTF-8 text');
  }
  return {source, run: fields.has('run')};
}

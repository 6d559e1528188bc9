// The debugger in the page, through the Debug Adapter Protocol: requests go
// to zorvik-debug's own dispatcher in the debugger's module one at a time,
// as its native adapter takes them from standard input; pause, terminate
// and disconnect stop a running program at once, as there. The program's
// console output becomes output events.
import {hostDebuggerRuns, hostDebuggerWaits, hostLoadDebugger} from './host.js';

let module = null;
let loading = null;
let busy = false;
let seq = 1;
const queue = [];
const pending = new Map();   // request seq → resolve
const listeners = new Set();
let out = [];                // the program's output not yet sent

function deliver(message) {
  if (message.type === 'response') {
    const resolve = pending.get(message.request_seq);
    pending.delete(message.request_seq);
    if (resolve) resolve(message);
    return;
  }
  for (const listener of listeners) listener(message);
}

function flushOutput() {
  if (!out.length) return;
  const text = new TextDecoder().decode(new Uint8Array(out));
  out = [];
  deliver({type: 'event', event: 'output', body: {category: 'stdout', output: text}});
}

function load() {
  loading ??= hostLoadDebugger((text) => { flushOutput(); deliver(JSON.parse(text)); }, (byte) => {
    out.push(byte);
    if (byte === 10 || out.length >= 65536) flushOutput();
  }).then((m) => {
    module = m;
    module._web_dap_start();
    return m;
  });
  return loading;
}

// A launch may carry the program's text: it is written where `program`
// names it (the editor's text, by default), for the stack frames and the
// breakpoints to name.
function prepare(request, editorText) {
  if (request.command !== 'launch') return;
  const args = request.arguments || (request.arguments = {});
  const source = typeof args.source === 'string' ? args.source : args.program === undefined ? editorText() : null;
  if (source === null) return;
  args.program ??= 'program.zvs';
  const path = args.program.startsWith('/') ? args.program : `/${args.program}`;
  module.FS.mkdirTree(path.slice(0, path.lastIndexOf('/')) || '/');
  module.FS.writeFile(path, new TextEncoder().encode(source));
  delete args.source;
}

async function pump(editorText) {
  if (busy || !queue.length) return;
  busy = true;
  const request = queue.shift();
  try {
    await load();
    prepare(request, editorText);
    hostDebuggerRuns(module);
    await module.ccall('web_dap', 'number', ['string'], [JSON.stringify(request)], {async: true});
  } catch (e) {
    deliver({type: 'response', request_seq: request.seq, success: false, command: request.command,
             message: String(e && e.message || e)});
  }
  flushOutput();
  hostDebuggerWaits();
  busy = false;
  pump(editorText);
}

// Sends `request` (an object: command, arguments); a promise of the
// response. `editorText` gives the editor's text for a launch without one.
export function dapRequest(request, editorText) {
  const message = {...request, type: 'request', seq: seq++};
  const response = new Promise((resolve) => pending.set(message.seq, resolve));
  if (busy && module && ['pause', 'terminate', 'disconnect'].includes(message.command)) module._web_stop();
  queue.push(message);
  pump(editorText);
  return response;
}

// `callback` hears every event: stopped, output, exited, terminated...
export function dapOnEvent(callback) {
  listeners.add(callback);
  return () => listeners.delete(callback);
}

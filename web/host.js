// The machine in the page: one instance of the WebAssembly machine, the
// functions it calls back (drawing, console input, pacing and the pause),
// and the state of the run in progress.
import keyTable from './keys.json';

const WIDTH = 480, HEIGHT = 272;
const empty = new Uint8Array(0);
const encoder = new TextEncoder();

let machine = null;
let loading = null;
let view = null;          // the visible canvas's context
let lastFrame = null;     // the last shown frame, RGBA
let listeners = {};
const run = {
  state: 'idle',
  stopping: false,
  pause: true,
  given: null,            // console input given up front, or null to ask
  queued: empty,          // console input typed but not read yet
  out: [], outLength: 0,  // standard output, in chunks
  dropped: 0,             // bytes of it no longer kept
  unshown: false,         // output the pane has not shown yet
  waiting: null,          // the machine's callback while it waits for the page
  waitingFor: null,       // 'frame', 'turn', 'input' or 'pause'
  done: null,             // the promise of the run
  keys: [],               // scripted key events: [frame, key name, down]
};

function emit(name, ...args) {
  if (listeners[name]) listeners[name](...args);
}

export function hostOn(handlers) {
  listeners = handlers;
}

function setState(state) {
  run.state = state;
  emit('state', state);
}

// A channel message comes back sooner than a timer, which browsers hold to
// 4 ms or more once timers nest.
const turnChannel = new MessageChannel();
turnChannel.port1.onmessage = () => wake();

function wait(kind, callback) {
  run.waiting = callback;
  run.waitingFor = kind;
}

function wake(bytes) {
  const callback = run.waiting;
  run.waiting = null;
  run.waitingFor = null;
  if (callback) callback(bytes || empty);
}

// At most one line of `bytes`, and no more than `room`; the rest stays.
function takeLine(room) {
  const source = run.given !== null ? run.given : run.queued;
  let end = source.indexOf(10);
  end = end < 0 ? source.length : end + 1;
  end = Math.min(end, room);
  const line = source.subarray(0, end);
  if (run.given !== null) run.given = source.subarray(end);
  else run.queued = source.subarray(end);
  return line;
}

const host = {
  present(pixels, width, height) {
    if (!lastFrame || lastFrame.length !== pixels.length) lastFrame = new Uint8ClampedArray(pixels.length);
    lastFrame.set(pixels);
    if (view) view.putImageData(new ImageData(lastFrame, width, height), 0, 0);
    emit('frame');
  },
  waitFrame(callback) {
    showRunning();
    if (run.stopping) return callback();
    wait('frame', callback);
    requestAnimationFrame(() => { if (run.waitingFor === 'frame') wake(); });
  },
  shown(count) {
    for (const [frame, name, down] of run.keys) if (frame === count) hostKey(name, down);
  },
  giveWay(callback) {
    showRunning();
    wait('turn', callback);
    turnChannel.port2.postMessage(0);
  },
  read(isTerminal, room, callback) {
    if (run.stopping) return callback(empty);
    if (isTerminal) {
      // The pause at nop: without a pause there is nobody at the terminal.
      if (!run.pause) return callback(empty);
      wait('pause', callback);
      emit('output', outputTail());
      setState('waiting-input');
      emit('pause');
      return;
    }
    if (run.given !== null || run.queued.length) return callback(takeLine(room));
    wait('input', () => callback(takeLine(room)));
    emit('output', outputTail());
    setState('waiting-input');
    emit('input');
  },
};

// Standard output is kept in chunks, up to OUTPUT_KEPT bytes: past that the
// oldest chunks go, so that a long trace cannot exhaust the page's memory.
const CHUNK = 1 << 16;
const OUTPUT_KEPT = 64 << 20;
const TAIL_SHOWN = 200000;

function writeOut(byte) {
  let last = run.out[run.out.length - 1];
  if (!last || last.used === CHUNK) {
    last = {bytes: new Uint8Array(CHUNK), used: 0};
    run.out.push(last);
    if (run.out.length * CHUNK > OUTPUT_KEPT) run.dropped += run.out.shift().used;
  }
  last.bytes[last.used++] = byte;
  run.outLength++;
  run.unshown = true;
}

function outputBytes(from) {
  const kept = run.outLength - run.dropped;
  from = Math.max(0, Math.min(from, kept));
  const all = new Uint8Array(kept - from);
  let at = -from;
  for (const chunk of run.out) {
    const part = chunk.bytes.subarray(0, chunk.used);
    if (at + part.length > 0) all.set(at < 0 ? part.subarray(-at) : part, Math.max(at, 0));
    at += part.length;
  }
  return all;
}

function outputText() {
  const text = new TextDecoder().decode(outputBytes(0));
  return run.dropped ? `[the first ${run.dropped} bytes of output are not kept]\n${text}` : text;
}

// The end of the output, for the console pane.
function outputTail() {
  const kept = run.outLength - run.dropped;
  const cut = run.dropped > 0 || kept > TAIL_SHOWN;
  const text = new TextDecoder().decode(outputBytes(kept - TAIL_SHOWN));
  return cut ? '…' + text : text;
}

// The console pane follows a running program a few times a second.
let lastShown = 0;
function showRunning() {
  const now = performance.now();
  if (!run.unshown || now - lastShown < 200) return;
  lastShown = now;
  run.unshown = false;
  emit('output', outputTail());
}

// SDL's own canvas, never shown: SDL reads it back at every lock, which a
// canvas kept in memory does fastest.
let sdlContext = null;
function sdlCanvas() {
  const canvas = document.createElement('canvas');
  sdlContext = canvas.getContext('2d', {willReadFrequently: true});
  return canvas;
}

// Loads the machine once; `canvas` shows its frames.
export function hostLoad(canvas) {
  view = canvas.getContext('2d');
  if (!loading) {
    loading = globalThis.ZorvikMachine({
      host,
      canvas: sdlCanvas(),
      keyboardListeningElement: document.createElement('div'),  // keys come through hostKey
      stdin: () => null,
      stdout: (byte) => { if (byte !== null) writeOut(byte); },
      stderr: () => {},
      print: () => {},
      printErr: (text) => console.debug(text),
    }).then((m) => { machine = m; return m; });
  }
  return loading;
}

// Runs `source`: resolves with the machine's status and standard output.
// The options: `input`, the console input (else the page asks for each
// line); `debug`, 0, 1 or 2; `pause: false` passes over the pause at nop;
// `fullSpeed`; `frames`, the shown frames after which the run ends; `keys`,
// key events [frame, key name, down] that go into the queue once that many
// frames have been shown.
let latest = 0;
let chain = Promise.resolve();

export function hostRun(source, options = {}) {
  const mine = ++latest;
  hostStop();
  const result = chain.then(() => (mine === latest ? runNow(source, options) : {status: 130, console: ''}));
  chain = result.catch(() => {});
  return result;
}

// One run at a time: a run asked for while another is on its way stops
// that one, and one asked for later still takes the place of both.
async function runNow(source, options) {
  await hostLoad(options.canvas || view.canvas);
  machine.FS.writeFile('/program.zvs', typeof source === 'string' ? encoder.encode(source) : source);
  run.stopping = false;
  run.pause = options.pause !== false;
  run.given = options.input === undefined || options.input === null ? null : encoder.encode(String(options.input));
  run.queued = empty;
  run.out = [];
  run.outLength = 0;
  run.dropped = 0;
  run.keys = options.keys || [];
  lastFrame = null;
  emit('output', '');
  // Each run opens a new window, black until its first frame.
  sdlContext.clearRect(0, 0, sdlContext.canvas.width, sdlContext.canvas.height);
  view.fillRect(0, 0, view.canvas.width, view.canvas.height);
  setState('running');
  let status;
  try {
    run.done = Promise.resolve(machine.ccall('web_run', 'number', ['number', 'number', 'number'],
                                             [options.debug | 0, options.fullSpeed ? 1 : 0, options.frames | 0],
                                             {async: true}));
    status = await run.done;
  } catch (e) {
    // The machine left by exit() or failed: its module cannot go on, and the
    // next run loads a new one.
    status = e && e.name === 'ExitStatus' ? e.status : 1;
    if (status === 1 && !(e && e.name === 'ExitStatus')) console.error(e);
    machine = null;
    loading = null;
  }
  run.done = null;
  const result = {status, console: outputText()};
  setState('ended');
  emit('output', outputTail());
  return result;
}

// Ends the run in progress, whatever it is doing, at the machine's next step.
export function hostStop() {
  if (!machine || !run.done) return;
  run.stopping = true;
  machine._web_stop();
  if (run.waitingFor === 'frame' || run.waitingFor === 'pause' || run.waitingFor === 'input') {
    run.given = null;
    run.queued = empty;
    wake(empty);
  }
}

// A line typed at the console's input line.
export function hostSendLine(text) {
  const line = encoder.encode(text + '\n');
  const joined = new Uint8Array(run.queued.length + line.length);
  joined.set(run.queued);
  joined.set(line, run.queued.length);
  run.queued = joined;
  if (run.waitingFor === 'input') {
    setState('running');
    wake();
  }
}

// Continue after the pause at nop.
export function hostContinue() {
  if (run.waitingFor !== 'pause') return;
  setState('running');
  wake(new Uint8Array([32]));
}

export function hostSetFullSpeed(on) {
  if (machine) machine._web_set_full_speed(on ? 1 : 0);
}

// A key by SDL's name, or by the browser's key code; false when none.
export function hostKey(name, down) {
  const number = keyTable.names[name] ?? keyTable.names[String(name).toLowerCase()] ?? keyTable.names[keyTable.codes[name]];
  if (number === undefined || !machine) return false;
  machine._web_key(number, down ? 1 : 0);
  return true;
}

export function hostCodeKnown(code) {
  return code in keyTable.codes;
}

export function hostState() {
  return run.state;
}

export function hostOutput() {
  return outputText();
}

export function hostFrame() {
  return lastFrame ? {width: WIDTH, height: HEIGHT, rgba: new Uint8ClampedArray(lastFrame)} : null;
}

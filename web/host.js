// The machine in the page: one instance of the WebAssembly machine, the
// functions it calls back (drawing, console input, pacing and the pause),
// and the state of the run in progress.
import keyTable from './keys.json';

const WIDTH = 480, HEIGHT = 272;
const empty = new Uint8Array(0);
const encoder = new TextEncoder();

let machine = null;
let loading = null;
let keysTo = null;        // the module that runs a program: the machine or the debugger
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
  shown: 0,               // bytes of it passed to the console pane
  waiting: null,          // the machine's callback while it waits for the page
  waitingFor: null,       // 'frame', 'turn', 'input' or 'pause'
  done: null,             // the promise of the run
  source: '',             // the program
  seed: 0,                // the seed of its random numbers
  read: [], readLength: 0, // the console input the program read, in lines
  replayUntil: 0,         // a replay's frames: until then the keys are the script's
  replayFrame: null,      // the frame a replay ended its frames with
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

// Refreshes keep to 60 frames a second (or the speed chosen) by the clock, whatever the
// display's rate: a refresh shows at the first animation frame at or after
// its time, and the next is due a sixtieth of a second after that time,
// not after the animation frame, so a 120 or 144 Hz display keeps the same
// pace. A late refresh shows at the next animation frame and the schedule
// starts again from it, without a burst to catch up.
const EARLY_MS = 4;        // an animation frame this close to the time shows it
const pace = {started: false, shownAt: 0, frameMs: 1000 / 60, full: false};

function frameDue(now) {
  const due = pace.shownAt + pace.frameMs;
  pace.shownAt = pace.started && now < due ? due : now;
  pace.started = true;
  return pace.shownAt;
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

// A line for the program, kept as the run's console input.
function readLine(room) {
  const line = takeLine(room);
  if (line.length) {
    run.read.push(line);
    run.readLength += line.length;
  }
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
    if (run.stopping) return callback();
    wait('frame', callback);
    const due = frameDue(performance.now());
    const look = (now) => {
      if (run.waitingFor !== 'frame') return;
      if (now >= due - EARLY_MS) wake();
      else requestAnimationFrame(look);
    };
    requestAnimationFrame(look);
  },
  shown(count) {
    if (run.replayUntil && count >= run.replayUntil) {
      run.replayUntil = 0;
      run.replayFrame = lastFrame ? new Uint8ClampedArray(lastFrame) : null;
      emit('replayed', count);
    }
  },
  giveWay(callback) {
    wait('turn', callback);
    turnChannel.port2.postMessage(0);
  },
  read(isTerminal, room, callback) {
    if (run.stopping) return callback(empty);
    if (isTerminal) {
      // The pause at nop: without a pause there is nobody at the terminal.
      if (!run.pause) return callback(empty);
      wait('pause', callback);
      showOutput();
      setState('waiting-input');
      emit('pause');
      return;
    }
    if (run.given !== null || run.queued.length) return callback(readLine(room));
    wait('input', () => callback(readLine(room)));
    showOutput();
    setState('waiting-input');
    emit('input');
  },
};

// Standard output is kept in chunks, up to OUTPUT_KEPT bytes: past that the
// oldest chunks go, so that a long trace cannot exhaust the page's memory.
// The console pane gets what is new at most once per animation frame, and
// no more of it than BATCH_SHOWN bytes, the end: it shows the last lines
// only.
const CHUNK = 1 << 16;
const OUTPUT_KEPT = 64 << 20;
const BATCH_SHOWN = 1 << 20;
let showQueued = false;
let decoder = new TextDecoder();

function writeOut(byte) {
  let last = run.out[run.out.length - 1];
  if (!last || last.used === CHUNK) {
    last = {bytes: new Uint8Array(CHUNK), used: 0};
    run.out.push(last);
    if (run.out.length * CHUNK > OUTPUT_KEPT) run.dropped += run.out.shift().used;
  }
  last.bytes[last.used++] = byte;
  run.outLength++;
  if (!showQueued) {
    showQueued = true;
    requestAnimationFrame(showOutput);
  }
}

// The output from byte `from` up to byte `to`, counted from the run's
// start, as far as it is kept; of the run in progress or of `kept`, an
// earlier run's {out, outLength, dropped}.
function outputBytes(from, to = run.outLength, kept = run) {
  from = Math.max(from, kept.dropped);
  to = Math.max(from, Math.min(to, kept.outLength));
  const all = new Uint8Array(to - from);
  let at = kept.dropped;
  for (const chunk of kept.out) {
    const next = at + chunk.used;
    if (next > from && at < to)
      all.set(chunk.bytes.subarray(Math.max(from - at, 0), Math.min(to, next) - at), Math.max(at - from, 0));
    at = next;
  }
  return all;
}

function outputText(kept = run) {
  const text = new TextDecoder().decode(outputBytes(0, kept.outLength, kept));
  return kept.dropped ? `[the first ${kept.dropped} bytes of output are not kept]\n${text}` : text;
}

// The run's result. Its console is decoded when first asked for: a long
// trace is many megabytes, and Stop should not wait for them.
function runResult(status) {
  const kept = {out: run.out, outLength: run.outLength, dropped: run.dropped};
  let text = null;
  return {
    status,
    get console() {
      if (text === null) text = outputText(kept);
      return text;
    },
  };
}

function newlines(bytes) {
  let n = 0;
  for (let i = bytes.indexOf(10); i >= 0; i = bytes.indexOf(10, i + 1)) n++;
  return n;
}

// Passes the output not yet shown to the console pane. Past BATCH_SHOWN
// bytes it passes over the older part, from a line's start, with the number
// of lines passed over.
function showOutput() {
  showQueued = false;
  const end = run.outLength;
  let from = Math.max(run.shown, run.dropped);
  let skipped = 0;
  if (end - from > BATCH_SHOWN) {
    const over = outputBytes(from, end - BATCH_SHOWN);
    skipped = Math.max(newlines(over), 1);
    from += over.lastIndexOf(10) + 1;
    decoder = new TextDecoder();
  }
  run.shown = end;
  if (from === end && !skipped) return;
  emit('output', decoder.decode(outputBytes(from, end), {stream: true}), skipped);
}


// `owns()` says whether the module owns the screen now: a frame that a
// stopping run shows after the debugger took over is not shown.
function moduleOptions(stdout, owns) {
  return {
    host: {...host, present: (...frame) => { if (owns()) host.present(...frame); }},
    canvas: document.createElement('canvas'),  // SDL's own, never drawn: see library.js
    keyboardListeningElement: document.createElement('div'),  // keys come through hostKey
    stdin: () => null,
    stdout: (byte) => { if (byte !== null) stdout(byte); },
    stderr: () => {},
    print: () => {},
    printErr: (text) => console.debug(text),
  };
}

// Loads the machine once; `canvas` shows its frames. `wasmBinary`, the
// machine's WebAssembly as bytes, is for a page that carries it inside
// (the exported player): then nothing is fetched.
let wasmBinary = null;
export function hostLoad(canvas, options = {}) {
  view = canvas.getContext('2d');
  if (options.wasmBinary) wasmBinary = options.wasmBinary;
  if (!loading) {
    loading = globalThis.ZorvikMachine({...moduleOptions(writeOut, () => keysTo === machine),
                                        ...(wasmBinary ? {wasmBinary} : {})})
      .then((m) => { machine = m; keysTo = m; return m; });
  }
  return loading;
}

// The debugger's module (debug.js): the machine as the engine a debugger
// drives, on the same screen. `message` hears its protocol messages and
// `stdout` the program's output, a byte at a time.
export async function hostLoadDebugger(message, stdout) {
  if (!globalThis.ZorvikDebug) {
    await new Promise((ok, fail) => {
      const script = document.createElement('script');
      script.src = 'debug.js';
      script.onload = ok;
      script.onerror = () => fail(new Error('debug.js did not load'));
      document.head.append(script);
    });
  }
  host.dapMessage = message;
  let module = null;
  module = await globalThis.ZorvikDebug(moduleOptions(stdout, () => keysTo === module));
  return module;
}

// The debugger's module is about to run: the machine's run ends, and keys
// and waits are the debugger's now.
export function hostDebuggerRuns(module) {
  hostStop();
  keysTo = module;
  module._web_set_full_speed(pace.full ? 1 : 0);
  run.stopping = false;
  run.pause = true;
  if (run.state !== 'running') setState('running');
}

export function hostDebuggerWaits() {
  setState('ended');
}

// Runs `source`: resolves with the machine's status and standard output.
// The options: `input`, the console input (else the page asks for each
// line); `debug`, 0, 1 or 2; `pause: false` passes over the pause at nop;
// `fullSpeed`; `frames`, the shown frames after which the run ends; `keys`,
// key events [frame, key name, down] that go into the queue once that many
// frames have been shown, or their text in zorvik-capture's --keys syntax;
// `seed`, the seed of the random numbers (else the clock's, in seconds, as
// natively); `typedInput`, console input read as if typed ahead, before
// the page asks; `replayFrames`, the frames during which only `keys`
// press keys (the page's keys go to the program after them); `keysEnd`,
// the last frame a key event may have.
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
  run.shown = 0;
  decoder = new TextDecoder();
  run.source = typeof source === 'string' ? source : new TextDecoder().decode(source);
  run.seed = options.seed === undefined || options.seed === null ? Math.floor(Date.now() / 1000) >>> 0
    : Number(options.seed) >>> 0;
  run.read = [];
  run.readLength = 0;
  if (options.typedInput) {
    run.queued = encoder.encode(String(options.typedInput));
    if (run.given !== null) run.given = null;
  }
  run.replayUntil = options.replayFrames > 0 ? options.replayFrames : 0;
  run.replayFrame = null;
  const script = Array.isArray(options.keys)
    ? options.keys.map(([frame, name, down]) => `${frame}:${name}:${down ? 'down' : 'up'}`).join('\n')
    : String(options.keys || '');
  const bad = machine.ccall('web_set_keys', 'string', ['string', 'number'],
                            [script, options.keysEnd >= 0 ? options.keysEnd : -1]);
  if (bad) throw new Error(bad);
  keysTo = machine;
  pace.started = false;
  emit('reset');
  // Each run opens a new window, black until its first frame.
  hostClear();
  setState('running');
  let status;
  try {
    run.done = Promise.resolve(machine.ccall('web_run', 'number', ['number', 'number', 'number', 'number'],
                                             [options.debug | 0, options.fullSpeed ? 1 : 0, options.frames | 0, run.seed | 0],
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
  const result = runResult(status);
  showOutput();
  setState('ended');
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
  emit('echo', text);
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
  pace.started = false;
  pace.full = !!on;
  if (machine) machine._web_set_full_speed(on ? 1 : 0);
  if (keysTo && keysTo !== machine) keysTo._web_set_full_speed(on ? 1 : 0);
}

// Refreshes a second, for the machine and the debugger alike; 0 for full
// speed.
export function hostSetSpeed(fps) {
  if (fps > 0) pace.frameMs = 1000 / fps;
  hostSetFullSpeed(!(fps > 0));
}

// A key by SDL's name, or by the browser's key code; false when none.
export function hostKey(name, down) {
  if (run.replayUntil && keysTo === machine && run.done) return false;
  const number = keyTable.names[name] ?? keyTable.names[String(name).toLowerCase()] ?? keyTable.names[keyTable.codes[name]];
  if (number === undefined || !keysTo) return false;
  keysTo._web_key(number, down ? 1 : 0);
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

// The last run's statements and frames so far, or null before any.
export function hostProgress() {
  if (!machine || keysTo !== machine) return null;
  return {statements: machine._web_statements(), frames: machine._web_frames()};
}

// The run the screen shows, as a replay needs it: its source, seed, the console
// input it read, the key events its window received by shown frame (in
// zorvik-capture's --keys syntax) and the frames it has shown; null before
// any run.
export function hostRecord() {
  if (!machine || keysTo !== machine) return null;
  const input = new Uint8Array(run.readLength);
  let at = 0;
  for (const line of run.read) {
    input.set(line, at);
    at += line.length;
  }
  return {source: run.source, seed: run.seed, input: new TextDecoder().decode(input),
          keys: machine.UTF8ToString(machine._web_received_keys()), frames: machine._web_frames()};
}

// The frame a replay's last frame showed, or null.
export function hostReplayFrame() {
  return run.replayFrame ? {width: WIDTH, height: HEIGHT, rgba: new Uint8ClampedArray(run.replayFrame)} : null;
}

// A new session's screen: black, as a new window is.
export function hostClear() {
  lastFrame = null;
  if (view) view.fillRect(0, 0, view.canvas.width, view.canvas.height);
}

export function hostFrame() {
  return lastFrame ? {width: WIDTH, height: HEIGHT, rgba: new Uint8ClampedArray(lastFrame)} : null;
}

// The page's debugger: a client of window.zorvik.dap, as an editor's
// debugger is a client of zorvik-debug --dap. It launches the editor's
// program, keeps the gutter's breakpoints in step, moves the program
// forward and back, and at each stop shows where it is, the registers, the
// flags, the stacks, memory, the watches and the picture that memory holds.
import {consoleClear, consoleWrite} from './console.js';
import {hostClear, hostSetFullSpeed, hostSetSpeed} from './host.js';
import {dapOnEvent, dapRequest} from './dap.js';
import {StateEffect} from '@codemirror/state';
import {marksBreakpoints, marksCursorLine, marksExtensions, marksSetBreakpoint, marksSetBreakpoints,
        marksShowStop, marksToggle} from './marks.js';
import {editorOnLineNumber} from './editor.js';

const $ = (id) => document.getElementById(id);
const SIDE = 255;   // the screen area's columns and rows

let editor = null;
let fileName = () => 'program.zvs';
let onStart = () => {};
// The session: the program's path, and whether it runs, stands stopped or
// has ended; `atEnd` while it stands at the end of a recorded run, which
// only going back leaves; `resumeAfter` asks for a continue once the
// breakpoints changed while it ran.
let session = null;
let placing = false;       // the debugger is moving the gutter's marks itself
const watches = [];
const memory = {address: -1, count: 0, previous: null, current: null};

function say(text) {
  $('d-status').textContent = text;
}

// A request's body; a refused request throws its message.
async function ask(command, args = {}) {
  const response = await dapRequest({command, arguments: args}, () => editor.state.doc.toString());
  if (!response.success) throw new Error(response.message || `${command} failed`);
  return response.body || {};
}

function bytesOf(base64) {
  const text = atob(base64 || '');
  const out = new Uint8Array(text.length);
  for (let i = 0; i < text.length; i++) out[i] = text.charCodeAt(i);
  return out;
}

function hex(n, width) {
  return n.toString(16).toUpperCase().padStart(width, '0');
}

function live() {
  return session && session.state !== 'ended';
}

const FORWARD = ['d-continue', 'd-step', 'd-next', 'd-finish', 'd-cursor', 'd-frame'];
const BACK = ['d-back', 'd-back-over', 'd-back-out', 'd-reverse'];

// The buttons that make sense now: at the end of a recorded run, only
// those that go back.
function showState(state) {
  const stopped = state === 'stopped', running = state === 'running';
  for (const id of FORWARD) $(id).disabled = !stopped || Boolean(session && session.atEnd);
  for (const id of BACK) $(id).disabled = !stopped;
  $('d-pause').disabled = !running;
  $('d-stop').disabled = !(stopped || running);
  $('d-controls').hidden = !(stopped || running);
  $('debugger').hidden = !session;
  document.body.classList.toggle('debugging', Boolean(session));
  document.body.classList.toggle('debug-running', running);
}

// --- Breakpoints ---

// Each breakpoint has a number of its own, which stays as the text around
// it is edited: the first of a session is 1, as the native adapter counts.
// The adapter's ids come back with each setBreakpoints; a stop names the
// page's number.
let nextNumber = 1;
let numberOfId = new Map();

// A session numbers the breakpoints afresh from 1, in line order.
function numberBreakpoints() {
  nextNumber = 1;
  placing = true;
  marksSetBreakpoints(editor, marksBreakpoints(editor).map((p) => ({...p, number: nextNumber++})));
  placing = false;
}

// The gutter's breakpoints go to the debugger, which says where each lands
// by its own rules; the marks move there.
async function sendBreakpoints() {
  const list = marksBreakpoints(editor);
  const body = await ask('setBreakpoints', {
    source: {path: session.path},
    breakpoints: list.map((p) => ({line: p.line, condition: p.condition || undefined,
                                   hitCondition: p.hitCondition || undefined, logMessage: p.logMessage || undefined})),
  });
  numberOfId = new Map(list.map((p, i) => [body.breakpoints[i]?.id, p.number]));
  const placed = list.map((p, i) => {
    const b = body.breakpoints[i] || {};
    const {message, verified, ...point} = p;
    return b.verified ? {...point, line: b.line || p.line, verified: true} : {...point, verified: false, message: b.message};
  });
  placing = true;
  marksSetBreakpoints(editor, placed);
  placing = false;
  showBreakpoints();
}

function breakpointsChanged() {
  showBreakpoints();
  if (placing || !live()) return;
  if (session.state === 'stopped') sendBreakpoints().catch((e) => say(e.message));
  else if (session.state === 'running' && !session.resumeAfter) {
    // A running program takes new breakpoints at a stop of its own, and runs on.
    session.resumeAfter = true;
    ask('pause').catch(() => {});
  }
}

function showBreakpoints() {
  const list = $('d-breakpoints');
  list.textContent = '';
  for (const p of marksBreakpoints(editor)) {
    const item = document.createElement('li');
    if (p.verified === false) item.className = 'unverified';
    const where = document.createElement('button');
    where.className = 'link';
    where.textContent = `${p.number ?? ''} line ${p.line}`.trim();
    where.title = p.message || 'Show the line';
    where.addEventListener('click', () => showLine(p.line));
    item.append(where);
    for (const [key, hint] of [['condition', 'condition'], ['hitCondition', 'from hit'], ['logMessage', 'log {A}']]) {
      const input = document.createElement('input');
      input.placeholder = hint;
      input.value = p[key] || '';
      input.dataset.key = key;
      input.addEventListener('change', () => {
        const {line, message, verified, ...point} = p;
        marksSetBreakpoint(editor, line, {...point, [key]: input.value.trim()});
      });
      item.append(input);
    }
    const remove = document.createElement('button');
    remove.textContent = '×';
    remove.title = 'Clear the breakpoint';
    remove.addEventListener('click', () => marksSetBreakpoint(editor, p.line, null));
    item.append(remove);
    list.append(item);
  }
}

function showLine(line) {
  const doc = editor.state.doc;
  if (line < 1 || line > doc.lines) return;
  editor.dispatch({selection: {anchor: doc.line(line).from}, scrollIntoView: true});
}

// --- Running ---

// Starts a session on the editor's program; with `run`, a run the screen
// showed ({source, seed, keys, input, frames}), replays that run with
// Record on and stops after its last frame, ready to go back.
async function start(run = null) {
  if (live()) await debugEnd();
  if (run) $('d-record').checked = true;
  consoleClear();
  const name = fileName().replace(/[^\w.-]/g, '_') || 'program.zvs';
  session = {path: `/${name}`, state: 'running', atEnd: false, resumeAfter: false, recording: $('d-record').checked,
             replayLeft: run ? run.frames : 0, replayFrames: run ? run.frames : 0};
  memory.previous = memory.current = null;
  onStart();
  // Nothing of the last run or session stays: its status, its panels, and
  // once the debugger owns the screen, its picture.
  $('status').textContent = '';
  for (const id of ['d-stack', 'd-registers', 'd-flags', 'd-stacks', 'd-memory', 'd-pixel']) $(id).textContent = '';
  $('d-screen').getContext('2d').clearRect(0, 0, SIDE, SIDE);
  showState('running');
  say('Starting…');
  try {
    await ask('initialize', {adapterID: 'zorvik', linesStartAt1: true, supportsMemoryReferences: true});
    await ask('launch', {program: name, source: run ? run.source : editor.state.doc.toString(), record: $('d-record').checked,
                         ...(run ? {seed: run.seed, keys: run.keys, inputText: run.input, stopOnEntry: true} : {})});
    hostClear();
    numberBreakpoints();
    await sendBreakpoints();
  } catch (e) {
    say(e.message);
    session.state = 'ended';
    showState('ended');
    return;
  }
  say(run ? `Replaying the run's ${run.frames.toLocaleString('en')} frames…` : 'Running.');
  // A replay goes at full speed, frame by frame, to its last frame.
  if (run) hostSetFullSpeed(true);
  ask('configurationDone').catch((e) => say(e.message));
  $('screen').focus();
}

export function debugRun(run) {
  return start(run);
}

// The replay of a run goes on to its next frame; false once it stands at
// the last, or the program ended first.
function replayOn(body) {
  if (!session.replayFrames) return false;
  if (session.replayLeft > 0 && body.reason !== 'end') {
    session.replayLeft--;
    ask('zorvikNextFrame', {threadId: 1}).catch((e) => say(e.message));
    return true;
  }
  const frames = session.replayFrames - session.replayLeft;
  session.replayFrames = 0;
  hostSetSpeed(Number($('speed').value));
  session.replayed = `Replayed the run to its last frame, ${frames.toLocaleString('en')}: the buttons that go back go back from here.`;
  return false;
}

// Ends the session, stopping the program where it runs.
export async function debugEnd() {
  if (!live()) return;
  session.state = 'ended';
  showState('ended');
  await ask('terminate').catch(() => {});
}

function go(command, args = {}) {
  if (!live()) return;
  session.state = 'running';
  session.command = command;
  showState('running');
  say('Running.');
  $('screen').focus();  // the program's keys keep working
  ask(command, {threadId: 1, ...args}).catch((e) => {
    say(e.message);
    if (live()) {
      session.state = 'stopped';
      showState('stopped');
    }
  });
}

async function stopped(body) {
  if (replayOn(body)) return;
  session.state = 'stopped';
  session.atEnd = body.reason === 'end';
  if (session.resumeAfter) {
    session.resumeAfter = false;
    await sendBreakpoints().catch((e) => say(e.message));
    if (!session.atEnd) {
      go('continue');
      return;
    }
  }
  showState('stopped');
  if (session.replayed) {
    say(session.replayed);
    session.replayed = '';
  } else if (session.atEnd) say(`The program ended with status ${body.exitCode}. The buttons that go back show how it got there.`);
  else if (body.description === 'frame') say('Stopped after the next frame.');
  else say(`Stopped: ${stopText(body)}.`);
  await refresh().catch((e) => say(e.message));
}

// A stop as the page words it: its own breakpoint numbers, and run to
// cursor by that name.
function stopText(body) {
  const hit = body.hitBreakpointIds?.[0];
  if (body.reason === 'breakpoint' && numberOfId.has(hit))
    return (body.description || '').replace(/\d+$/, numberOfId.get(hit));
  if (body.description === 'until' && session.command === 'zorvikRunTo') return 'run to cursor';
  return body.description || body.reason;
}

function ended() {
  if (!session) return;
  session.state = 'ended';
  showState('ended');
  marksShowStop(editor, null);
  say(session.status === undefined ? 'Ended.' : `Ended with status ${session.status}.`);
}

dapOnEvent((e) => {
  if (!session) return;
  // The debugger's own notes, such as a change in the past dropping the
  // recorded future, go to the panel; the program's output to the console.
  if (e.event === 'output' && e.body.category === 'important') say(`${e.body.output.trim()}.`);
  else if (e.event === 'output') consoleWrite(e.body.output);
  else if (e.event === 'stopped' && live()) stopped(e.body);
  else if (e.event === 'exited') session.status = e.body.exitCode;
  else if (e.event === 'terminated') ended();
});

// --- The views at a stop ---

async function refresh() {
  const {stackFrames} = await ask('stackTrace', {threadId: 1});
  const stack = $('d-stack');
  stack.textContent = '';
  for (const frame of stackFrames) {
    const item = document.createElement('li');
    const where = document.createElement('button');
    where.className = 'link';
    where.textContent = `${frame.name} — line ${frame.line}`;
    where.addEventListener('click', () => showLine(frame.line));
    item.append(where);
    stack.append(item);
  }
  marksShowStop(editor, stackFrames.length ? stackFrames[0].line : null);
  if (stackFrames.length) {
    const {scopes} = await ask('scopes', {frameId: stackFrames[0].id});
    for (const scope of scopes) {
      const {variables} = await ask('variables', {variablesReference: scope.variablesReference});
      if (scope.name === 'Registers') showRegisters(scope.variablesReference, variables);
      else if (scope.name === 'Flags') showFlags(scope.variablesReference, variables);
      else showStacks(variables);
    }
  }
  await showWatches();
  await showMemory(true);
  await showScreen();
}

// Sets a register or a flag; the watches may depend on it. Gives the value
// as the debugger now shows it, or null when it was refused.
async function setVariable(reference, name, value) {
  try {
    const shown = (await ask('setVariable', {variablesReference: reference, name, value})).value;
    await showWatches();
    return shown;
  } catch (e) {
    say(e.message);
    return null;
  }
}

function showRegisters(reference, variables) {
  const table = $('d-registers');
  table.textContent = '';
  for (const v of variables) {
    const row = table.insertRow();
    row.insertCell().textContent = v.name;
    const input = document.createElement('input');
    input.value = v.value;
    input.setAttribute('aria-label', `Register ${v.name}`);
    input.addEventListener('change', async () => {
      input.value = (await setVariable(reference, v.name, input.value)) ?? input.value;
    });
    row.insertCell().append(input);
  }
}

function showFlags(reference, variables) {
  const box = $('d-flags');
  box.textContent = '';
  for (const v of variables) {
    const label = document.createElement('label');
    const check = document.createElement('input');
    check.type = 'checkbox';
    check.checked = v.value !== '0';
    check.addEventListener('change', () => setVariable(reference, v.name, check.checked ? '1' : '0'));
    label.append(check, v.name);
    box.append(label);
  }
}

function showStacks(variables) {
  $('d-stacks').textContent = variables.map((v) => `${v.name}: ${v.value}`).join('\n');
}

async function showWatches() {
  const list = $('d-watches');
  list.textContent = '';
  for (const [i, expression] of watches.entries()) {
    const item = document.createElement('li');
    let value = '';
    if (session && session.state === 'stopped') {
      try {
        value = (await ask('evaluate', {expression, context: 'watch'})).result;
      } catch (e) {
        value = e.message;
        item.className = 'error';
      }
    }
    item.textContent = `${expression} = ${value}`;
    const remove = document.createElement('button');
    remove.textContent = '×';
    remove.title = 'Stop watching';
    remove.addEventListener('click', () => { watches.splice(i, 1); showWatches(); });
    item.append(' ', remove);
    list.append(item);
  }
}

// An address as the user writes it: $hex, 0xhex or decimal, or any
// expression of the debugger's, which it evaluates.
async function addressOf(text) {
  text = text.trim();
  if (/^\$[0-9a-f]+$/i.test(text)) return parseInt(text.slice(1), 16);
  if (/^(0x[0-9a-f]+|\d+)$/i.test(text)) return Number(text);
  return parseInt((await ask('evaluate', {expression: text, context: 'watch'})).result, 10);
}

// The hex view; at a stop, the bytes that changed since the last stop are
// marked.
async function showMemory(atStop) {
  const view = $('d-memory');
  if (!session || session.state !== 'stopped') return;
  let address, count;
  try {
    address = await addressOf($('d-address').value);
    count = Math.max(1, Math.min(4096, Number($('d-length').value) || 128));
    if (!(address >= 0)) throw new Error('not an address');
  } catch (e) {
    view.textContent = `${$('d-address').value}: ${e.message}`;
    return;
  }
  const body = await ask('readMemory', {memoryReference: `0x${address.toString(16)}`, count});
  const bytes = bytesOf(body.data);
  const same = memory.address === address && memory.count === count;
  if (atStop) memory.previous = same ? memory.current : null;
  else if (!same) memory.previous = null;
  Object.assign(memory, {address, count, current: bytes});
  view.textContent = '';
  for (let row = 0; row < bytes.length; row += 16) {
    const line = document.createElement('div');
    line.append(`$${hex(address + row, 6)} `);
    let text = '';
    for (let i = row; i < Math.min(row + 16, bytes.length); i++) {
      const cell = document.createElement('span');
      cell.textContent = hex(bytes[i], 2);
      cell.dataset.offset = i;
      cell.title = `$${hex(address + i, 6)} = ${bytes[i]}`;
      if (memory.previous && memory.previous[i] !== bytes[i]) cell.className = 'changed';
      line.append(cell, ' ');
      text += bytes[i] >= 32 && bytes[i] < 127 ? String.fromCharCode(bytes[i]) : '.';
    }
    line.append(` ${text}`);
    view.append(line);
  }
}

// A byte of the hex view is edited where it stands: hex digits, Return.
function editByte(cell) {
  const offset = Number(cell.dataset.offset);
  const input = document.createElement('input');
  input.value = cell.textContent;
  input.size = 2;
  input.setAttribute('aria-label', `Byte at $${hex(memory.address + offset, 6)}`);
  cell.replaceWith(input);
  input.focus();
  input.select();
  let done = false;
  const finish = async (write) => {
    if (done) return;
    done = true;
    const value = parseInt(input.value.replace(/^\$/, ''), 16);
    if (write && value >= 0 && value <= 255) {
      try {
        await ask('writeMemory', {memoryReference: `0x${(memory.address + offset).toString(16)}`,
                                  data: btoa(String.fromCharCode(value))});
      } catch (e) {
        say(e.message);
      }
    }
    await showMemory(false);
    await showWatches();
    await showScreen();
  };
  input.addEventListener('keydown', (e) => {
    if (e.key === 'Enter') finish(true);
    if (e.key === 'Escape') finish(false);
  });
  input.addEventListener('blur', () => finish(true));
}

async function showScreen() {
  const body = await ask('zorvikScreen');
  const rgb = bytesOf(body.data);
  const canvas = $('d-screen');
  const image = new ImageData(body.width, body.height);
  for (let i = 0, o = 0; i + 2 < rgb.length; i += 3, o += 4) {
    image.data[o] = rgb[i];
    image.data[o + 1] = rgb[i + 1];
    image.data[o + 2] = rgb[i + 2];
    image.data[o + 3] = 255;
  }
  canvas.getContext('2d').putImageData(image, 0, 0);
}

// A pixel of the screen area: its cell, byte and colour, and the statement
// that last wrote it, with the way back to it.
async function showPixel(x, y) {
  const out = $('d-pixel');
  if (!session || session.state !== 'stopped') return;
  let p;
  try {
    p = await ask('zorvikPixel', {x, y});
  } catch (e) {
    out.textContent = e.message;
    return;
  }
  const colour = `#${hex(p.red, 2)}${hex(p.green, 2)}${hex(p.blue, 2)}`;
  out.textContent = `(${x}, ${y}): cell $${hex(p.cell, 6)}, byte ${p.byte}, colour ${colour}, `;
  const swatch = document.createElement('span');
  swatch.className = 'swatch';
  swatch.style.background = colour;
  out.prepend(swatch);
  if (p.line === undefined) {
    out.append(session.recording ? 'written by no recorded statement.' : 'Record keeps who wrote it.');
    return;
  }
  out.append(`last written by line ${p.line}. `);
  const back = document.createElement('button');
  back.id = 'd-pixel-back';
  back.textContent = `Go back to line ${p.line}`;
  back.addEventListener('click', () => go('zorvikReverseToWriter', {cell: p.cell}));
  out.append(back);
}

// The pixel under the pointer. The browser paints a canvas from the device
// pixel its box's corner rounds to, so a box at a fractional place is
// measured from there.
function pixelAt(canvas, e, width, height) {
  const box = canvas.getBoundingClientRect(), d = devicePixelRatio || 1;
  const snap = (v) => Math.round(v * d) / d;
  const left = snap(box.left), top = snap(box.top);
  const x = Math.floor((e.clientX - left) / (snap(box.right) - left) * width);
  const y = Math.floor((e.clientY - top) / (snap(box.bottom) - top) * height);
  return [Math.min(Math.max(x, 0), width - 1), Math.min(Math.max(y, 0), height - 1)];
}

// --- Wiring ---

// `options.name()` gives the file name that stack frames show.
export function debugCreate(view, options = {}) {
  editor = view;
  editor.dispatch({effects: StateEffect.appendConfig.of(marksExtensions(breakpointsChanged,
                                                                        () => ({number: nextNumber++})))});
  editorOnLineNumber(marksToggle);
  if (options.name) fileName = options.name;
  if (options.onStart) onStart = options.onStart;
  $('debug').addEventListener('click', () => start());
  $('d-pause').addEventListener('click', () => ask('pause').catch(() => {}));
  $('d-continue').addEventListener('click', () => go('continue'));
  $('d-step').addEventListener('click', () => go('stepIn'));
  $('d-next').addEventListener('click', () => go('next'));
  $('d-finish').addEventListener('click', () => go('stepOut'));
  $('d-cursor').addEventListener('click', () => go('zorvikRunTo', {line: marksCursorLine(editor)}));
  $('d-frame').addEventListener('click', () => go('zorvikNextFrame'));
  $('d-back').addEventListener('click', () => go('stepBack'));
  $('d-back-over').addEventListener('click', () => go('zorvikReverseNext'));
  $('d-back-out').addEventListener('click', () => go('zorvikReverseFinish'));
  $('d-reverse').addEventListener('click', () => go('reverseContinue'));
  $('d-stop').addEventListener('click', () => debugEnd());
  $('d-watch-form').addEventListener('submit', (e) => {
    e.preventDefault();
    const text = $('d-watch').value.trim();
    if (text) watches.push(text);
    $('d-watch').value = '';
    showWatches();
  });
  $('d-memory-form').addEventListener('submit', (e) => {
    e.preventDefault();
    showMemory(false).catch((err) => say(err.message));
  });
  $('d-memory').addEventListener('click', (e) => {
    if (e.target.dataset.offset !== undefined && session && session.state === 'stopped') editByte(e.target);
  });
  $('d-screen').addEventListener('click', (e) => showPixel(...pixelAt(e.target, e, SIDE, SIDE)));
  // The window's own screen: its top left corner is the screen area.
  $('screen').addEventListener('click', (e) => {
    if (!session || session.state !== 'stopped') return;
    const [x, y] = pixelAt(e.target, e, 480, 272);
    if (x < SIDE && y < SIDE) showPixel(x, y);
  });
  showState('ended');
  $('debugger').hidden = true;
}

// The page: the editor, the screen, the console and the controls around the
// machine, and window.zorvik for scripts and pages that embed it.
import examples from 'zorvik-examples';
import {consoleClear, consoleCreate, consoleEcho, consoleText, consoleWrite} from './console.js';
import {dapOnEvent, dapRequest} from './dap.js';
import {editorCreate, editorSetText, editorText} from './editor.js';
import {lspCheck, lspConnect, lspExtensions, lspRequest} from './lsp.js';
import {hostCodeKnown, hostContinue, hostFrame, hostKey, hostLoad, hostOn, hostOutput, hostRun,
        hostSendLine, hostSetSpeed, hostState, hostStop} from './host.js';
import {debugCreate, debugEnd} from './debugui.js';
import {shareDecode, shareEncode} from './share.js';
import {storeLast, storeSaveLast, storeSaveWork, storeWork} from './store.js';

const $ = (id) => document.getElementById(id);

// The longest link the page hands out. Chromium opens links of up to
// 2,097,152 characters and no longer; a quarter of that leaves room for
// the page's own address and for browsers that allow less.
const LINK_LIMIT = 512 * 1024;

// Keys the screen leaves to the browser: Tab and Shift+Tab move the focus
// on, and these are reload, the address bar, full screen and the tools.
const BROWSER_KEYS = new Set(['Tab', 'F5', 'F6', 'F11', 'F12']);

let editor = null;
// What the editor holds: its file name, whether the user changed it since
// it was opened, downloaded or shared, and the link it came from.
let work = {name: 'default.zvs', changed: false, link: ''};
let settingText = false;
let firstFrame = true;

function say(text, isError, action) {
  const bar = $('message');
  bar.textContent = text;
  bar.className = isError ? 'error' : '';
  bar.hidden = !text;
  if (action) {
    const button = document.createElement('button');
    button.textContent = action.label;
    button.addEventListener('click', action.run);
    bar.append(' ', button);
  }
}

function debugMode() {
  return $('overlay').checked ? 2 : $('trace').checked ? 1 : 0;
}

// --- The user's work ---

let saveTimer = 0;
let told = false;
function saveNow() {
  clearTimeout(saveTimer);
  saveTimer = 0;
  if (!editor) return;
  if (storeSaveWork({...work, text: editorText(editor)})) return;
  if (!told) say('This program is too large to keep in the browser: Download keeps it.', true);
  told = true;
}

function edited() {
  if (settingText) return;
  work.changed = true;
  if (!saveTimer) saveTimer = setTimeout(saveNow, 300);
}

function showLast() {
  const last = storeLast();
  const item = $('examples').querySelector('option[value="last"]');
  item.hidden = !last;
  if (last) item.textContent = `Your last program (${last.name})`;
}

// The editor takes `text`; a program the user changed and has not saved
// becomes the last program, one choice away in the examples' menu.
function replaceProgram(text, name, link = '') {
  const current = editorText(editor);
  if (work.changed && current !== text) {
    storeSaveLast({...work, text: current});
    showLast();
    say('Your program is kept: Examples → “Your last program” brings it back.');
  }
  settingText = true;
  editorSetText(editor, text);
  settingText = false;
  work = {name, changed: false, link};
  saveNow();
}

function restoreLast() {
  const last = storeLast();
  if (!last) return;
  const current = {...work, text: editorText(editor)};
  settingText = true;
  editorSetText(editor, last.text);
  settingText = false;
  work = {name: last.name, changed: true, link: ''};
  if (current.changed && current.text !== last.text) storeSaveLast(current);
  else localStorage.removeItem('zorvik.last');
  showLast();
  saveNow();
}

// --- Running ---

// The status line speaks of the latest run only. A run the user starts
// gives the screen the keys.
let runs = 0;
async function runEditor(focus = true) {
  const mine = ++runs;
  $('status').textContent = '';
  debugEnd();
  const running = hostRun(editorText(editor), {debug: debugMode(), fullSpeed: $('speed').value === '0'});
  if (focus) $('screen').focus();
  const {status} = await running;
  if (mine === runs) $('status').textContent = status === 130 ? 'Stopped.' : `Ended with status ${status}.`;
}

// The screen fills the width it has: enlarged by a whole factor, or on a
// narrow screen made smaller; pixelated either way.
function fitScreen() {
  const canvas = $('screen');
  const room = canvas.parentElement.clientWidth;
  const factor = room >= 480 ? Math.floor(room / 480) : room / 480;
  canvas.style.width = 480 * factor + 'px';
  canvas.style.height = 272 * factor + 'px';
}

function download(name, blob) {
  const a = document.createElement('a');
  a.href = URL.createObjectURL(blob);
  a.download = name;
  a.click();
  setTimeout(() => URL.revokeObjectURL(a.href), 1000);
}

function downloadSource() {
  download(work.name, new Blob([editorText(editor)], {type: 'text/plain'}));
  work.changed = false;
  saveNow();
}

function savePng() {
  const frame = hostFrame();
  if (!frame) return say('Nothing has been shown yet.', true);
  const c = document.createElement('canvas');
  c.width = frame.width;
  c.height = frame.height;
  c.getContext('2d').putImageData(new ImageData(frame.rgba, frame.width, frame.height), 0, 0);
  c.toBlob((blob) => download(work.name.replace(/\.zvs$/, '') + '.png', blob), 'image/png');
}

async function share() {
  const fragment = (await shareEncode(editorText(editor))) + ($('share-run').checked ? '&run' : '');
  const link = location.href.split('#')[0] + fragment;
  if (link.length > LINK_LIMIT) {
    say(`This program makes a link of ${link.length.toLocaleString('en')} characters, too long for ` +
        `browsers to open (the page stops at ${LINK_LIMIT.toLocaleString('en')}). ` +
        'Share the file instead:', true, {label: 'Download', run: downloadSource});
    return;
  }
  history.replaceState(null, '', link);
  work.link = location.hash;
  work.changed = false;
  saveNow();
  try {
    await navigator.clipboard.writeText(link);
    say('The link is in the address bar and on the clipboard.');
  } catch (e) {
    say('The link is in the address bar.');
  }
}

// Opens the program of the link, if there is one; false when none. On a
// reload of the link the user's work on its program stays.
async function openLink(reload = false) {
  let shared;
  try {
    shared = await shareDecode(location.hash);
  } catch (e) {
    say(`This link does not open: ${e.message}. The editor keeps what it had.`, true);
    return true;
  }
  if (!shared) return false;
  if (reload && work.link === location.hash) return true;
  replaceProgram(shared.source, 'shared.zvs', location.hash);
  if (shared.run) runEditor();
  return true;
}

async function openFile(file) {
  const bytes = new Uint8Array(await file.arrayBuffer());
  let text;
  try {
    text = new TextDecoder('utf-8', {fatal: true}).decode(bytes);
  } catch (e) {
    say(`${file.name} is not UTF-8 text, so it was not opened: the editor keeps what it had.`, true);
    return;
  }
  replaceProgram(text.replace(/^\uFEFF/, ''), file.name);
}

// --- The screen's keys ---

function wireScreen() {
  const canvas = $('screen');
  const held = new Set();
  canvas.addEventListener('mousedown', () => canvas.focus());
  canvas.addEventListener('keydown', (e) => {
    const shortcut = (e.ctrlKey || e.metaKey || e.altKey) && !/^(Control|Alt|Meta|Shift)/.test(e.code);
    if (!hostCodeKnown(e.code) || BROWSER_KEYS.has(e.code) || shortcut) return;
    e.preventDefault();
    if (e.repeat) return;
    held.add(e.code);
    hostKey(e.code, true);
  });
  canvas.addEventListener('keyup', (e) => {
    if (!held.has(e.code)) return;
    e.preventDefault();
    held.delete(e.code);
    hostKey(e.code, false);
  });
  // Keys held when the screen loses the focus would stay down for the program.
  canvas.addEventListener('blur', () => {
    for (const code of held) hostKey(code, false);
    held.clear();
  });

  // Touch keys, shown on touch screens: each holds its key while touched.
  const pad = $('touch-keys');
  pad.hidden = !(matchMedia('(pointer: coarse)').matches || navigator.maxTouchPoints > 0);
  for (const button of pad.querySelectorAll('button')) {
    const key = button.dataset.key;
    const up = () => { if (button.classList.contains('down')) { button.classList.remove('down'); hostKey(key, false); } };
    button.addEventListener('pointerdown', (e) => {
      e.preventDefault();
      button.setPointerCapture?.(e.pointerId);
      button.classList.add('down');
      hostKey(key, true);
    });
    button.addEventListener('pointerup', up);
    button.addEventListener('pointercancel', up);
    button.addEventListener('contextmenu', (e) => e.preventDefault());
  }
}

function wireControls() {
  const menu = $('examples');
  for (const [i, e] of examples.entries()) menu.add(new Option(e.name, i));
  menu.value = '';
  menu.addEventListener('change', () => {
    const choice = menu.value;
    menu.value = '';
    if (choice === 'last') return restoreLast();
    const e = examples[choice];
    if (!e) return;
    replaceProgram(e.source, e.name);
    runEditor();
  });
  $('run').addEventListener('click', () => runEditor());
  $('stop').addEventListener('click', () => { hostStop(); debugEnd(); });
  $('restart').addEventListener('click', () => { hostStop(); runEditor(); });
  $('continue').addEventListener('click', hostContinue);
  $('clear').addEventListener('click', consoleClear);
  $('speed').addEventListener('change', (e) => hostSetSpeed(Number(e.target.value)));
  hostSetSpeed(Number($('speed').value));
  $('overlay').addEventListener('change', (e) => { if (e.target.checked) $('trace').checked = false; });
  $('trace').addEventListener('change', (e) => { if (e.target.checked) $('overlay').checked = false; });
  $('open').addEventListener('change', async (e) => {
    const file = e.target.files[0];
    e.target.value = '';
    if (file) await openFile(file);
  });
  $('download').addEventListener('click', downloadSource);
  $('png').addEventListener('click', savePng);
  $('share').addEventListener('click', share);
  $('input-line').addEventListener('submit', (e) => {
    e.preventDefault();
    hostSendLine($('input').value);
    $('input').value = '';
  });
  window.addEventListener('hashchange', () => openLink());
  window.addEventListener('resize', fitScreen);
  // Leaving the page, or the tab going to the background, saves at once.
  window.addEventListener('pagehide', saveNow);
  document.addEventListener('visibilitychange', () => { if (document.hidden) saveNow(); });
}

hostOn({
  state(state) {
    $('input-line').hidden = !(state === 'waiting-input' && !$('continue').dataset.paused);
    if (state !== 'waiting-input') {
      delete $('continue').dataset.paused;
      $('continue').hidden = true;
    }
    $('stop').disabled = state !== 'running' && state !== 'waiting-input';
  },
  input() {
    $('input-line').hidden = false;
    $('input').focus();
  },
  pause() {
    $('continue').dataset.paused = '1';
    $('continue').hidden = false;
    $('input-line').hidden = true;
  },
  reset: consoleClear,
  output: consoleWrite,
  echo: consoleEcho,
  frame() {
    if (firstFrame) {
      firstFrame = false;
      performance.mark('zorvik-first-frame');
      lspConnect();
    }
  },
});

// The scripting interface.
window.zorvik = {
  run: hostRun,
  stop: hostStop,
  frame: hostFrame,
  state: hostState,
  key: (name, down) => hostKey(name, down),
  output: hostOutput,
  // What the console pane shows.
  console: consoleText,
  // The checker's findings for a source: a promise of the language
  // server's diagnostics for it.
  check: lspCheck,
  // The editor's language server: a request, `method` and `params`, in; a
  // promise of its result out. The editor's document is file:///program.zvs.
  lsp: lspRequest,
  // The editor's source, or with `text`, the editor's source becomes it.
  source: (text) => (text === undefined ? editorText(editor) : editorSetText(editor, text)),
  // The debugger, through the Debug Adapter Protocol: a request object in,
  // a promise of its response out; events to the callback.
  dap: (request) => dapRequest(request, () => editorText(editor)),
  onDapEvent: dapOnEvent,
};

async function start() {
  consoleCreate($('console'));
  fitScreen();
  wireScreen();
  wireControls();
  const machineReady = hostLoad($('screen'));
  const tour = examples.find((e) => e.name === 'default.zvs') || examples[0];
  const kept = storeWork();
  if (kept) work = {name: kept.name || 'program.zvs', changed: !!kept.changed, link: kept.link || ''};
  editor = editorCreate($('editor'), {text: kept ? kept.text : tour.source, onChange: edited,
                                      extensions: lspExtensions()});
  showLast();
  debugCreate(editor, {name: () => work.name});
  await machineReady;
  // A first visit runs the tour; the user's own work waits for Run.
  if (!(await openLink(true)) && !kept) runEditor(false);
  else if (kept && !location.hash) $('status').textContent = `${work.name} is as you left it. Run runs it.`;
  document.body.dataset.ready = '1';
  // The language server loads after the first frame, or after a second
  // when no run shows one.
  setTimeout(lspConnect, 1000);
}

start();

// The page: the editor, the screen, the console and the controls around the
// machine, and window.zorvik for scripts and pages that embed it.
import examples from 'zorvik-examples';
import {editorCreate, editorSetText, editorText} from './editor.js';
import {hostCodeKnown, hostContinue, hostFrame, hostKey, hostLoad, hostOn, hostOutput, hostRun,
        hostSendLine, hostSetFullSpeed, hostState, hostStop} from './host.js';
import {shareDecode, shareEncode} from './share.js';

const $ = (id) => document.getElementById(id);

let checker = null;
let editor = null;
let fileName = 'default.zvs';
let firstFrame = true;

function say(text, isError) {
  const bar = $('message');
  bar.textContent = text;
  bar.className = isError ? 'error' : '';
  bar.hidden = !text;
}

function showOutput(text) {
  const pane = $('console');
  pane.textContent = text;
  pane.scrollTop = pane.scrollHeight;
}

function check(source) {
  if (!checker) return [];
  const bytes = new TextEncoder().encode(source);
  const at = checker._malloc(bytes.length + 1);
  checker.HEAPU8.set(bytes, at);
  const result = checker._web_check(at, bytes.length);
  checker._free(at);
  const json = checker.UTF8ToString(result);
  checker._free(result);
  return JSON.parse(json);
}

function debugMode() {
  return $('overlay').checked ? 2 : $('trace').checked ? 1 : 0;
}

// The status line speaks of the latest run only.
let runs = 0;
async function runEditor() {
  const mine = ++runs;
  say('');
  $('status').textContent = '';
  const {status} = await hostRun(editorText(editor), {debug: debugMode(), fullSpeed: $('full-speed').checked});
  if (mine === runs) $('status').textContent = status === 130 ? 'Stopped.' : `Ended with status ${status}.`;
}

function fitScreen() {
  const canvas = $('screen');
  const room = canvas.parentElement.clientWidth;
  const factor = Math.max(1, Math.floor(room / 480));
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

function savePng() {
  const frame = hostFrame();
  if (!frame) return say('Nothing has been shown yet.', true);
  const c = document.createElement('canvas');
  c.width = frame.width;
  c.height = frame.height;
  c.getContext('2d').putImageData(new ImageData(frame.rgba, frame.width, frame.height), 0, 0);
  c.toBlob((blob) => download(fileName.replace(/\.zvs$/, '') + '.png', blob), 'image/png');
}

async function share() {
  const link = location.href.split('#')[0] + (await shareEncode(editorText(editor)));
  history.replaceState(null, '', link);
  try {
    await navigator.clipboard.writeText(link);
    say('The link is in the address bar and on the clipboard.');
  } catch (e) {
    say('The link is in the address bar.');
  }
}

// Opens the program of the link, if there is one; false when none.
async function openLink() {
  let shared;
  try {
    shared = await shareDecode(location.hash);
  } catch (e) {
    say(`This link does not open: ${e.message}. The editor keeps what it had.`, true);
    return true;
  }
  if (!shared) return false;
  editorSetText(editor, shared.source);
  fileName = 'shared.zvs';
  if (shared.run) runEditor();
  return true;
}

function wireScreen() {
  const canvas = $('screen');
  const held = new Set();
  canvas.addEventListener('mousedown', () => canvas.focus());
  canvas.addEventListener('keydown', (e) => {
    if (!hostCodeKnown(e.code)) return;
    e.preventDefault();
    if (e.repeat) return;
    held.add(e.code);
    hostKey(e.code, true);
  });
  canvas.addEventListener('keyup', (e) => {
    if (!hostCodeKnown(e.code)) return;
    e.preventDefault();
    held.delete(e.code);
    hostKey(e.code, false);
  });
  // Keys held when the screen loses the focus would stay down for the program.
  canvas.addEventListener('blur', () => {
    for (const code of held) hostKey(code, false);
    held.clear();
  });
}

function wireControls() {
  const menu = $('examples');
  for (const [i, e] of examples.entries()) menu.add(new Option(e.name, i));
  menu.value = '';
  menu.addEventListener('change', () => {
    const e = examples[menu.value];
    if (!e) return;
    editorSetText(editor, e.source);
    fileName = e.name;
    menu.value = '';
  });
  $('run').addEventListener('click', runEditor);
  $('stop').addEventListener('click', hostStop);
  $('restart').addEventListener('click', () => { hostStop(); runEditor(); });
  $('continue').addEventListener('click', hostContinue);
  $('full-speed').addEventListener('change', (e) => hostSetFullSpeed(e.target.checked));
  $('overlay').addEventListener('change', (e) => { if (e.target.checked) $('trace').checked = false; });
  $('trace').addEventListener('change', (e) => { if (e.target.checked) $('overlay').checked = false; });
  $('open').addEventListener('change', async (e) => {
    const file = e.target.files[0];
    if (!file) return;
    editorSetText(editor, await file.text());
    fileName = file.name;
    e.target.value = '';
  });
  $('download').addEventListener('click', () =>
    download(fileName, new Blob([editorText(editor)], {type: 'text/plain'})));
  $('png').addEventListener('click', savePng);
  $('share').addEventListener('click', share);
  $('input-line').addEventListener('submit', (e) => {
    e.preventDefault();
    hostSendLine($('input').value);
    $('input').value = '';
  });
  window.addEventListener('hashchange', openLink);
  window.addEventListener('resize', fitScreen);
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
  output: showOutput,
  frame() {
    if (firstFrame) {
      firstFrame = false;
      performance.mark('zorvik-first-frame');
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
  check,
  // The editor's source, or with `text`, the editor's source becomes it.
  source: (text) => (text === undefined ? editorText(editor) : editorSetText(editor, text)),
};

async function start() {
  fitScreen();
  wireScreen();
  wireControls();
  const checkerReady = globalThis.ZorvikCheck().then((m) => { checker = m; });
  const machineReady = hostLoad($('screen'));
  const defaultExample = examples.find((e) => e.name === 'default.zvs') || examples[0];
  await checkerReady;
  const mnemonics = checker.UTF8ToString(checker._web_mnemonics()).split(' ');
  editor = editorCreate($('editor'), {text: defaultExample.source, mnemonics, check});
  await machineReady;
  if (!(await openLink())) runEditor();
  document.body.dataset.ready = '1';
}

start();

// The player: one program on the screen, with its console and touch keys,
// Restart and full screen, and nothing of the editor. It is the exported
// file (web/build.sh's player.html with a program put in by exportFill)
// and, given a share link's fragment instead, the page's embeddable
// player for an <iframe>.
import {consoleClear, consoleCreate, consoleEcho, consoleText, consoleWrite} from './console.js';
import {hostFrame, hostKey, hostLoad, hostOn, hostOutput, hostRecord, hostReplayFrame, hostRun, hostSendLine,
        hostState, hostStop} from './host.js';
import {screenKeysWire} from './screenkeys.js';
import {shareDecode} from './share.js';
import {exportRead} from './fill.mjs';

const $ = (id) => document.getElementById(id);
const embedded = window.parent !== window;
// Keys that would scroll a page: inside the player they never do, so a
// page with the player in a frame does not move under the game's keys.
const SCROLL_KEYS = new Set(['Space', 'ArrowUp', 'ArrowDown', 'ArrowLeft', 'ArrowRight', 'PageUp', 'PageDown', 'Home',
                             'End']);

let program = null;   // {name, bytes, replay}
let runs = 0;

// The screen as large as the window allows, its pixels kept sharp.
function fitScreen() {
  const box = $('screen-box');
  const factor = Math.max(Math.min(box.clientWidth / 480, box.clientHeight / 272), 0.1);
  $('screen').style.width = 480 * factor + 'px';
  $('screen').style.height = 272 * factor + 'px';
}

function showConsole() {
  if (!$('console').hidden) return;
  $('console').hidden = false;
  fitScreen();
}

async function play() {
  const mine = ++runs;
  hostStop();
  const replay = program.replay;
  $('status').textContent = '';
  if (!embedded) $('screen').focus();
  try {
    const {status} = await hostRun(program.bytes, {pause: false, ...(replay ? {
      seed: replay.seed, keys: replay.keys, keysEnd: replay.frames, typedInput: replay.input,
      replayFrames: replay.frames} : {})});
    if (mine === runs) $('status').textContent = status === 130 ? '' : `Ended with status ${status}.`;
  } catch (e) {
    if (mine === runs) $('status').textContent = `This run does not replay: ${e.message}.`;
  }
}

// The program this player carries, or the one of the link it was opened
// with; null when neither.
async function findProgram() {
  const carried = exportRead($('zorvik-program').textContent);
  if (carried) return carried;
  const shared = await shareDecode(location.hash);
  if (!shared) return null;
  return {name: 'shared.zvs', bytes: shared.source, replay: shared.replay};
}

// The machine's WebAssembly, when this file carries it (base64 of its
// gzip-compressed bytes); otherwise machine.js fetches machine.wasm.
async function carriedMachine() {
  const packed = document.getElementById('zorvik-wasm');
  if (!packed) return null;
  const binary = atob(packed.textContent.trim());
  const bytes = Uint8Array.from(binary, (c) => c.charCodeAt(0));
  const stream = new Blob([bytes]).stream().pipeThrough(new DecompressionStream('gzip'));
  return new Uint8Array(await new Response(stream).arrayBuffer());
}

async function start() {
  consoleCreate($('console'));
  screenKeysWire($('screen'), $('touch-keys'));
  window.addEventListener('keydown', (e) => {
    const typing = e.target instanceof HTMLInputElement || (e.target instanceof HTMLButtonElement &&
                                                            (e.code === 'Space' || e.code === 'Enter'));
    if (SCROLL_KEYS.has(e.code) && !typing && !(e.ctrlKey || e.metaKey || e.altKey)) e.preventDefault();
  });
  hostOn({
    reset() {
      consoleClear();
      $('console').hidden = true;
      $('input-line').hidden = true;
      fitScreen();
    },
    output(text, skipped) {
      showConsole();
      consoleWrite(text, skipped);
    },
    echo: consoleEcho,
    input() {
      showConsole();
      $('input-line').hidden = false;
      fitScreen();
      $('input').focus();
    },
    state(state) {
      if (state !== 'waiting-input' && !$('input-line').hidden) {
        $('input-line').hidden = true;
        fitScreen();
      }
    },
  });
  $('input-line').addEventListener('submit', (e) => {
    e.preventDefault();
    hostSendLine($('input').value);
    $('input').value = '';
    $('screen').focus();
  });
  $('restart').addEventListener('click', play);
  $('fullscreen').addEventListener('click', () => {
    if (document.fullscreenElement) document.exitFullscreen();
    else $('player').requestFullscreen?.().catch(() => {});
  });
  document.addEventListener('fullscreenchange', () => {
    $('fullscreen').textContent = document.fullscreenElement ? 'Leave full screen' : 'Fullscreen';
  });
  new ResizeObserver(fitScreen).observe($('screen-box'));
  fitScreen();
  try {
    program = await findProgram();
  } catch (e) {
    $('status').textContent = `This link does not open: ${e.message}.`;
    return;
  }
  if (!program) {
    $('status').textContent = 'No program: open this player with a share link\'s #src=….';
    return;
  }
  const title = program.name.replace(/\.zvs$/i, '');
  // The machine names its window, as natively: the player's tab keeps the
  // program's name.
  document.title = title;
  new MutationObserver(() => { if (document.title !== title) document.title = title; })
    .observe(document.head, {subtree: true, childList: true, characterData: true});
  $('name').textContent = title;
  await hostLoad($('screen'), {wasmBinary: await carriedMachine()});
  document.body.dataset.ready = '1';
  play();
}

// For tests and for pages around the player: the run on the screen.
window.zorvik = {
  frame: hostFrame,
  replayFrame: hostReplayFrame,
  record: hostRecord,
  state: hostState,
  output: hostOutput,
  console: consoleText,
  key: (name, down) => hostKey(name, down),
  restart: () => play(),
};

start();

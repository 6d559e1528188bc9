// The page: the editor, the screen, the console and the controls around the
// machine, and window.zorvik for scripts and pages that embed it.
import examples from 'zorvik-examples';
import {consoleClear, consoleCreate, consoleEcho, consoleText, consoleWrite} from './console.js';
import {dapOnEvent, dapRequest} from './dap.js';
import {editorCreate, editorSetText, editorText} from './editor.js';
import {lspCheck, lspConnect, lspExtensions, lspRequest} from './lsp.js';
import {hostContinue, hostFrame, hostKey, hostLoad, hostOn, hostOutput, hostProgress, hostRecord,
        hostReplayFrame, hostRun, hostSendLine, hostSetSpeed, hostState, hostStop} from './host.js';
import {debugCreate, debugEnd, debugRun} from './debugui.js';
import {helpCreate} from './help.js';
import {screenKeysWire} from './screenkeys.js';
import {exportFill} from './fill.mjs';
import {shareDecode, shareEncode, shareEncodeRun} from './share.js';
import {shotIsPng, shotRead, shotWrite} from './shot.js';
import {storeHeldElsewhere, storeHold, storeNewId, storeOnOtherTab, storeProgram, storeReady, storeRecent, storeSave,
        storeSetTabProgram, storeTabProgram} from './store.js';

const $ = (id) => document.getElementById(id);

// The longest link the page hands out. Chromium opens links of up to
// 2,097,152 characters and no longer; a quarter of that leaves room for
// the page's own address and for browsers that allow less.
const LINK_LIMIT = 512 * 1024;

let editor = null;
// What the editor holds: one of the user's programs (store.js), `id` its
// key; `kept` once it is in the browser's storage (an example or a file
// is, from its first edit on); `changed` while it has changes that were
// not downloaded or shared; `link`, the share link it came from.
let work = {id: '', name: '', changed: false, kept: false, link: ''};
let settingText = false;
let firstFrame = true;
// Another tab wrote this program while it is open here: nothing is saved
// over that until the user chooses.
let clash = null;

// A message above the page: one that only informs fades after a while; an
// error stays until the user's next action; one with choices, until one
// is taken.
let fading = 0;
function say(text, isError, ...actions) {
  const bar = $('message');
  clearTimeout(fading);
  bar.textContent = text;
  bar.className = isError ? 'error' : '';
  bar.hidden = !text;
  for (const action of actions) {
    const button = document.createElement('button');
    button.textContent = action.label;
    button.addEventListener('click', () => { say(''); action.run(); });
    bar.append(' ', button);
  }
  if (text && !isError && !actions.length) fading = setTimeout(() => say(''), 6000);
}

// The user's next action ends an error's message.
function actionTaken(e) {
  const bar = $('message');
  if (bar.className === 'error' && !bar.contains(e.target)) say('');
}

function debugMode() {
  return $('overlay').checked ? 2 : $('trace').checked ? 1 : 0;
}

// --- The user's programs ---

// A name for a program without one, that no kept program has.
function untitledName() {
  const taken = new Set(storeRecent().map((p) => p.name));
  taken.add(work.name);
  for (let n = 1; ; n++) {
    const name = n === 1 ? 'untitled.zvs' : `untitled-${n}.zvs`;
    if (!taken.has(name)) return name;
  }
}

// A name as a file can have it: no folders, and .zvs at the end.
function cleanName(text) {
  const name = text.trim().replace(/[\\/:*?"<>|\u0000-\u001f]+/g, '_');
  if (!name) return untitledName();
  return /\.zvs$/i.test(name) ? name : `${name}.zvs`;
}

let saveTimer = 0;
let told = false;
function saveNow() {
  clearTimeout(saveTimer);
  saveTimer = 0;
  if (!editor || (!work.kept && !work.changed)) return;
  if (clash) {
    // Closing with a choice still open: this tab's text becomes a copy.
    if (document.visibilityState === 'hidden') keepAsCopy();
    return;
  }
  if (storeSave({id: work.id, name: work.name, text: editorText(editor), changed: work.changed, link: work.link})) {
    work.kept = true;
    showRecent();
    return;
  }
  if (!told) say('This program is too large to keep in the browser: Download keeps it.', true);
  told = true;
}

// `pastedOver` is the program that a paste over the whole of it replaced.
function edited(pastedOver) {
  if (settingText) return;
  // A paste over the whole of a program of the user's is a new program:
  // the old one stays kept, as it was before the paste.
  if (pastedOver !== null && pastedOver !== undefined && work.kept && work.changed && !clash) {
    clearTimeout(saveTimer);
    saveTimer = 0;
    storeSave({id: work.id, name: work.name, text: pastedOver, changed: work.changed, link: work.link});
    const old = work.name;
    become({id: storeNewId(), name: untitledName(), changed: true, kept: false, link: ''});
    say(`The paste is a new program, ${work.name}; ${old} stays among your recent programs, under Examples.`);
  }
  work.changed = true;
  if (!saveTimer) saveTimer = setTimeout(saveNow, 300);
}

// The editor's program is `program` from now on.
function become(program) {
  work = program;
  clash = null;
  storeSetTabProgram(work.id);
  storeHold(work.id);
  $('name').value = work.name;
  showRecent();
}

// The editor takes `text` as a program of its own; the one it held stays
// kept.
function replaceProgram(text, name, link = '') {
  saveNow();
  settingText = true;
  editorSetText(editor, text);
  settingText = false;
  become({id: storeNewId(), name, changed: false, kept: false, link});
}

function newProgram() {
  replaceProgram('', untitledName());
  editor.focus();
}

async function openKept(id) {
  const p = storeProgram(id);
  if (!p) return;
  saveNow();
  settingText = true;
  editorSetText(editor, p.text);
  settingText = false;
  become({id: p.id, name: p.name, changed: !!p.changed, kept: true, link: p.link || ''});
  if ((await storeHeldElsewhere()).has(p.id))
    say(`${p.name} is open in another tab too: a change there is shown here before anything is saved over it.`);
}

function rename() {
  const name = cleanName($('name').value);
  $('name').value = name;
  if (name === work.name) return;
  work.name = name;
  if (work.kept) saveNow();
}

// This tab's text goes on as a program of its own.
function keepAsCopy() {
  const name = work.name.replace(/(-copy(-\d+)?)?\.zvs$/i, '') + '-copy.zvs';
  clash = null;
  become({...work, id: storeNewId(), name, kept: false, changed: true});
  saveNow();
}

// Another tab changed the program this one holds: the user chooses.
function otherTabWrote(p) {
  showRecent();
  if (p.id !== work.id || p.text === editorText(editor)) return;
  clash = p;
  say(`${p.name} was changed in another tab.`, false,
      {label: 'Show that version', run: () => {
        settingText = true;
        editorSetText(editor, clash.text);
        settingText = false;
        work = {...work, name: clash.name, changed: !!clash.changed, link: clash.link || ''};
        $('name').value = work.name;
        clash = null;
      }},
      {label: 'Keep this one as a copy', run: keepAsCopy});
}

// How long ago, in words.
function ago(time) {
  const s = Math.max(0, Math.round((Date.now() - time) / 1000));
  if (s < 60) return 'just now';
  if (s < 3600) return `${Math.round(s / 60)} min ago`;
  if (s < 86400) return `${Math.round(s / 3600)} h ago`;
  return new Date(time).toLocaleDateString();
}

// The recent programs, in the examples' menu: the ten last changed.
function showRecent() {
  const group = $('recent');
  group.textContent = '';
  const recent = storeRecent().filter((p) => p.id !== work.id).slice(0, 10);
  for (const p of recent) group.append(new Option(`${p.name} — ${ago(p.savedAt)}`, `recent:${p.id}`));
  group.hidden = !recent.length;
}

// --- Running ---

// The status line speaks of the latest run only. A run the user starts
// gives the screen the keys.
let runs = 0;
let progressTimer = 0;
// While a link's run replays, its frames; and what it came from, a link or
// a picture.
let replaying = 0;
let replayFrom = 'link';

// "12 frames, 3,456 statements" so far, or null before the machine runs.
function progressText() {
  const p = hostProgress();
  if (!p) return null;
  const plural = (n, word) => `${n.toLocaleString('en')} ${word}${n === 1 ? '' : 's'}`;
  return `${plural(p.frames, 'frame')}, ${plural(p.statements, 'statement')}`;
}

// Runs the editor's program; `replay`, a link's run {seed, frames, keys,
// input}, replays that run, and then the keys are the user's.
async function runEditor(focus = true, replay = null) {
  const mine = ++runs;
  $('status').textContent = 'Starting…';
  debugEnd();
  replaying = replay ? replay.frames : 0;
  replayFrom = replay?.from || 'link';
  const running = hostRun(editorText(editor), {debug: debugMode(), fullSpeed: $('speed').value === '0',
                                      ...(replay ? {seed: replay.seed, keys: replay.keys, keysEnd: replay.frames,
                                                    typedInput: replay.input, replayFrames: replay.frames} : {})});
  if (focus) $('screen').focus();
  // While it runs, the status says so, a few times a second.
  clearInterval(progressTimer);
  progressTimer = setInterval(() => {
    const text = progressText();
    if (mine === runs && text && hostState() !== 'ended')
      $('status').textContent = (hostState() === 'waiting-input' ? `Waiting for input: ${text}` : `${replaying ? 'Replaying' : 'Running'}: ${text}`) +
        (replaying ? ` of the ${replayFrom}'s ${replaying.toLocaleString('en')}.` : '.');
  }, 250);
  let status;
  try {
    ({status} = await running);
  } catch (e) {
    if (mine !== runs) return;
    clearInterval(progressTimer);
    replaying = 0;
    const why = `This ${replayFrom}'s run does not replay: ${e.message}. The program is in the editor.`;
    $('status').textContent = why;
    say(why, true);
    return;
  }
  if (mine !== runs) return;
  replaying = 0;
  clearInterval(progressTimer);
  const text = progressText();
  $('status').textContent = (status === 130 ? 'Stopped' : `Ended with status ${status}`) + (text ? `: ${text}.` : '.');
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
  // The picture carries the program that ran and the run up to it.
  const record = hostRecord();
  const program = {source: record ? record.source : editorText(editor), name: work.name, run: record};
  c.toBlob(async (blob) => {
    const png = await shotWrite(new Uint8Array(await blob.arrayBuffer()), program);
    download(work.name.replace(/\.zvs$/, '') + '.png', new Blob([png], {type: 'image/png'}));
  }, 'image/png');
}

// A PNG that carries a program opens it under its name, and offers to
// replay the run it carries; one that carries none changes nothing.
async function openShot(file, bytes) {
  let shot;
  try {
    shot = await shotRead(bytes);
  } catch (e) {
    const why = `${file.name} does not open: ${e.message}. The editor keeps what it had.`;
    $('status').textContent = why;
    say(why, true);
    return;
  }
  const name = shot.name ? cleanName(shot.name) : cleanName(file.name.replace(/\.png$/i, ''));
  replaceProgram(shot.source, name);
  if (shot.broken) {
    const why = `${name} from ${file.name} is in the editor; its run does not replay: ${shot.broken}.`;
    $('status').textContent = why;
    say(why, true);
  } else if (shot.replay) {
    say(`${name} from ${file.name} is in the editor, with the run the picture shows (frame ` +
        `${shot.replay.frames.toLocaleString('en')}, seed ${shot.replay.seed}).`, false,
        {label: 'Replay its run', run: () => runEditor(true, {...shot.replay, from: 'picture'})});
  } else {
    say(`${name} from ${file.name} is in the editor.`);
  }
}

// True when the page comes from this computer alone (a loopback address
// or a file), where nobody else can open its links.
function servedLocally() {
  if (location.protocol === 'file:') return true;
  const host = location.hostname.replace(/^\[|\]$/g, '').toLowerCase();
  return host === 'localhost' || host.endsWith('.localhost') || host === '::1' || /^127\.\d+\.\d+\.\d+$/.test(host);
}

const attribute = (text) => text.replace(/&/g, '&amp;').replace(/"/g, '&quot;').replace(/</g, '&lt;');

// The Share panel: the link, the <iframe> tag of the player beside the
// page (player.html) with the same program, and, on a page served from
// this computer, a note that the link works only here.
function showShared(link, fragment) {
  const player = new URL('player.html', location.href.split('#')[0]).href + fragment.replace(/&run$/, '');
  $('share-link').value = link;
  $('share-embed').value = `<iframe src="${attribute(player)}" width="480" height="300" title="${attribute(work.name)}" ` +
    'allow="fullscreen" style="border: 0"></iframe>';
  $('share-local').hidden = !servedLocally();
  $('share-host').textContent = location.protocol === 'file:' ? 'a file' : location.host;
  $('share-dialog').show();
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
  showShared(link, fragment);
  try {
    await navigator.clipboard.writeText(link);
    say('The link is in the address bar and on the clipboard.');
  } catch (e) {
    say('The link is in the address bar.');
  }
}

// The player of the editor's program as one .html file: the page's
// player.html, the machine inside it, with the program put in.
async function exportPlayer() {
  let template;
  try {
    const response = await fetch('player.html');
    if (!response.ok) throw new Error(response.statusText);
    template = await response.text();
  } catch (e) {
    say('Export needs the page\'s player.html, which did not load: serve the page, or use web/export.sh.', true);
    return;
  }
  const html = exportFill(template, {name: work.name, program: editorText(editor)});
  download(work.name.replace(/\.zvs$/i, '') + '.html', new Blob([html], {type: 'text/html'}));
  say(`${work.name.replace(/\.zvs$/i, '')}.html plays the program by itself: open it, or put it on any web host.`);
}

// A link that replays the run the screen shows so far: its program, seed,
// console input and key events.
async function shareRun() {
  const record = hostRecord();
  if (!record) return say('Run the program first: the link replays the run on the screen.', true);
  const link = location.href.split('#')[0] + (await shareEncodeRun(record.source, record));
  if (link.length > LINK_LIMIT) {
    say(`This run makes a link of ${link.length.toLocaleString('en')} characters, too long for ` +
        `browsers to open (the page stops at ${LINK_LIMIT.toLocaleString('en')}).`, true);
    return;
  }
  history.replaceState(null, '', link);
  if (record.source === editorText(editor)) work.link = location.hash;
  saveNow();
  const frames = `${record.frames.toLocaleString('en')} frame${record.frames === 1 ? '' : 's'}`;
  try {
    await navigator.clipboard.writeText(link);
    say(`The link to this run (${frames}, seed ${record.seed}) is in the address bar and on the clipboard.`);
  } catch (e) {
    say(`The link to this run (${frames}, seed ${record.seed}) is in the address bar.`);
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
  if (shared.broken) {
    const why = `This link's run does not replay: ${shared.broken}. The program is in the editor.`;
    $('status').textContent = why;
    say(why, true);
  } else if (shared.replay) {
    runEditor(true, shared.replay);
  } else if (shared.run) {
    runEditor();
  }
  return true;
}

async function openFile(file) {
  const bytes = new Uint8Array(await file.arrayBuffer());
  if (shotIsPng(bytes) || /\.png$/i.test(file.name)) return openShot(file, bytes);
  let text;
  try {
    text = new TextDecoder('utf-8', {fatal: true}).decode(bytes);
  } catch (e) {
    say(`${file.name} is not UTF-8 text, so it was not opened: the editor keeps what it had.`, true);
    return;
  }
  replaceProgram(text.replace(/^\uFEFF/, ''), file.name);
}

function wireControls() {
  const menu = $('examples');
  for (const [i, e] of examples.entries()) $('example-list').append(new Option(e.name, i));
  menu.value = '';
  // The times of the recent programs, as they are when the menu opens.
  menu.addEventListener('pointerdown', showRecent);
  menu.addEventListener('focus', showRecent);
  menu.addEventListener('change', () => {
    const choice = menu.value;
    menu.value = '';
    if (choice.startsWith('recent:')) return openKept(choice.slice(7));
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
  $('new').addEventListener('click', newProgram);
  $('name').addEventListener('change', rename);
  $('name').addEventListener('keydown', (e) => {
    if (e.key !== 'Enter') return;
    e.preventDefault();
    rename();
    editor.focus();
  });
  $('download').addEventListener('click', downloadSource);
  $('png').addEventListener('click', savePng);
  $('share').addEventListener('click', share);
  $('share-this-run').addEventListener('click', shareRun);
  $('export').addEventListener('click', exportPlayer);
  $('share-export').addEventListener('click', exportPlayer);
  $('share-close').addEventListener('click', () => $('share-dialog').close());
  // The Share panel goes as the user turns to something else.
  document.addEventListener('pointerdown', (e) => {
    if ($('share-dialog').open && !$('share-dialog').contains(e.target) && !$('share').contains(e.target))
      $('share-dialog').close();
  });
  for (const [button, field] of [['share-copy-link', 'share-link'], ['share-copy-embed', 'share-embed']]) {
    $(button).addEventListener('click', async () => {
      $(field).select();
      try {
        await navigator.clipboard.writeText($(field).value);
        say('Copied.');
      } catch (e) {
        say('Selected: the browser did not let the page copy it.');
      }
    });
  }
  $('debug-run').addEventListener('click', () => {
    const record = hostRecord();
    if (!record) return say('Run the program first: Debug this run replays the run on the screen.', true);
    debugRun(record);
  });
  $('input-line').addEventListener('submit', (e) => {
    e.preventDefault();
    hostSendLine($('input').value);
    $('input').value = '';
  });
  window.addEventListener('hashchange', () => openLink());
  // The screen's room changes with the window and with the debugger's layout.
  new ResizeObserver(fitScreen).observe($('screen-box'));
  // Leaving the page, or the tab going to the background, saves at once.
  window.addEventListener('pagehide', saveNow);
  document.addEventListener('visibilitychange', () => { if (document.hidden) saveNow(); });
  storeOnOtherTab(otherTabWrote);
  document.addEventListener('pointerdown', actionTaken, true);
  // The page's keys, wherever the focus is, the editor's and the screen's
  // included: Ctrl+Enter runs, Ctrl+Shift+Enter debugs, Ctrl+S downloads.
  window.addEventListener('keydown', (e) => {
    if (!(e.ctrlKey || e.metaKey) || e.altKey) return;
    const run = e.key === 'Enter' && !e.shiftKey, debug = e.key === 'Enter' && e.shiftKey;
    const save = e.key.toLowerCase() === 's' && !e.shiftKey;
    if (!run && !debug && !save) return;
    e.preventDefault();
    e.stopPropagation();
    if (e.repeat) return;
    if ($('message').className === 'error') say('');
    if (run) runEditor();
    else if (debug) $('debug').click();
    else downloadSource();
  }, true);
}

hostOn({
  state(state) {
    $('share-this-run').disabled = $('debug-run').disabled = !hostRecord();
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
  replayed(frames) {
    replaying = 0;
    say(`The ${replayFrom}'s run is replayed, ${frames.toLocaleString('en')} frames: the keys are yours now.`);
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
  // The run the screen shows, as a replay needs it: {seed, input, keys,
  // frames}; and the frame a link's replay ended its frames with.
  record: hostRecord,
  replayFrame: hostReplayFrame,
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

// Which program this tab opens: on a reload the one it had; otherwise
// the link's, or the last changed one that no other tab has open, or, on
// a first visit, the tour, which runs.
async function firstProgram() {
  await storeReady;
  const elsewhere = await storeHeldElsewhere();
  let p = storeTabProgram();
  if (p && elsewhere.has(p.id)) p = {...p, id: storeNewId(), copy: true};  // a duplicated tab goes on with a copy
  if (!p && !location.hash) p = storeRecent().find((q) => !elsewhere.has(q.id)) || null;
  return p;
}

async function start() {
  // A share link with &embed is for a frame: the player shows it.
  if (/[#&]embed(&|=|$)/.test(location.hash)) {
    location.replace('player.html' + location.hash.replace(/&embed(=[^&]*)?/, ''));
    return;
  }
  consoleCreate($('console'));
  fitScreen();
  screenKeysWire($('screen'), $('touch-keys'));
  wireControls();
  const machineReady = hostLoad($('screen'));
  const tour = examples.find((e) => e.name === 'default.zvs') || examples[0];
  const kept = await firstProgram();
  editor = editorCreate($('editor'), {text: kept ? kept.text : tour.source, onChange: edited,
                                      extensions: lspExtensions()});
  if (kept) become({id: kept.id, name: kept.name, changed: !!kept.changed, kept: true, link: kept.link || ''});
  else become({id: storeNewId(), name: untitledName(), changed: false, kept: false, link: ''});
  if (kept?.copy) saveNow();
  // A debugging session takes the status from the run before it.
  debugCreate(editor, {name: () => work.name, onStart: () => { runs++; clearInterval(progressTimer); }});
  helpCreate((name, text) => {
    replaceProgram(text, name);
    say(`${name}, from the manual, is in the editor: Ctrl+Enter runs it.`);
    editor.focus();
  });
  await machineReady;
  // A first visit runs the tour; the user's own work waits for Run.
  const firstVisit = !kept && !storeRecent().length;
  if (!(await openLink(true)) && firstVisit) runEditor(false);
  else if (kept && !location.hash) $('status').textContent = `${work.name} is as you left it. Run runs it.`;
  document.body.dataset.ready = '1';
  // The page's files kept for visits without the network (sw.js).
  if ('serviceWorker' in navigator && location.protocol !== 'file:')
    navigator.serviceWorker.register('sw.js').catch((e) => console.debug('no service worker:', e.message));
  // The language server loads after the first frame, or after a second
  // when no run shows one.
  setTimeout(lspConnect, 1000);
}

start();

// The user's programs, kept in the browser's storage as they are typed.
// Each program has a key of its own, so that two tabs never write over
// each other's work: {id, name, text, changed, link, savedAt, tab}, the
// tab being the one that wrote it last. Each tab remembers, for its own
// reloads, which program it edits; the browser's locks say which programs
// are open in a tab now. The last RECENT programs stay; older ones go.

const PREFIX = 'zorvik.program.';
const TAB = 'zorvik.tab';
const RECENT = 20;

function readJson(storage, key) {
  try {
    return JSON.parse(storage.getItem(key));
  } catch (e) {
    return null;
  }
}

function valid(program) {
  return program && typeof program.text === 'string' && typeof program.id === 'string' ? program : null;
}

function newId() {
  return Date.now().toString(36) + Math.random().toString(36).slice(2, 8);
}

// This tab: its own id and the program it edits, kept across its reloads.
const tab = readJson(sessionStorage, TAB) || {id: newId(), program: null};
function keepTab() {
  try {
    sessionStorage.setItem(TAB, JSON.stringify(tab));
  } catch (e) { /* storage turned off: the tab forgets on reload */ }
}
keepTab();

// Work kept by the page before programs had keys of their own becomes
// programs.
function migrate() {
  for (const key of ['zorvik.work', 'zorvik.last']) {
    const old = readJson(localStorage, key);
    if (old && typeof old.text === 'string' && old.changed !== false)
      storeSave({id: newId(), name: old.name || 'untitled.zvs', text: old.text, changed: true, link: old.link || ''});
    localStorage.removeItem(key);
  }
}

export function storeTabId() {
  return tab.id;
}

// The program this tab edited before a reload, or null.
export function storeTabProgram() {
  return tab.program ? storeProgram(tab.program) : null;
}

export function storeSetTabProgram(id) {
  tab.program = id;
  keepTab();
}

export function storeNewId() {
  return newId();
}

export function storeProgram(id) {
  return valid(readJson(localStorage, PREFIX + id));
}

// Every kept program, the last changed first.
export function storeRecent() {
  const all = [];
  for (let i = 0; i < localStorage.length; i++) {
    const key = localStorage.key(i);
    if (key && key.startsWith(PREFIX)) {
      const p = valid(readJson(localStorage, key));
      if (p) all.push(p);
    }
  }
  return all.sort((a, b) => (b.savedAt || 0) - (a.savedAt || 0));
}

// Keeps `program` as this tab's writing; false when the browser keeps no
// more (its quota, or storage turned off). Past RECENT programs the oldest
// goes.
export function storeSave(program) {
  const value = {...program, savedAt: Date.now(), tab: tab.id};
  try {
    localStorage.setItem(PREFIX + program.id, JSON.stringify(value));
  } catch (e) {
    return false;
  }
  for (const old of storeRecent().slice(RECENT)) localStorage.removeItem(PREFIX + old.id);
  return true;
}

// `callback(program)` hears of each program another tab writes.
export function storeOnOtherTab(callback) {
  window.addEventListener('storage', (e) => {
    if (!e.key || !e.key.startsWith(PREFIX) || e.storageArea !== localStorage) return;
    const p = valid(readJson(localStorage, e.key));
    if (p && p.tab !== tab.id) callback(p);
  });
}

// The browser's locks say which programs are open in a tab: each tab holds
// a lock of its own for its life, whose client id tells its locks from
// the others', and a shared lock on the program it edits. A duplicated tab
// comes with its original's tab id, which is then held already: it takes
// a new one.
const TAB_LOCK = 'zorvik.tab.';
let client = null;
async function lockTab() {
  if (!navigator.locks) return;
  if ((await navigator.locks.query()).held.some((l) => l.name === TAB_LOCK + tab.id)) {
    tab.id = newId();
    keepTab();
  }
  await new Promise((got) => navigator.locks.request(TAB_LOCK + tab.id, () => {
    got();
    return new Promise(() => {});
  }));
  client = (await navigator.locks.query()).held.find((l) => l.name === TAB_LOCK + tab.id)?.clientId ?? null;
}
export const storeReady = lockTab().catch(() => {});

// The ids of the programs that other tabs hold open.
export async function storeHeldElsewhere() {
  const held = new Set();
  if (!navigator.locks || client === null) return held;
  for (const lock of (await navigator.locks.query()).held)
    if (lock.name.startsWith(PREFIX) && lock.clientId !== client) held.add(lock.name.slice(PREFIX.length));
  return held;
}

// This tab holds program `id` open from now on, and no other.
let release = null;
export function storeHold(id) {
  if (release) release();
  release = null;
  if (!navigator.locks) return;
  navigator.locks.request(PREFIX + id, {mode: 'shared'}, () => new Promise((r) => { release = r; }));
}

migrate();

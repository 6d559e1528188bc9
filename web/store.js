// The user's work, kept in the browser's storage as it is typed: the
// editor's text, its file name, whether it has changed since it was opened
// or saved, and the share link it came from. The program it replaced, when
// that one had changes, is kept as the "last program".

const WORK = 'zorvik.work';
const LAST = 'zorvik.last';

function read(key) {
  try {
    const value = JSON.parse(localStorage.getItem(key));
    return value && typeof value.text === 'string' ? value : null;
  } catch (e) {
    return null;
  }
}

// Writes `value` under `key`; false when the browser keeps no more (its
// quota, or storage turned off).
function write(key, value) {
  try {
    localStorage.setItem(key, JSON.stringify(value));
    return true;
  } catch (e) {
    return false;
  }
}

// The work as it was: {text, name, changed, link}, or null.
export function storeWork() {
  return read(WORK);
}

export function storeSaveWork(work) {
  return write(WORK, work);
}

export function storeLast() {
  return read(LAST);
}

export function storeSaveLast(work) {
  return write(LAST, work);
}

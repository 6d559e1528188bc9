// The console pane: a terminal's transcript of the program's output and the
// lines typed at its reads. It keeps the last lines only, in blocks of at
// most BLOCK_LINES whole lines; the browser lays out only the blocks in
// view (content-visibility), so a batch of thousands of lines costs no more
// than the few that show. The line still open is a block of its own.

const KEPT_LINES = 10000;
const BLOCK_LINES = 200;
const LINE_HEIGHT = 17;   // px, a guess for blocks not laid out yet

let pane = null;
let note = null;          // says how many lines are no longer shown
let open = null;          // the line not yet ended
let blocks = [];          // {element, lines}
let lines = 0;
let leftOut = 0;

function lineCount(text) {
  let n = 0;
  for (let i = text.indexOf('\n'); i >= 0; i = text.indexOf('\n', i + 1)) n++;
  return n;
}

function showNote() {
  note.hidden = leftOut === 0;
  note.textContent = `… ${leftOut.toLocaleString('en')} earlier line${leftOut === 1 ? ' is' : 's are'} not shown`;
}

function atBottom() {
  return pane.scrollHeight - pane.scrollTop - pane.clientHeight < 8;
}

// Adds a block of `count` whole lines, then lets the oldest blocks go while
// the rest still hold KEPT_LINES.
function addBlock(element, count) {
  pane.insertBefore(element, open);
  blocks.push({element, lines: count});
  lines += count;
  while (blocks.length > 1 && lines - blocks[0].lines >= KEPT_LINES) {
    const first = blocks.shift();
    first.element.remove();
    lines -= first.lines;
    leftOut += first.lines;
  }
}

export function consoleCreate(element) {
  pane = element;
  pane.textContent = '';
  note = document.createElement('div');
  note.className = 'left-out';
  open = document.createElement('div');
  pane.append(note, open);
  consoleClear();
}

// Output, `skipped` lines of it already left out by the caller.
export function consoleWrite(text, skipped = 0) {
  if (!text && !skipped) return;
  const follow = atBottom();
  leftOut += skipped;
  // Passed-over lines end the open line too.
  const joined = (skipped ? '' : open.textContent) + text;
  const end = joined.lastIndexOf('\n') + 1;
  if (end > 0) {
    let whole = joined.slice(0, end);
    let count = lineCount(whole);
    if (count > KEPT_LINES) {
      // A batch longer than the pane keeps: its last lines only.
      let at = whole.length - 1;
      for (let n = 0; n < KEPT_LINES; n++) at = whole.lastIndexOf('\n', at - 1);
      leftOut += count - KEPT_LINES;
      whole = whole.slice(at + 1);
      count = KEPT_LINES;
    }
    for (let start = 0; start < whole.length;) {
      let end = start, n = 0;
      while (n < BLOCK_LINES && end < whole.length) {
        end = whole.indexOf('\n', end) + 1;
        n++;
      }
      const block = document.createElement('div');
      block.className = 'lines';
      block.style.containIntrinsicSize = `auto ${n * LINE_HEIGHT}px`;
      block.textContent = whole.slice(start, end);
      addBlock(block, n);
      start = end;
    }
  }
  open.textContent = joined.slice(end);
  showNote();
  if (follow) pane.scrollTop = pane.scrollHeight;
}

// A line the user typed at a console read, after the prompt on its line.
export function consoleEcho(text) {
  const block = document.createElement('div');
  const typed = document.createElement('span');
  typed.className = 'typed';
  typed.textContent = text;
  block.append(open.textContent, typed, '\n');
  open.textContent = '';
  addBlock(block, 1);
  showNote();
  pane.scrollTop = pane.scrollHeight;
}

export function consoleClear() {
  for (const b of blocks) b.element.remove();
  blocks = [];
  lines = 0;
  leftOut = 0;
  open.textContent = '';
  showNote();
}

// What the pane shows, as text.
export function consoleText() {
  return blocks.map((b) => b.element.textContent).join('') + open.textContent;
}

// The page as a workbench, in Debian's chromium: the debugger beside the
// editor on a laptop, the keys staying the program's, a pixel click at a
// fractional place, a status that always says what happens, and the manual
// beside the program with every link of it resolving.
//   node --test web/test/*.test.mjs   (web/test.sh builds what it needs first)
import {after, before, test} from 'node:test';
import assert from 'node:assert/strict';
import {existsSync, readdirSync, readFileSync} from 'node:fs';
import {join, normalize, relative} from 'node:path';
import {newProfile, openPage, root, startBrowser, stopBrowser} from './support.mjs';

let origin;
before(async () => { origin = await startBrowser(); });
after(stopBrowser);

async function laptop() {
  const profile = await newProfile({viewport: {width: 1366, height: 768}});
  return openPage(origin, profile);
}

const stopped = (p) => p.waitForFunction(() => document.querySelector('.cm-stopped-line') &&
                                         !document.body.classList.contains('debug-running') &&
                                         !/^(Starting|Running)/.test(document.querySelector('#d-status').textContent));

async function clickLineNumber(p, line) {
  await p.locator('.cm-lineNumbers .cm-gutterElement', {hasText: new RegExp(`^${line}$`)}).click();
  await p.waitForSelector('.cm-breakpoint');
}

// A white box from row 10 down, a grey stripe above it drawn by another
// line, and a loop that polls the keys.
const drawing = `        lda #$54
        ldx #20
        ldy #9
        int #22
        lda #$7E
        ldy #10
        int #22
        int #21
poll    int #20
        jmp poll
`;

test('debugging on a laptop: the editor, the screen, registers, flags, the stack and the picture in view; the keys stay the program\'s', async () => {
  const p = await laptop();
  await p.evaluate((s) => window.zorvik.source(s), drawing);
  await clickLineNumber(p, 10);
  await p.click('#debug');
  await stopped(p);
  assert.match(await p.textContent('#d-status'), /^Stopped: breakpoint 1\.$/);
  const [scroll, height] = await p.evaluate(() => [document.scrollingElement.scrollHeight, innerHeight]);
  assert.ok(scroll <= height, `the page scrolls: ${scroll} > ${height}`);
  for (const selector of ['.cm-stopped-line', '#screen', '#d-controls', '#d-registers', '#d-flags', '#d-stack', '#d-screen']) {
    const box = await p.locator(selector).boundingBox();
    assert.ok(box && box.y >= 0 && box.y + box.height <= height && box.x + box.width <= 1366, `${selector} in view: ${JSON.stringify(box)}`);
  }
  const flagTops = await p.$$eval('#d-flags label', (all) => all.map((l) => Math.round(l.getBoundingClientRect().top)));
  assert.equal(flagTops.length, 7);
  assert.equal(new Set(flagTops).size, 1, `the flags in one row: ${flagTops}`);

  // The pixel under the pointer, with the screen's top at a fractional place.
  await p.addStyleTag({content: '#screen-box { padding-top: 0.4375px; }'});
  const box = await p.locator('#screen').boundingBox();
  assert.notEqual(box.y, Math.round(box.y));
  await p.mouse.click(Math.round(box.x) + 20.5, Math.round(box.y) + 10);
  await p.waitForFunction(() => /\(20, 10\)/.test(document.querySelector('#d-pixel').textContent));
  assert.match(await p.textContent('#d-pixel'), /\(20, 10\): .*last written by line 7/);

  // Continue gives the screen the keys: an arrow reaches the program and
  // scrolls nothing; the breakpoint waits for its key cell.
  await p.fill('#d-breakpoints input[data-key="condition"]', '[$10112] == 1');
  await p.press('#d-breakpoints input[data-key="condition"]', 'Enter');
  await p.click('#d-continue');
  await p.waitForFunction(() => document.activeElement === document.querySelector('#screen'));
  const before = await p.evaluate(() => [scrollX, scrollY]);
  await p.keyboard.down('ArrowRight');
  await stopped(p);
  await p.keyboard.up('ArrowRight');
  assert.match(await p.textContent('#d-status'), /^Stopped: breakpoint 1\.$/);
  assert.deepEqual(await p.evaluate(() => [scrollX, scrollY]), before);
  await p.close();
});

test('the status says what happens: running with its frames and statements, a fresh start, Ctrl+Enter and run to cursor', async () => {
  const p = await laptop();
  // A run's progress, a few times a second; Stop looks disabled when it is.
  const colour = () => p.$eval('#stop', (b) => getComputedStyle(b).color);
  await p.evaluate(() => window.zorvik.source('loop    int #21\n        jmp loop\n'));
  await p.click('.cm-content');
  await p.keyboard.press('Control+Enter');
  await p.waitForFunction(() => /^Running: \d+ frames?, [\d,]+ statements?\.$/.test(document.querySelector('#status').textContent));
  const first = await p.textContent('#status');
  await p.waitForFunction((t) => document.querySelector('#status').textContent !== t, first);
  const enabled = await colour();
  await p.click('#stop');
  await p.waitForFunction(() => /^Stopped: \d+ frames?, [\d,]+ statements?\.$/.test(document.querySelector('#status').textContent));
  assert.notEqual(await colour(), enabled);

  // A debugging session starts with a black screen, no status of the run
  // before it and empty panels; run to cursor says so.
  await p.selectOption('#examples', {label: 'snake.zvs'});
  await p.waitForFunction(() => /^Running/.test(document.querySelector('#status').textContent));
  await p.evaluate((s) => window.zorvik.source(s), drawing);
  await clickLineNumber(p, 4);
  await p.click('#debug');
  await stopped(p);
  assert.equal(await p.textContent('#status'), '');
  const lit = await p.evaluate(() => {
    const d = document.querySelector('#screen').getContext('2d').getImageData(0, 0, 480, 272).data;
    let n = 0;
    for (let i = 0; i < d.length; i += 4) n += d[i] || d[i + 1] || d[i + 2] ? 1 : 0;
    return n;
  });
  assert.equal(lit, 0, 'nothing of the snake on the screen');
  await p.click('.cm-line >> nth=7');
  await p.click('#d-cursor');
  await stopped(p);
  assert.equal(await p.textContent('#d-status'), 'Stopped: run to cursor.');
  await p.close();
});

test('the manual beside the program: its pages, Open in the editor, and where it was', async () => {
  const p = await laptop();
  await p.click('#manual-open');
  const manual = p.frameLocator('#manual-frame');
  await manual.locator('a[href="debugging.html"]').first().click();
  await manual.locator('h1', {hasText: 'Debugging'}).waitFor();
  await manual.locator('button', {hasText: 'Open debugging.zvs in the editor'}).click();
  await p.waitForSelector('#manual', {state: 'hidden'});
  assert.equal(await p.inputValue('#name'), 'debugging.zvs');
  assert.equal(await p.evaluate(() => window.zorvik.source()), readFileSync(join(root, 'docs', 'examples', 'debugging.zvs'), 'utf8'));
  await p.click('#manual-open');
  await manual.locator('h1', {hasText: 'Debugging'}).waitFor();
  await p.close();
});

test('every link and picture of the built manual resolves', () => {
  const dir = join(root, 'build', 'web', 'manual');
  const ids = (file) => new Set([...readFileSync(file, 'utf8').matchAll(/ id="([^"]+)"/g)].map((m) => m[1]));
  const broken = [];
  let checked = 0;
  for (const page of readdirSync(dir).filter((f) => f.endsWith('.html'))) {
    const html = readFileSync(join(dir, page), 'utf8');
    // A comment's opening shown as text, outside the code the manual quotes.
    assert.ok(!html.replace(/<code>[^]*?<\/code>/g, '').includes('&lt;!--'), `${page} shows a comment of the sources`);
    for (const [, , url] of html.matchAll(/(href|src)="([^"]+)"/g)) {
      if (/^[a-z]+:/i.test(url)) continue;
      const [path, anchor] = url.split('#');
      const target = path ? normalize(join(dir, path)) : join(dir, page);
      checked++;
      if (!existsSync(target)) broken.push(`${page}: ${url}`);
      else if (anchor && target.endsWith('.html') && !ids(target).has(anchor)) broken.push(`${page}: ${url} (no anchor)`);
      else if (!relative(join(root, 'build', 'web'), target).match(/^[^.]/)) broken.push(`${page}: ${url} (outside the page)`);
    }
  }
  assert.ok(checked > 50, `${checked} links`);
  assert.deepEqual(broken, []);
});

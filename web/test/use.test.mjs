// The page in ordinary use, in Debian's chromium: the work survives reloads
// and other openings, output never freezes it, a phone can use it, and
// share, open and the manual say what happened.
//   node --test web/test/*.test.mjs   (web/test.sh builds what it needs first)
import {after, before, test} from 'node:test';
import assert from 'node:assert/strict';
import {readFileSync} from 'node:fs';
import {join} from 'node:path';
import {deflateRawSync} from 'node:zlib';
import {newProfile, openPage, root, startBrowser, stopBrowser} from './support.mjs';

let origin;
before(async () => { origin = await startBrowser(); });
after(stopBrowser);

const examples = join(root, 'examples');

const source = (p) => p.evaluate(() => window.zorvik.source());
// Whole programs compared without printing them.
const same = (got, want, what) => assert.ok(got === want, `${what}: ${JSON.stringify(got.slice(-40))}`);
// Opens the recent program whose menu entry starts with `name`.
async function openRecent(p, name) {
  const value = await p.evaluate((n) => [...document.querySelectorAll('#recent option')]
    .find((o) => o.textContent.startsWith(`${n} — `))?.value, name);
  assert.ok(value, `${name} is among the recent programs`);
  await p.selectOption('#examples', value);
}

async function typeAtEnd(p, text) {
  await p.click('.cm-content');
  await p.keyboard.press('Control+End');
  await p.keyboard.type(text);
}

test('each tab keeps its own program: two tabs closed in either order leave both to be found again', async () => {
  for (const order of [[0, 1], [1, 0]]) {
    const profile = await newProfile();
    const tabs = [await openPage(origin, profile), await openPage(origin, profile)];
    for (const [i, tab] of tabs.entries()) await typeAtEnd(tab, `\n; typed in tab ${i}`);
    const typed = await Promise.all(tabs.map(source));
    for (const i of order) await tabs[i].close({runBeforeUnload: true});
    const p = await openPage(origin, profile);
    const found = [await source(p)];
    for (const value of await p.evaluate(() => [...document.querySelectorAll('#recent option')].map((o) => o.value))) {
      await p.selectOption('#examples', value);
      found.push(await source(p));
    }
    for (const text of typed) assert.ok(found.includes(text), `closed in the order ${order}: ${text.slice(-16)}`);
    await profile.close();
  }
});

test('typed work comes back after a reload; an example, New or a link keep it one choice away, under its own name', async () => {
  const profile = await newProfile();
  const p = await openPage(origin, profile);
  assert.equal(await p.inputValue('#name'), 'untitled.zvs');
  await typeAtEnd(p, '\n; mine, not saved anywhere');
  const mine = await source(p);
  await p.reload();
  await p.waitForSelector('body[data-ready]');
  same(await source(p), mine, 'the typed work');

  // An example takes the editor's place, runs and keeps its own name for
  // Download; the typed work is under the recent programs.
  await p.selectOption('#examples', {label: 'hello.zvs'});
  same(await source(p), readFileSync(join(examples, 'hello.zvs'), 'utf8'), 'hello.zvs');
  const [saved] = await Promise.all([p.waitForEvent('download'), p.click('#download')]);
  assert.equal(saved.suggestedFilename(), 'hello.zvs');
  const recent = await p.evaluate(() => [...document.querySelectorAll('#recent option')].map((o) => o.textContent));
  assert.deepEqual(recent, ['untitled.zvs — just now']);
  await openRecent(p, 'untitled.zvs');
  same(await source(p), mine, 'the typed work');

  // A name of the user's goes to Download and Ctrl+S; New starts an empty program.
  await p.fill('#name', 'my game');
  await p.press('#name', 'Enter');
  assert.equal(await p.inputValue('#name'), 'my game.zvs');
  const [keyed] = await Promise.all([p.waitForEvent('download'), p.keyboard.press('Control+S')]);
  assert.equal(keyed.suggestedFilename(), 'my game.zvs');
  await p.click('#new');
  assert.equal(await source(p), '');
  assert.equal(await p.inputValue('#name'), 'untitled.zvs');

  // A link's program is what the page shows, and stays on a reload.
  await openRecent(p, 'my game.zvs');
  const link = '#src=' + deflateRawSync(Buffer.from('; a shared program\n')).toString('base64url');
  await p.evaluate((l) => { location.hash = l; }, link);
  await p.waitForFunction((m) => window.zorvik.source() !== m, mine);
  await p.reload();
  await p.waitForSelector('body[data-ready]');
  assert.equal(await source(p), '; a shared program\n');
  await openRecent(p, 'my game.zvs');
  same(await source(p), mine, 'the typed work');

  // The program open here, changed in another tab: this tab says so and
  // waits for a choice; kept as a copy, both versions stay.
  const other = await openPage(origin, profile);
  await openRecent(other, 'my game.zvs');
  await typeAtEnd(other, '\n; from the other tab');
  await p.waitForSelector('#message button:text("Keep this one as a copy")');
  assert.match(await p.textContent('#message'), /my game\.zvs was changed in another tab/);
  await p.click('#message button:text("Keep this one as a copy")');
  assert.equal(await p.inputValue('#name'), 'my game-copy.zvs');
  same(await source(p), mine, 'the typed work');
  await p.waitForTimeout(400);
  await other.close();
  await openRecent(p, 'my game.zvs');
  assert.ok((await source(p)).endsWith("; from the other tab"), "the other tab's version");

  // A paste over the whole program is a program of its own.
  await openRecent(p, 'my game-copy.zvs');
  await p.click('.cm-content');
  await p.keyboard.press('Control+A');
  await p.evaluate(() => {
    const data = new DataTransfer();
    data.setData('text/plain', '; pasted over\n');
    document.querySelector('.cm-content').dispatchEvent(new ClipboardEvent('paste', {clipboardData: data, bubbles: true}));
  });
  await p.waitForFunction(() => window.zorvik.source() === '; pasted over\n');
  assert.match(await p.inputValue('#name'), /^untitled(-\d+)?\.zvs$/);
  await openRecent(p, 'my game-copy.zvs');
  same(await source(p), mine, 'the program pasted over');
  await profile.close();
});

// The time from a key typed in the editor to its frame, and from a click on
// Stop to the run's end, while `source` runs in the mode `debug`.
async function responsiveness(source, debug) {
  const p = await openPage(origin);
  await p.evaluate(([s, d]) => {
    window.zorvik.source(s);
    document.getElementById('trace').checked = d === 1;
  }, [source, debug]);
  await p.click('#run');
  await p.waitForTimeout(1500);
  await p.click('.cm-content');
  await p.keyboard.press('Control+End');
  const keys = [];
  for (const key of 'xyz') {
    const shown = p.evaluate((k) => new Promise((ok) => {
      addEventListener('keydown', (e) => {
        const typed = e.timeStamp;
        const look = () => (window.zorvik.source().endsWith(k) ? ok(performance.now() - typed) : requestAnimationFrame(look));
        requestAnimationFrame(look);
      }, {once: true, capture: true});
    }), key);
    await p.waitForTimeout(50);
    await p.keyboard.press(key);
    keys.push(await shown);
  }
  const stop = p.evaluate(() => new Promise((ok) => {
    document.getElementById('stop').addEventListener('click', (e) => {
      const clicked = e.timeStamp;
      const look = () => (window.zorvik.state() === 'ended' ? ok(performance.now() - clicked) : setTimeout(look, 1));
      look();
    }, {once: true});
  }));
  await p.waitForTimeout(50);
  await p.click('#stop');
  const stopped = await stop;
  const pane = await p.evaluate(() => ({lines: window.zorvik.console().split('\n').length,
                                        note: document.querySelector('#console .left-out').textContent}));
  await p.close();
  return {key: Math.max(...keys), stop: stopped, pane};
}

// A busy shared machine can stall one measurement; a page that locks up
// misses its targets every time, so one that misses gets a second try.
async function measured(source, debug) {
  const r = await responsiveness(source, debug);
  return r.key < 50 && r.stop < 100 ? r : responsiveness(source, debug);
}

test('no output, however fast, keeps the page from answering', async (t) => {
  const loop = '        lda #65\n        sta $40\n        lda #10\n        sta $41\n' +
               'loop    ldx #$40\n        ldy #$41\n        int #1\n        jmp loop\n';
  const printing = await measured(loop, 0);
  const tracing = await measured(readFileSync(join(examples, 'default.zvs'), 'utf8'), 1);
  t.diagnostic(`print loop: a key shows in ${printing.key.toFixed(1)} ms, Stop takes ${printing.stop.toFixed(1)} ms`);
  t.diagnostic(`trace of default.zvs: a key shows in ${tracing.key.toFixed(1)} ms, Stop takes ${tracing.stop.toFixed(1)} ms`);
  for (const r of [printing, tracing]) {
    assert.ok(r.key < 50, `a typed key took ${r.key} ms to show`);
    assert.ok(r.stop < 100, `Stop took ${r.stop} ms`);
  }
  assert.ok(printing.pane.lines <= 20001, `the pane holds ${printing.pane.lines} lines`);
  assert.match(printing.pane.note, /earlier lines are not shown/);

  // The whole output stays for scripts.
  const p = await openPage(origin);
  const {console: out} = await p.evaluate(() => window.zorvik.run(
    '        lda #65\n        sta $40\n        lda #10\n        sta $41\n        ldx #0\n' +
    'loop    stx $42\n        ldx #$40\n        ldy #$41\n        int #1\n        ldx $42\n        inx\n' +
    '        cpx #0\n        bne loop\n', {pause: false}));
  assert.equal(out, 'A\n'.repeat(256));
  await p.close();
});

test('on a phone the screen fits the width, nothing scrolls sideways, and touch keys play', async () => {
  const profile = await newProfile({viewport: {width: 390, height: 844}, deviceScaleFactor: 3, isMobile: true,
                                    hasTouch: true});
  const p = await openPage(origin, profile);
  const layout = await p.evaluate(() => ({page: document.documentElement.scrollWidth,
                                          screen: document.getElementById('screen').getBoundingClientRect().width}));
  assert.ok(layout.page <= 390, `the page is ${layout.page} px wide`);
  assert.ok(layout.screen <= 390 && layout.screen > 300, `the screen is ${layout.screen} px wide`);
  assert.ok(await p.isVisible('#touch-keys'));

  await p.selectOption('#examples', {label: 'keys.zvs'});
  await p.waitForFunction(() => window.zorvik.frame());
  const before = await p.evaluate(() => Array.from(window.zorvik.frame().rgba).join());
  const box = await p.locator('#touch-keys [data-key="right"]').boundingBox();
  const touch = await profile.newCDPSession(p);
  const point = {x: box.x + box.width / 2, y: box.y + box.height / 2};
  await touch.send('Input.dispatchTouchEvent', {type: 'touchStart', touchPoints: [point]});
  await p.waitForTimeout(300);
  await touch.send('Input.dispatchTouchEvent', {type: 'touchEnd', touchPoints: []});
  await p.waitForTimeout(100);
  assert.notEqual(await p.evaluate(() => Array.from(window.zorvik.frame().rgba).join()), before, 'the square did not move');
  await profile.close();
});

test('share offers run-when-opened, and says no to a link too long to open', async () => {
  const p = await openPage(origin);
  await p.evaluate(() => window.zorvik.source('        lda #1\n'));
  await p.check('#share-run');
  await p.click('#share');
  await p.waitForFunction(() => location.hash.endsWith('&run'));

  // Random letters hardly compress: the link would pass chromium's limit.
  const before = await p.evaluate(() => location.href);
  await p.evaluate(() => {
    const letters = Array.from({length: 1 << 20}, () => String.fromCharCode(97 + Math.floor(Math.random() * 26)));
    window.zorvik.source(letters.join(''));
  });
  await p.click('#share');
  await p.waitForSelector('#message.error');
  assert.match(await p.textContent('#message'), /too long/);
  assert.ok(await p.isVisible('#message button:text("Download")'));
  assert.equal(await p.evaluate(() => location.href), before);
  await p.close();
});

test('a file that is not UTF-8 text is not opened, and says so', async () => {
  const p = await openPage(origin);
  const kept = await p.evaluate(() => window.zorvik.source());
  await p.setInputFiles('#open', {name: 'picture.zvs', mimeType: 'text/plain',
                                   buffer: Buffer.from([0x89, 0x50, 0x4e, 0x47, 0xff, 0xfe, 0x00, 0x41])});
  await p.waitForSelector('#message.error');
  assert.match(await p.textContent('#message'), /picture\.zvs is not UTF-8 text, so it was not opened/);
  assert.equal(await p.evaluate(() => window.zorvik.source()), kept);
  await p.close();
});

test('the manual opens in a tab of its own too, with its pictures and links', async () => {
  const p = await openPage(origin);
  const kept = await p.evaluate(() => window.zorvik.source());
  // The page itself loads no picture of the manual.
  assert.equal(await p.evaluate(() => performance.getEntriesByType('resource').some((r) => r.name.includes('manual/'))), false);
  await p.click('#manual-open');
  const [manual] = await Promise.all([p.context().waitForEvent('page'), p.click('#manual-tab')]);
  await manual.waitForLoadState('load');
  assert.match(await manual.textContent('h1'), /\S/);
  await manual.click('a[href="web.html"]');
  await manual.waitForLoadState('load');
  assert.match(await manual.textContent('h1'), /In a web page/);
  await manual.goto(new URL('palette.html', manual.url()).href);
  const pictures = await manual.$$eval('img', (all) => all.map((i) => i.complete && i.naturalWidth > 0));
  assert.ok(pictures.length > 0 && pictures.every(Boolean), `pictures: ${pictures}`);
  assert.equal(await p.evaluate(() => window.zorvik.source()), kept);
});

test('search and replace in the editor', async () => {
  const p = await openPage(origin);
  await p.evaluate(() => window.zorvik.source('        lda #1\n        lda #2\n'));
  await p.click('.cm-content');
  await p.keyboard.press('Control+f');
  await p.waitForSelector('.cm-search');
  await p.fill('.cm-search input[name="search"]', 'lda');
  await p.fill('.cm-search input[name="replace"]', 'ldx');
  await p.click('.cm-search button[name="replaceAll"]');
  assert.equal(await p.evaluate(() => window.zorvik.source()), '        ldx #1\n        ldx #2\n');
  await p.close();
});

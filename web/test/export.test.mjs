// The game leaves the page: the exported player runs from a file with the
// network off, as zorvik-capture draws the same keys and seed, and carries
// any program as data; the player in another page's frame takes the keys
// only while it has the focus and never scrolls that page; Share says when
// its link opens only on this computer; and the page works offline after a
// first visit, a rebuilt page replacing it on the next visit online.
//   node --test web/test/export.test.mjs   (web/test.sh builds what it needs first)
import {after, before, test} from 'node:test';
import assert from 'node:assert/strict';
import {spawnSync} from 'node:child_process';
import {cpSync, readFileSync, writeFileSync} from 'node:fs';
import {join} from 'node:path';
import {pathToFileURL} from 'node:url';
import {exportFill, exportRead} from '../fill.mjs';
import {assertSamePixels, nativeCapture, nativeRun, newProfile, openPage, pageRun, root, scratch, serveFolder,
        startBrowser, stopBrowser} from './support.mjs';

// A dot that the arrow keys move among eight random blocks.
const GAME = `        int #19              ; open the window
        lda #8
        sta $0240            ; blocks still to draw
block   ldx #0
        ldy #240
        int #24              ; a random x from 0 to 239
        sta $0241
        adc #8
        sta $0243
        ldx #0
        ldy #240
        int #24              ; and y
        sta $0242
        adc #8
        sta $0244
        ldy $0242
brow    ldx $0241
bpixel  lda #$30
        int #22
        inx
        cpx $0243
        bne bpixel
        iny
        cpy $0244
        bne brow
        lda $0240
        sbc #1
        sta $0240
        cmp #0
        bne block
        lda #124
        sta $0200            ; the dot's x
        sta $0201            ; and y
frame   int #20
        ldx $0200
        ldy $0201
        lda #0
        int #22              ; the dot off
        lda $10112           ; right
        cmp #1
        bne noright
        lda $0200
        adc #1
        sta $0200
noright lda $10113           ; left
        cmp #1
        bne noleft
        lda $0200
        sbc #1
        sta $0200
noleft  lda $10111           ; down
        cmp #1
        bne nodown
        lda $0201
        adc #1
        sta $0201
nodown  lda $10110           ; up
        cmp #1
        bne noup
        lda $0201
        sbc #1
        sta $0201
noup    ldx $0200
        ldy $0201
        lda #$7E
        int #22              ; the dot on
        int #21
        jmp frame
`;
const template = () => readFileSync(join(root, 'build', 'web', 'player.html'), 'utf8');

let origin;
before(async () => {
  origin = await startBrowser();
});
after(stopBrowser);

// Opens `file` (an exported player) from file:// with the network off;
// every request that is not for the file itself is refused and kept.
async function openOffline(file) {
  const profile = await newProfile();
  await profile.setOffline(true);
  const left = [];
  await profile.route((url) => url.protocol !== 'file:', (route) => { left.push(route.request().url()); return route.abort(); });
  const p = await profile.newPage();
  p.on('request', (r) => { if (!/^(file|data|blob):/.test(r.url())) left.push(r.url()); });
  p.on('pageerror', (e) => console.error('page error:', e.message));
  await p.goto(pathToFileURL(file).href);
  await p.waitForSelector('body[data-ready]', {timeout: 20000});
  return {p, profile, left};
}

const frameOf = (p, call) => p.evaluate((call) => {
  const f = window.zorvik[call]();
  return f && {width: f.width, height: f.height, rgba: Array.from(f.rgba)};
}, call);

test('an exported game plays from a file with the network off, frame for frame as zorvik-capture draws it', async () => {
  const program = join(scratch, 'dot.zvs');
  writeFileSync(program, GAME);
  const keys = '5:right:down, 40:right:up, 42:down:down, 60:down:up';
  const file = join(scratch, 'dot.html');
  const html = exportFill(template(), {name: 'dot.zvs', program: GAME, replay: {seed: 1, keys, frames: 80}});
  writeFileSync(file, html);
  assert.ok(html.length < 512 * 1024, `the exported game is ${html.length} bytes`);
  const {p, profile, left} = await openOffline(file);
  assert.equal(await p.title(), 'dot');
  await p.waitForFunction(() => window.zorvik.replayFrame());
  assertSamePixels(nativeCapture(program, ['--seed', '1', '--keys', keys, '--frames', '80']).png,
                   await frameOf(p, 'replayFrame'), 'the exported game at frame 80');
  // Then the keys are the player's: the dot goes left while the key is down.
  const before = (await frameOf(p, 'frame')).rgba.join();
  await p.click('#screen');
  await p.keyboard.down('ArrowLeft');
  await p.waitForFunction(() => /left:down/.test(window.zorvik.record().keys));
  await p.waitForFunction((b) => Array.from(window.zorvik.frame().rgba).join() !== b, before);
  await p.keyboard.up('ArrowLeft');
  assert.match((await p.evaluate(() => window.zorvik.record())).keys, /^5:right:down, 40:right:up, 42:down:down, 60:down:up, \d+:left:down/);
  assert.ok(await p.isHidden('#console'), 'a game that prints nothing shows no console');
  await profile.close();
  assert.deepEqual(left, [], 'requests left the exported file');
});

test('web/export.sh carries any program as data: markup, a comment and bytes that are not UTF-8 run as themselves', async () => {
  const program = join(scratch, '<b>x<title>&amp;.zvs');
  const bytes = Buffer.concat([Buffer.from('        lda #1\n        ldm "</script><!-- ]]> <b>é'), Buffer.from([0xff]),
                               Buffer.from('"\n        ldx #1\n        int #1\n')]);
  writeFileSync(program, bytes);
  const file = join(scratch, 'tricky.html');
  const r = spawnSync('bash', [join(root, 'web', 'export.sh'), program, file]);
  assert.equal(r.status, 0, r.stderr.toString());
  const html = readFileSync(file, 'utf8');
  assert.doesNotMatch(html.slice(0, html.indexOf('zorvik-wasm')), /<\/script><!--|\]\]>|<b>/);
  const carried = exportRead(/<script id="zorvik-program" type="application\/json">(.*?)<\/script>/.exec(html)[1]);
  assert.deepEqual(Buffer.from(carried.bytes), bytes);
  const {p, profile, left} = await openOffline(file);
  assert.equal(await p.title(), '<b>x<title>&amp;');
  await p.waitForFunction(() => window.zorvik.state() === 'ended');
  const expected = nativeRun(program, []).console;
  assert.match(expected, /<\/script><!-- ]]> <b>é\uFFFD/);
  assert.equal(await p.evaluate(() => window.zorvik.output()), expected);
  assert.equal(await p.evaluate(() => window.zorvik.console()), expected);
  assert.equal(await p.evaluate(() => document.querySelectorAll('b').length), 0, 'the program added markup');
  await profile.close();
  assert.deepEqual(left, []);
});

test('Share on this computer says where its link opens, and gives a frame that takes keys only with the focus', async () => {
  const source = readFileSync(join(root, 'examples', 'keys.zvs'), 'utf8');
  const page = await openPage(origin);
  await page.evaluate((s) => window.zorvik.source(s), source);
  await page.click('#share');
  await page.waitForSelector('#share-dialog[open]');
  assert.match(await page.textContent('#share-local'), /opens only on this computer[\s\S]*127\.0\.0\.1/);
  assert.ok(await page.isVisible('#share-local a[href$="web.html#publishing-the-page"]'));
  assert.ok(await page.isVisible('#share-export'));
  assert.equal(await page.inputValue('#share-link'), await page.evaluate(() => location.href));
  const tag = await page.inputValue('#share-embed');
  assert.match(tag, /^<iframe src="http:\/\/127\.0\.0\.1:\d+\/player\.html#src=[\w-]+" .*allow="fullscreen"/);
  // The page's Export is the same player with the program inside.
  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#export')]);
  assert.equal(download.suggestedFilename(), 'untitled.html');
  const exported = readFileSync(await download.path(), 'utf8');
  const data = /<script id="zorvik-program" type="application\/json">(.*?)<\/script>/.exec(exported)[1];
  assert.equal(new TextDecoder().decode(exportRead(data).bytes), source);
  await page.close();
  // The page's own link with &embed opens the same player.
  const embed = await openPage(tag.match(/#src=[\w-]+/)[0].replace(/^/, origin) + '&embed');
  assert.match(embed.url(), /\/player\.html#src=[\w-]+$/);
  await embed.close();

  // A tall page with the frame in it.
  const host = await openPage(origin);
  await host.route(origin + 'host.html', (route) => route.fulfill({contentType: 'text/html',
    body: `<!doctype html><p id="top" tabindex="0">A page about the game</p>${tag}<div style="height: 4000px"></div>`}));
  await host.goto(origin + 'host.html');
  const frame = host.frames().find((f) => f.url().includes('player.html'));
  await frame.waitForSelector('body[data-ready]');
  await frame.waitForFunction(() => window.zorvik.record()?.frames > 0);
  // Keys with the focus outside the frame are not the game's.
  await host.focus('#top');
  await host.keyboard.press('ArrowRight');
  assert.equal((await frame.evaluate(() => window.zorvik.record())).keys, '');
  // With the focus in the frame they are, and the page around does not scroll.
  await frame.click('#screen');
  for (const key of ['ArrowDown', 'Space', 'PageDown', 'End', 'ArrowRight']) {
    await host.keyboard.down(key);
    await frame.waitForFunction((n) => window.zorvik.record().keys.split(', ').length >= n,
                                ['ArrowDown', 'Space', 'PageDown', 'End', 'ArrowRight'].indexOf(key) + 1);
    await host.keyboard.up(key);
  }
  assert.match((await frame.evaluate(() => window.zorvik.record())).keys, /down:down.*space:down.*page down:down.*end:down.*right:down/);
  assert.equal(await host.evaluate(() => window.scrollY), 0, 'the game\'s keys scrolled the page around it');
  // Outside the frame again, the same keys scroll the page and leave the game.
  const seen = (await frame.evaluate(() => window.zorvik.record())).keys;
  await host.focus('#top');
  await host.keyboard.press('PageDown');
  await host.waitForFunction(() => window.scrollY > 0);
  assert.equal((await frame.evaluate(() => window.zorvik.record())).keys, seen);
  await host.close();
});

// The time limit only stops a worker that never takes its new version.
test('after a first visit the page runs offline, and a rebuilt page replaces it on the next visits online', {timeout: 90000}, async () => {
  const dir = join(scratch, 'site');
  cpSync(join(root, 'build', 'web'), dir, {recursive: true, filter: (f) => !f.includes('/manual')});
  const site = await serveFolder(dir);
  try {
    const profile = await newProfile();
    const p = await openPage(site.url, profile);
    await p.waitForFunction(() => navigator.serviceWorker.controller);
    await p.evaluate(() => navigator.serviceWorker.ready);
    await profile.setOffline(true);
    const asked = site.requests;
    await p.reload();
    await p.waitForSelector('body[data-ready]');
    const hello = readFileSync(join(root, 'examples', 'hello.zvs'), 'utf8');
    assert.equal((await pageRun(p, hello)).console, nativeRun(join(root, 'examples', 'hello.zvs'), []).console);
    assert.equal(site.requests, asked, 'the page went to the server while offline');

    // A rebuild: a new index.html and a new version of the worker.
    writeFileSync(join(dir, 'index.html'), readFileSync(join(dir, 'index.html'), 'utf8')
      .replace('</head>', '<meta name="build" content="rebuilt">\n</head>'));
    writeFileSync(join(dir, 'sw.js'), readFileSync(join(dir, 'sw.js'), 'utf8').replace(/const VERSION = '\w+'/, "const VERSION = 'rebuilt'"));
    await profile.setOffline(false);
    await p.reload();
    await p.waitForSelector('body[data-ready]');
    const build = () => p.evaluate(() => document.querySelector('meta[name="build"]')?.content || 'first');
    assert.equal(await build(), 'first', 'the kept page went before the new one was in');
    // The new version comes in beside the page, and the old files go once it is in.
    await p.evaluate(async () => {
      while ((await caches.keys()).join() !== 'zorvik-rebuilt') await new Promise((ok) => setTimeout(ok, 50));
    });
    await p.reload();
    await p.waitForSelector('body[data-ready]');
    assert.equal(await build(), 'rebuilt');
    await profile.close();
  } finally {
    site.server.close();
  }
});

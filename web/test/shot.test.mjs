// Pictures that carry their program: a PNG of zorvik-capture opens its
// program in the page byte for byte and replays its run to the capture's
// own picture; the page's PNG button writes the same texts, which the
// native player reads; a broken PNG is refused, naming what is wrong.
//   node --test web/test/shot.test.mjs   (web/test.sh builds what it needs first)
import {after, before, test} from 'node:test';
import assert from 'node:assert/strict';
import {spawnSync} from 'node:child_process';
import {mkdirSync, readFileSync, writeFileSync} from 'node:fs';
import {join} from 'node:path';
import {inflateSync} from 'node:zlib';
import {PNG} from 'pngjs';
import {assertSamePixels, nativeCapture, native, openPage, root, scratch, startBrowser,
        stopBrowser} from './support.mjs';

let origin;

before(async () => {
  origin = await startBrowser();
});

after(stopBrowser);

// The chunks of a PNG: [type, data], in order.
function chunks(png) {
  const out = [];
  for (let at = 8; at + 12 <= png.length;) {
    const length = png.readUInt32BE(at);
    out.push([png.toString('latin1', at + 4, at + 8), png.subarray(at + 8, at + 8 + length)]);
    at += 12 + length;
  }
  return out;
}

// The texts of a PNG, keyword to text: zTXt, and tEXt for an empty one.
function texts(png) {
  const found = {};
  for (const [type, data] of chunks(png)) {
    const zero = data.indexOf(0);
    if (type === 'tEXt') {
      assert.equal(data.length, zero + 1, `${type} ${data.toString('latin1', 0, zero)} is not empty`);
      found[data.toString('latin1', 0, zero)] = '';
    } else if (type === 'zTXt') {
      assert.equal(data[zero + 1], 0, 'compression method 0');
      found[data.toString('latin1', 0, zero)] = inflateSync(data.subarray(zero + 2)).toString('utf8');
    }
  }
  return found;
}

async function openPng(page, name, buffer) {
  await page.setInputFiles('#open', {name, mimeType: 'image/png', buffer});
}

test('a PNG of zorvik-capture opens its program byte for byte and replays its run to the same frame', async () => {
  const dir = join(scratch, 'shot');
  mkdirSync(dir, {recursive: true});
  // The editor keeps lines as lines, so the source has no CR.
  const source = readFileSync(join(root, 'examples', 'snake.zvs'), 'utf8') + '; café ✓ ünïcödé\n; the end\n';
  const program = join(dir, 'snake.zvs');
  writeFileSync(program, source);
  const keys = '20:down:down,24:down:up,40:right:down,44:right:up';
  const picture = nativeCapture(program, ['--keys', keys, '--seed', '5', '--frames', '70']);
  const png = readFileSync(join(scratch, 'frame.png'));
  assert.deepEqual(texts(png), {'Zorvik program': source, 'Zorvik name': 'snake.zvs', 'Zorvik seed': '5',
                                'Zorvik keys': keys, 'Zorvik input': '', 'Zorvik frame': '70'});

  const page = await openPage(origin);
  await page.evaluate(() => window.zorvik.source('; my own work\n'));
  await openPng(page, 'frame.png', png);
  await page.waitForFunction((s) => window.zorvik.source() === s, source);
  assert.equal(await page.inputValue('#name'), 'snake.zvs');
  assert.match(await page.textContent('#message'), /snake\.zvs from frame\.png is in the editor, with the run/);
  await page.click('#message button');
  await page.waitForFunction(() => window.zorvik.replayFrame(), null, {timeout: 30000});
  const frame = await page.evaluate(() => {
    const f = window.zorvik.replayFrame();
    return {width: f.width, height: f.height, rgba: Array.from(f.rgba)};
  });
  assertSamePixels(picture.png, frame, 'the replayed picture');
  assert.match(await page.textContent('#message'), /The picture's run is replayed, 70 frames: the keys are yours now/);
  assert.deepEqual(page.consoleErrors, []);
  await page.close();
});

// Prints "hi", shows three frames and ends.
const SHOWS = `; shows three frames ✓
        lda #0
        ldm "hi\\n"
        ldx #0
        ldy #2
        int #1
        int #19
        ldx #3
again   stx $60
        int #21
        ldx $60
        dex
        cpx #0
        bne again
`;

test('the PNG button writes the texts after the image, the native player reads them, and a broken PNG is refused',
     async () => {
  const page = await openPage(origin);
  await page.evaluate((s) => window.zorvik.source(s), SHOWS);
  await page.fill('#name', 'shows.zvs');
  await page.press('#name', 'Enter');
  await page.evaluate(async (s) => {
    await window.zorvik.run(s, {seed: 3, pause: false, fullSpeed: true, input: ''});
  }, SHOWS);
  const shown = await page.evaluate(() => {
    const f = window.zorvik.frame();
    return {width: f.width, height: f.height, rgba: Array.from(f.rgba), frames: window.zorvik.record().frames};
  });
  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#png')]);
  const png = readFileSync(await download.path());
  assert.equal(download.suggestedFilename(), 'shows.png');
  const types = chunks(png).map(([type]) => type);
  assert.equal(types.at(-1), 'IEND');
  assert.ok(types.lastIndexOf('IDAT') < types.indexOf('zTXt'), types.join(' '));
  assert.deepEqual(texts(png), {'Zorvik program': SHOWS, 'Zorvik name': 'shows.zvs', 'Zorvik seed': '3',
                                'Zorvik keys': '', 'Zorvik input': '', 'Zorvik frame': String(shown.frames)});
  assertSamePixels(PNG.sync.read(png), shown, 'the PNG button\'s picture');

  // The native player plays what the page wrote.
  const file = join(scratch, 'shows.png');
  writeFileSync(file, png);
  const played = spawnSync(join(native, 'zorvik-play'), ['--exit-on-end', file],
                           {cwd: join(native, 'run'), env: {...process.env, SDL_VIDEODRIVER: 'dummy'}, timeout: 60000});
  assert.equal(played.status, 0, played.stderr.toString());
  assert.equal(played.stdout.toString(), 'hi\n');

  // Cut short inside its program, the picture changes nothing.
  await page.evaluate(() => window.zorvik.source('; my own work\n'));
  const at = png.indexOf('zTXtZorvik program') - 4;
  await openPng(page, 'cut.png', png.subarray(0, at + 40));
  await page.waitForFunction(() => /does not open/.test(document.getElementById('status').textContent));
  assert.equal(await page.textContent('#status'),
               `cut.png does not open: the zTXt chunk "Zorvik program" at byte ${at} is cut short: it says ` +
               `${png.readUInt32BE(at)} bytes, and the file has 28 more. The editor keeps what it had.`);
  assert.equal(await page.evaluate(() => window.zorvik.source()), '; my own work\n');
  await openPng(page, 'plain.png', PNG.sync.write(PNG.sync.read(png)));
  await page.waitForFunction(() => /plain\.png does not open/.test(document.getElementById('status').textContent));
  assert.match(await page.textContent('#status'), /it holds no program \(no "Zorvik program" text\)/);
  assert.equal(await page.evaluate(() => window.zorvik.source()), '; my own work\n');
  await page.close();
});

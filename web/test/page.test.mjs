// The page in Debian's chromium, headless, against the native machine: the
// same console output and the same pixels for the same programs, keys,
// Stop, console input, share links and the checker's marks.
//   node --test web/test/*.test.mjs   (web/test.sh builds what it needs first)
import {after, before, test} from 'node:test';
import assert from 'node:assert/strict';
import {spawnSync} from 'node:child_process';
import {existsSync, readdirSync, readFileSync, writeFileSync} from 'node:fs';
import {join} from 'node:path';
import {assertSamePixels, nativeCapture, nativeRun, native, openPage, pageRun, root, scratch, startBrowser,
        stopBrowser} from './support.mjs';

// Programs that wait for keys, which the key test plays.
const NEEDS_KEYS = new Set(['keys.zvs', 'snake.zvs']);

let page, origin;

before(async () => {
  origin = await startBrowser();
  page = await openPage(origin);
});

after(stopBrowser);

function debugOf(args) {
  return args.includes('--debug=gfx') ? 2 : args.includes('--debug') ? 1 : 0;
}

function programs() {
  const list = [];
  for (const name of readdirSync(join(root, 'examples')).sort())
    if (name.endsWith('.zvs') && !NEEDS_KEYS.has(name)) list.push({path: join(root, 'examples', name), args: [], input: ''});
  const golden = join(root, 'tests', 'golden');
  for (const name of readdirSync(golden).sort()) {
    if (!name.endsWith('.zvs')) continue;
    const base = join(golden, name.slice(0, -4));
    list.push({
      path: join(golden, name),
      args: existsSync(base + '.args') ? readFileSync(base + '.args', 'utf8').trim().split(/\s+/) : [],
      input: existsSync(base + '.in') ? readFileSync(base + '.in', 'utf8') : '',
    });
  }
  return list;
}

test('every example and golden program without keys prints and shows what the native machine does', async (t) => {
  for (const program of programs()) {
    await t.test(program.path.slice(root.length + 1), async () => {
      const source = readFileSync(program.path, 'utf8');
      const debug = debugOf(program.args);
      // A program that runs on past the capture's frame limit is compared
      // over that many frames: its console with the capture's.
      const picture = nativeCapture(program.path, program.args, program.input);
      const expected = picture.limited ? picture : nativeRun(program.path, program.args, program.input);
      const got = await pageRun(page, source, {input: program.input, debug, frames: picture.limited ? 600 : 0});
      assert.equal(got.console, expected.console);
      if (!picture.limited) assert.equal(got.status, expected.status);
      if (picture.noFrame) return assert.equal(got.frame, null);
      assertSamePixels(picture.png, got.frame, program.path);
    });
  }
});

test('keys move the square of keys.zvs as they do natively', async () => {
  const program = join(root, 'examples', 'keys.zvs');
  const script = [[3, 'right', true], [40, 'right', false], [45, 'down', true], [70, 'down', false],
                  [72, 'Left', true], [80, 'left', false]];
  const text = script.map(([f, k, d]) => `${f}:${k}:${d ? 'down' : 'up'}`).join(',');
  const picture = nativeCapture(program, ['--frames', '90', '--keys', text]);
  const got = await pageRun(page, readFileSync(program, 'utf8'), {frames: 90, keys: script});
  assertSamePixels(picture.png, got.frame, 'keys.zvs');

  // And from the keyboard itself: Run gives the screen the keys, which
  // takes the arrows and leaves Tab and Ctrl's shortcuts to the browser.
  const p = await openPage(origin);
  await p.evaluate((s) => { window.zorvik.source(s); }, readFileSync(program, 'utf8'));
  await p.click('#run');
  assert.equal(await p.evaluate(() => document.activeElement.id), 'screen');
  await p.waitForFunction(() => window.zorvik.frame());
  const before = await p.evaluate(() => Array.from(window.zorvik.frame().rgba).join());
  await p.evaluate(() => {
    window.keysSeen = [];
    window.addEventListener('keydown', (e) => window.keysSeen.push(`${e.code}:${e.defaultPrevented}`));
  });
  await p.keyboard.down('ArrowRight');
  await p.waitForTimeout(300);
  await p.keyboard.up('ArrowRight');
  const moved = await p.evaluate(() => Array.from(window.zorvik.frame().rgba).join());
  assert.notEqual(moved, before, 'the square did not move');
  await p.keyboard.press('Control+KeyL');
  await p.keyboard.press('Tab');
  assert.deepEqual(await p.evaluate(() => window.keysSeen),
                   ['ArrowRight:true', 'ControlLeft:true', 'KeyL:false', 'Tab:false']);
  assert.notEqual(await p.evaluate(() => document.activeElement.id), 'screen', 'Tab did not leave the screen');
  assert.equal(await p.evaluate(() => window.zorvik.source().includes('\u001b')), false);
  await p.close();
});

test('the canvas shows a frame only at a refresh, as the window does, fill and text included', async () => {
  const program = join(scratch, 'between.zvs');
  writeFileSync(program, `        int #19
        lda #$7E
        sta $1299
        lda #254
        sta $FFE13
        lda #0
        sta $FFE14
        lda #8
        ldm "shown, then cleared"
        jsr say
        int #21
        lda #8
        ldm "cleared before a refresh"
        jsr say
        ldx #0
        int #87
        lda #8
        ldm "after the fill"
        jsr say
        int #21
        lda #8
        ldm "drawn after the last refresh"
        jsr say
        jmp done
say     ldx #0
        lda #8
        int #86
        lda $FFE14
        adc #12
        sta $FFE14
        rts
done    lda #0
`);
  const picture = nativeCapture(program, []);
  const got = await pageRun(page, readFileSync(program, 'utf8'), {});
  assertSamePixels(picture.png, got.frame, 'text and fill between refreshes');
});

test('refreshes keep to 60 a second by the clock, and full speed does not wait', async (t) => {
  const refreshes = '        ldx #0\nagain   int #21\n        inx\n        cpx #120\n        bne again\n';
  const timed = (fullSpeed) => page.evaluate(async ([source, fullSpeed]) => {
    const start = performance.now();
    await window.zorvik.run(source, {pause: false, fullSpeed});
    return performance.now() - start;
  }, [refreshes, fullSpeed]);
  const paced = await timed(false);
  const free = await timed(true);
  t.diagnostic(`120 refreshes: ${paced.toFixed(0)} ms paced, ${free.toFixed(0)} ms at full speed`);
  assert.ok(paced > 1800 && paced < 2200, `120 refreshes took ${paced} ms, not 2 s`);
  assert.ok(free < 500, `at full speed 120 refreshes took ${free} ms`);
});

test('Stop ends an endless busy loop within 100 ms', async () => {
  const elapsed = await page.evaluate(async () => {
    const running = window.zorvik.run('spin inx\n jmp spin\n', {pause: false});
    await new Promise((ok) => setTimeout(ok, 300));
    if (window.zorvik.state() !== 'running') return -1;
    const start = performance.now();
    window.zorvik.stop();
    const {status} = await running;
    return status === 130 ? performance.now() - start : -status;
  });
  assert.ok(elapsed >= 0 && elapsed < 100, `stopping took ${elapsed} ms`);
});

test('a console read waits for its line, and the pause for Continue', async () => {
  const program = join(root, 'examples', 'hello.zvs');
  const expected = nativeRun(program, [], 'Ada\n3\n');
  const p = await openPage(origin);
  await p.evaluate((s) => { window.zorvik.source(s); }, readFileSync(program, 'utf8'));
  await p.click('#run');
  await p.waitForFunction(() => window.zorvik.state() === 'waiting-input');
  await p.waitForTimeout(200);
  assert.equal(await p.evaluate(() => window.zorvik.state()), 'waiting-input');
  // As on a terminal: the prompt is there when the input line opens, and
  // the answer stays in the transcript after it.
  const prompt = expected.console.slice(0, expected.console.indexOf('?') + 2);
  assert.equal(await p.evaluate(() => window.zorvik.console()), prompt);
  await p.fill('#input', 'Ada');
  await p.press('#input', 'Enter');
  await p.waitForFunction(() => window.zorvik.state() === 'waiting-input');
  assert.ok((await p.evaluate(() => window.zorvik.console())).startsWith(prompt + 'Ada\n'));
  await p.fill('#input', '3');
  await p.press('#input', 'Enter');
  await p.waitForFunction(() => window.zorvik.state() === 'ended');
  assert.equal(await p.evaluate(() => window.zorvik.output()), expected.console);
  await p.click('#clear');
  assert.equal(await p.evaluate(() => window.zorvik.console()), '');

  // The pause at nop of a debug mode waits for Continue, with the
  // registers already in the console.
  const paused = p.evaluate(() => window.zorvik.run('lda #7\nnop\nlda #9\n', {debug: 1}));
  await p.waitForSelector('#continue:not([hidden])');
  assert.equal(await p.evaluate(() => window.zorvik.state()), 'waiting-input');
  assert.match(await p.textContent('#console'), /Accumulator \(Dec\/Hex\) = 7\/7/);
  await p.click('#continue');
  const {status, console: out} = await paused;
  assert.equal(status, 0);
  assert.match(out, /Accumulator \(Dec\/Hex\) = 9\/9/);
  await p.close();
});

test('a share link carries the program, and a broken one says so', async () => {
  const source = '; shared\n        ldm "héllo"\n        lda #2\n';
  const p = await openPage(origin);
  await p.evaluate((s) => { window.zorvik.source(s); }, source);
  await p.click('#share');
  await p.waitForFunction(() => location.hash.startsWith('#src='));
  const link = await p.evaluate(() => location.href);
  assert.match(link, /#src=[A-Za-z0-9_-]+$/);
  await p.close();

  const opened = await openPage(link + '&run');
  assert.equal(await opened.evaluate(() => window.zorvik.source()), source);
  await opened.waitForFunction(() => window.zorvik.state() === 'ended');
  await opened.close();

  const broken = await openPage(origin + '#src=not-a-program');
  assert.match(await broken.textContent('#message.error'), /does not open/);
  const kept = await broken.evaluate(() => window.zorvik.source());
  assert.equal(kept, readFileSync(join(root, 'examples', 'default.zvs'), 'utf8'));
  await broken.close();
});

test('a trap program shows its checker warning at the line zorvik-check names', async () => {
  const program = join(root, 'docs', 'examples', 'first_spelling.zvs');
  const check = spawnSync(join(native, 'zorvik-check'), [program]).stdout.toString();
  const [, line, name] = check.match(/:(\d+):\d+: warning: .*\[-W(\S+)\]/);
  const p = await openPage(origin);
  await p.evaluate((s) => { window.zorvik.source(s); }, readFileSync(program, 'utf8'));
  await p.waitForSelector('.cm-lintRange-warning');
  const lines = await p.$$eval('.cm-content .cm-line', (all) =>
    all.map((l, i) => (l.querySelector('.cm-lintRange-warning') ? i + 1 : 0)).filter(Boolean));
  assert.ok(lines.includes(Number(line)), `marks at lines ${lines}, zorvik-check says ${line} (${name})`);
  await p.close();
});

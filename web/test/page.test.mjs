// The page in Debian's chromium, headless, against the native machine: the
// same console output and the same pixels for the same programs, keys,
// Stop, console input, share links and the checker's marks.
//   node --test web/test/   (web/test.sh builds what it needs first)
import {after, before, test} from 'node:test';
import assert from 'node:assert/strict';
import {spawnSync} from 'node:child_process';
import {existsSync, mkdtempSync, readdirSync, readFileSync} from 'node:fs';
import {createServer} from 'node:http';
import {tmpdir} from 'node:os';
import {dirname, extname, join} from 'node:path';
import {fileURLToPath} from 'node:url';
import {chromium} from 'playwright-core';
import {PNG} from 'pngjs';

const root = join(dirname(fileURLToPath(import.meta.url)), '..', '..');
const pageDir = join(root, 'build', 'web');
const native = process.env.ZORVIK_NATIVE || join(root, 'build', 'release');
const runDir = join(native, 'run');
const scratch = mkdtempSync(join(tmpdir(), 'zorvik-web-'));
// Programs that wait for keys, which the key test plays.
const NEEDS_KEYS = new Set(['keys.zvs', 'snake.zvs']);
const types = {'.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm',
               '.css': 'text/css', '.bmp': 'image/bmp', '.md': 'text/markdown'};

let server, browser, page, origin;

before(async () => {
  server = createServer((req, res) => {
    const path = join(pageDir, decodeURIComponent(new URL(req.url, 'http://x').pathname).replace(/\/$/, '/index.html'));
    if (!path.startsWith(pageDir) || !existsSync(path)) {
      res.writeHead(404).end();
      return;
    }
    res.writeHead(200, {'Content-Type': types[extname(path)] || 'application/octet-stream'});
    res.end(readFileSync(path));
  });
  await new Promise((ok) => server.listen(0, '127.0.0.1', ok));
  origin = `http://127.0.0.1:${server.address().port}/`;
  browser = await chromium.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
           '--disable-component-update', '--disable-sync'],
  });
  page = await openPage(origin);
});

after(async () => {
  await browser?.close();
  server?.close();
});

async function openPage(url) {
  const p = await browser.newPage();
  p.on('pageerror', (e) => console.error('page error:', e.message));
  await p.goto(url);
  await p.waitForSelector('body[data-ready]', {timeout: 20000});
  return p;
}

function nativeRun(program, args, input) {
  const r = spawnSync(join(native, 'zorvik'), [program, ...args], {cwd: runDir, input, maxBuffer: 1 << 28, timeout: 60000,
                      env: {...process.env, SDL_VIDEODRIVER: 'dummy'}});
  return {status: r.status, console: r.stdout.toString('utf8')};
}

// zorvik-capture's picture of the run, its pixels as RGB, and whether the
// frame limit ended it.
function nativeCapture(program, options, input = '') {
  const out = join(scratch, 'frame.png');
  const r = spawnSync(join(native, 'zorvik-capture'), [...options, program, out], {cwd: runDir, input, maxBuffer: 1 << 28});
  const stderr = r.stderr.toString();
  assert.equal(r.status, 0, stderr);
  return {png: PNG.sync.read(readFileSync(out)), console: r.stdout.toString('utf8'),
          limited: /frame limit/.test(stderr), noFrame: /showed no frame/.test(stderr)};
}

async function pageRun(p, source, options) {
  return p.evaluate(async ([source, options]) => {
    const result = await window.zorvik.run(source, options);
    const frame = window.zorvik.frame();
    return {...result, frame: frame && {width: frame.width, height: frame.height, rgba: Array.from(frame.rgba)}};
  }, [source, {pause: false, fullSpeed: true, input: '', ...options}]);
}

function assertSamePixels(png, frame, what) {
  assert.ok(frame, `${what}: the page showed no frame`);
  assert.equal(frame.width, png.width);
  assert.equal(frame.height, png.height);
  let differ = 0, first = null;
  for (let i = 0; i < png.width * png.height; i++) {
    for (let c = 0; c < 3; c++) {
      if (png.data[i * 4 + c] !== frame.rgba[i * 4 + c]) {
        differ++;
        first ??= `(${i % png.width}, ${Math.floor(i / png.width)})`;
        break;
      }
    }
  }
  assert.equal(differ, 0, `${what}: ${differ} pixels differ, the first at ${first}`);
}

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

  // And from the keyboard itself: the screen takes the arrows once clicked.
  const p = await openPage(origin);
  await p.evaluate((s) => { window.zorvik.source(s); }, readFileSync(program, 'utf8'));
  await p.click('#run');
  await p.click('#screen');
  await p.waitForFunction(() => window.zorvik.frame());
  const before = await p.evaluate(() => Array.from(window.zorvik.frame().rgba).join());
  await p.keyboard.down('ArrowRight');
  await p.waitForTimeout(300);
  await p.keyboard.up('ArrowRight');
  const moved = await p.evaluate(() => Array.from(window.zorvik.frame().rgba).join());
  assert.notEqual(moved, before, 'the square did not move');
  assert.equal(await p.evaluate(() => window.zorvik.source().includes('\u001b')), false);
  await p.close();
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
  await p.fill('#input', 'Ada');
  await p.press('#input', 'Enter');
  await p.waitForFunction(() => window.zorvik.state() === 'waiting-input');
  await p.fill('#input', '3');
  await p.press('#input', 'Enter');
  await p.waitForFunction(() => window.zorvik.state() === 'ended');
  assert.equal(await p.evaluate(() => window.zorvik.output()), expected.console);

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

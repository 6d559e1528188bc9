// What the page's tests share: the built page served over HTTP, Debian's
// chromium, and the native machine to compare with.
import assert from 'node:assert/strict';
import {spawnSync} from 'node:child_process';
import {existsSync, mkdtempSync, readFileSync} from 'node:fs';
import {createServer} from 'node:http';
import {tmpdir} from 'node:os';
import {dirname, extname, join} from 'node:path';
import {fileURLToPath} from 'node:url';
import {chromium} from 'playwright-core';
import {PNG} from 'pngjs';

export const root = join(dirname(fileURLToPath(import.meta.url)), '..', '..');
const pageDir = join(root, 'build', 'web');
export const native = process.env.ZORVIK_NATIVE || join(root, 'build', 'release');
const runDir = join(native, 'run');
export const scratch = mkdtempSync(join(tmpdir(), 'zorvik-web-'));
const types = {'.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm', '.css': 'text/css',
               '.bmp': 'image/bmp', '.png': 'image/png', '.gif': 'image/gif', '.webmanifest': 'application/manifest+json',
               '.json': 'application/json'};

let server, browser;

// A static server of the folder `dir` at 127.0.0.1, as any web host
// serves the page; `requests` counts what it was asked for.
export async function serveFolder(dir) {
  const served = {requests: 0};
  served.server = createServer((req, res) => {
    served.requests++;
    const path = join(dir, decodeURIComponent(new URL(req.url, 'http://x').pathname).replace(/\/$/, '/index.html'));
    if (!path.startsWith(dir) || !existsSync(path)) {
      res.writeHead(404).end();
      return;
    }
    res.writeHead(200, {'Content-Type': types[extname(path)] || 'application/octet-stream'});
    res.end(readFileSync(path));
  });
  await new Promise((ok) => served.server.listen(0, '127.0.0.1', ok));
  served.url = `http://127.0.0.1:${served.server.address().port}/`;
  return served;
}

// Serves the page and starts chromium; resolves with the page's address.
export async function startBrowser() {
  ({server} = await serveFolder(pageDir));
  browser = await chromium.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
           '--disable-component-update', '--disable-sync'],
  });
  return `http://127.0.0.1:${server.address().port}/`;
}

export async function stopBrowser() {
  await browser?.close();
  server?.close();
}

// A browser profile of its own (its own storage), with `options` for
// playwright's newContext (a phone's viewport, touch).
export function newProfile(options = {}) {
  return browser.newContext({acceptDownloads: true, ...options});
}

// Opens `url` once the page is ready, in `profile` or in a new one.
export async function openPage(url, profile) {
  const context = profile || (await newProfile());
  const p = await context.newPage();
  if (!profile) p.on('close', () => context.close().catch(() => {}));
  p.on('pageerror', (e) => console.error('page error:', e.message));
  // What the page logs as errors, from its first script on, for tests to check.
  p.consoleErrors = [];
  p.on('console', (m) => { if (m.type() === 'error') p.consoleErrors.push(m.text()); });
  await p.goto(url);
  await p.waitForSelector('body[data-ready]', {timeout: 20000});
  return p;
}

export function nativeRun(program, args, input) {
  const r = spawnSync(join(native, 'zorvik'), [program, ...args], {cwd: runDir, input, maxBuffer: 1 << 28, timeout: 60000,
                      env: {...process.env, SDL_VIDEODRIVER: 'dummy'}});
  return {status: r.status, console: r.stdout.toString('utf8')};
}

// zorvik-capture's picture of the run, its pixels as RGB, and whether the
// frame limit ended it.
export function nativeCapture(program, options, input = '') {
  const out = join(scratch, 'frame.png');
  const r = spawnSync(join(native, 'zorvik-capture'), [...options, program, out], {cwd: runDir, input, maxBuffer: 1 << 28});
  const stderr = r.stderr.toString();
  assert.equal(r.status, 0, stderr);
  return {png: PNG.sync.read(readFileSync(out)), console: r.stdout.toString('utf8'),
          limited: /frame limit/.test(stderr), noFrame: /showed no frame/.test(stderr)};
}

export async function pageRun(p, source, options) {
  return p.evaluate(async ([source, options]) => {
    const result = await window.zorvik.run(source, options);
    const frame = window.zorvik.frame();
    return {...result, frame: frame && {width: frame.width, height: frame.height, rgba: Array.from(frame.rgba)}};
  }, [source, {pause: false, fullSpeed: true, input: '', ...options}]);
}

export function assertSamePixels(png, frame, what) {
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

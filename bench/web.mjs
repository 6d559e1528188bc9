// Measures the page and the native machine side by side, alternating runs,
// and prints the best of each. Run by bench/web.sh, which builds both.
import {spawnSync} from 'node:child_process';
import {readdirSync, readFileSync, statSync} from 'node:fs';
import {createServer} from 'node:http';
import {dirname, extname, join} from 'node:path';
import {fileURLToPath} from 'node:url';
import {chromium} from '../web/node_modules/playwright-core/index.mjs';

const root = join(dirname(fileURLToPath(import.meta.url)), '..');
const pageDir = join(root, 'build', 'web');
const runDir = join(root, 'build', 'release', 'run');
const rounds = Number(process.argv[2] || 5);
const counting = join(root, 'bench', 'count_long.zvs');
const types = {'.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm', '.css': 'text/css'};

const server = createServer((req, res) => {
  const path = join(pageDir, new URL(req.url, 'http://x').pathname.replace(/\/$/, '/index.html'));
  try {
    const body = readFileSync(path);
    res.writeHead(200, {'Content-Type': types[extname(path)] || 'application/octet-stream'}).end(body);
  } catch {
    res.writeHead(404).end();
  }
});
await new Promise((ok) => server.listen(0, '127.0.0.1', ok));
const origin = `http://127.0.0.1:${server.address().port}/`;
const browser = await chromium.launch({
  executablePath: '/usr/bin/chromium',
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
         '--disable-component-update', '--disable-sync'],
});

function nativeSeconds() {
  const start = process.hrtime.bigint();
  const r = spawnSync(join(root, 'build', 'release', 'zorvik'), [counting], {cwd: runDir, env: {...process.env, SDL_VIDEODRIVER: 'dummy'}});
  if (r.status !== 0) throw new Error('the native run failed');
  return Number(process.hrtime.bigint() - start) / 1e9;
}

async function pageRound() {
  const page = await browser.newPage();
  await page.goto(origin);
  const firstFrame = await page.evaluate(() => new Promise((ok) => {
    const look = () => {
      const mark = performance.getEntriesByName('zorvik-first-frame')[0];
      if (mark) ok(mark.startTime); else setTimeout(look, 5);
    };
    look();
  }));
  await page.waitForSelector('body[data-ready]');
  const source = readFileSync(counting, 'utf8');
  const timed = () => page.evaluate(async (source) => {
    const start = performance.now();
    await window.zorvik.run(source, {fullSpeed: true, pause: false});
    return (performance.now() - start) / 1000;
  }, source);
  const seconds = await timed();
  // The same program under the page's debugger, with no breakpoint, and
  // then recording every statement; its module loads before the clock starts.
  const debugged = (record) => page.evaluate(async ([source, record]) => {
    const z = window.zorvik;
    await z.dap({command: 'initialize', arguments: {adapterID: 'zorvik'}});
    const ended = new Promise((ok) => {
      const off = z.onDapEvent((e) => { if (e.event === 'terminated') { off(); ok(); } });
    });
    await z.dap({command: 'launch', arguments: {program: 'count.zvs', source, record}});
    const start = performance.now();
    await z.dap({command: 'configurationDone'});
    await ended;
    const seconds = (performance.now() - start) / 1000;
    await z.dap({command: 'disconnect'});
    return seconds;
  }, [source, record]);
  // The debugger's module is compiled by the browser when first used, and
  // its loop runs optimised from its next call: a short warm-up, untimed.
  await debugged(false);
  const debugger_ = await debugged(false);
  const recording = await debugged(true);
  // The page's own run again, after the debugger's, so that neither has
  // the machine's quieter moments to itself.
  const again = await timed();
  await page.close();
  return {firstFrame, seconds: Math.min(seconds, again), debugger_, recording};
}

const native = [], page = [], first = [], debug = [], record = [];
for (let i = 0; i < rounds; i++) {
  native.push(nativeSeconds());
  const r = await pageRound();
  page.push(r.seconds);
  first.push(r.firstFrame);
  debug.push(r.debugger_);
  record.push(r.recording);
}
await browser.close();
server.close();

const best = (list) => Math.min(...list);
// The manual's pages and pictures open in a tab of their own and are not
// counted as the page.
const bytes = (dir) => readdirSync(dir).reduce((sum, name) => {
  const s = statSync(join(dir, name));
  return sum + (name === 'manual' ? 0 : s.isDirectory() ? bytes(join(dir, name)) : s.size);
}, 0);
console.log(`counting loop (bench/count_long.zvs), best of ${rounds}:`);
console.log(`  native  ${best(native).toFixed(3)} s   (${native.map((s) => s.toFixed(3)).join(' ')})`);
console.log(`  page    ${best(page).toFixed(3)} s   (${page.map((s) => s.toFixed(3)).join(' ')})`);
console.log(`  page, debugger          ${best(debug).toFixed(3)} s   (${debug.map((s) => s.toFixed(3)).join(' ')})`);
console.log(`  page, debugger recording ${best(record).toFixed(3)} s   (${record.map((s) => s.toFixed(3)).join(' ')})`);
console.log(`  the page runs at ${(best(native) / best(page)).toFixed(2)}x the native speed`);
console.log(`  under the debugger it runs at ${(best(page) / best(debug)).toFixed(2)}x the page's speed, ` +
            `recording at ${(best(page) / best(record)).toFixed(2)}x`);
console.log(`page load to the first frame of default.zvs: best ${best(first).toFixed(0)} ms (${first.map((s) => s.toFixed(0)).join(' ')})`);
console.log(`the page's files, the manual aside: ${(bytes(pageDir) / 1048576).toFixed(2)} MiB`);

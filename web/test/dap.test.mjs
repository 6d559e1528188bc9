// The debugger in the page is zorvik-debug's own engine: the same requests
// through window.zorvik.dap and through `zorvik-debug --dap` give the same
// stops, registers, memory and pixel answers, forward and back, and a point
// of the run reached by going back then any motion gives what reaching it
// live does.
//   node --test web/test/*.test.mjs   (web/test.sh builds what it needs first)
import {after, before, test} from 'node:test';
import assert from 'node:assert/strict';
import {spawn, spawnSync} from 'node:child_process';
import {copyFileSync, readFileSync, writeFileSync} from 'node:fs';
import {join} from 'node:path';
import {native, openPage, root, scratch, startBrowser, stopBrowser} from './support.mjs';

let origin;
before(async () => { origin = await startBrowser(); });
after(stopBrowser);

// A session of requests; each motion is followed by where it stopped and
// the registers there. `send` takes a request and gives its response;
// `next` gives the next stopped or exited event; `notes` the adapter's
// important notes so far.
async function session(send, next, notes, launch) {
  const seen = [];
  const keep = (what, response) => seen.push([what, response.success, response.body ?? response.message]);
  const where = async (motion, args = {threadId: 1}) => {
    keep(motion, await send(motion, args));
    const event = await next();
    if (event.event !== 'stopped') return seen.push([motion, event.event, event.body]);
    const frames = (await send('stackTrace', {threadId: 1})).body.stackFrames;
    const registers = (await send('variables', {variablesReference: 1})).body.variables;
    seen.push([motion, event.body.reason, frames.map((f) => `${f.name} @${f.line}:${f.column}`),
               registers.map((v) => `${v.name}=${v.value}`)]);
  };
  keep('initialize', await send('initialize', {adapterID: 'zorvik'}));
  keep('launch', await send('launch', {...launch, record: true, stopOnEntry: true}));
  keep('lines', await send('setBreakpoints', {source: {path: launch.program},
                                              breakpoints: [{line: 9, condition: 'X == 2'}, {line: 10, logMessage: 'X is {X}'}]}));
  keep('labels', await send('setFunctionBreakpoints', {breakpoints: [{name: 'bump'}]}));
  keep('configurationDone', await send('configurationDone', {}));
  seen.push(['entry', (await next()).body.reason]);
  await where('continue');
  await where('next');
  await where('stepIn');
  await where('stepOut');
  await where('stepBack');
  await where('reverseContinue');
  await where('zorvikReverseToWriter', {cell: 255 + 3 + 480 * 4});
  await where('zorvikRunTo', {line: 9});
  keep('readMemory', await send('readMemory', {memoryReference: '0x10', count: 4}));
  keep('writeMemory', await send('writeMemory', {memoryReference: '0x10', data: Buffer.from([9]).toString('base64')}));
  keep('setVariable', await send('setVariable', {variablesReference: 1, name: 'A', value: '42'}));
  keep('pixel', await send('zorvikPixel', {x: 3, y: 4}));
  keep('screen', await send('zorvikScreen', {}));
  keep('evaluate', await send('evaluate', {expression: '[$10] + A', context: 'watch'}));
  keep('no breakpoints', await send('setBreakpoints', {source: {path: launch.program}, breakpoints: []}));
  keep('no labels', await send('setFunctionBreakpoints', {breakpoints: []}));
  await where('zorvikNextFrame');
  await where('zorvikRunTo', {line: 16});
  await where('zorvikReverseFinish');
  await where('zorvikReverseNext');
  keep('fork', await send('setVariable', {variablesReference: 1, name: 'X', value: '0'}));
  seen.push(['notes', notes()]);
  await where('next');
  await where('continue');
  await where('zorvikReverseNext');
  keep('no caller', await send('zorvikReverseFinish', {threadId: 1}));
  await where('stepBack');
  await where('continue');
  keep('terminate', await send('terminate', {}));
  seen.push(['end', (await next()).event]);
  return seen;
}

// The program draws the pixel (3, 4) and calls a subroutine in a loop.
const program = `        lda #$7E
        ldx #3
        ldy #4
        int #22
        lda #0
        sta $10
        ldx #0
loop    inx
        jsr bump
        int #21
        cpx #3
        bne loop
        brk
bump    lda $10
        adc #7
        sta $10
        rts
`;

function nativeSession() {
  const path = join(scratch, 'session.zvs');
  writeFileSync(path, program);
  for (const name of ['term.mxf', 'icon.bmp']) copyFileSync(join(native, 'run', name), join(scratch, name));
  const adapter = spawn(join(native, 'zorvik-debug'), ['--dap'], {cwd: scratch,
                        env: {...process.env, SDL_VIDEODRIVER: 'dummy'}});
  let buffer = Buffer.alloc(0), seq = 1;
  const waiting = new Map(), events = [], eventWaiters = [], important = [];
  adapter.stdout.on('data', (chunk) => {
    buffer = Buffer.concat([buffer, chunk]);
    for (;;) {
      const end = buffer.indexOf('\r\n\r\n');
      if (end < 0) return;
      const length = Number(/Content-Length: (\d+)/i.exec(buffer.subarray(0, end).toString())[1]);
      if (buffer.length < end + 4 + length) return;
      const message = JSON.parse(buffer.subarray(end + 4, end + 4 + length).toString());
      buffer = buffer.subarray(end + 4 + length);
      if (message.type === 'response') waiting.get(message.request_seq)?.(message);
      else if (['stopped', 'exited'].includes(message.event)) (eventWaiters.shift() || ((e) => events.push(e)))(message);
      else if (message.event === 'output' && message.body.category === 'important') important.push(message.body.output);
    }
  });
  const send = (command, args) => new Promise((resolve) => {
    const message = JSON.stringify({type: 'request', seq, command, arguments: args});
    waiting.set(seq++, resolve);
    adapter.stdin.write(`Content-Length: ${Buffer.byteLength(message)}\r\n\r\n${message}`);
  });
  const next = () => (events.length ? Promise.resolve(events.shift()) : new Promise((r) => eventWaiters.push(r)));
  return session(send, next, () => [...important], {program: path, cwd: scratch}).finally(() => adapter.kill());
}

async function pageSession(p) {
  return p.evaluate(async (launch) => {
    const events = [], waiters = [], important = [];
    window.zorvik.onDapEvent((e) => {
      if (['stopped', 'exited'].includes(e.event)) (waiters.shift() || ((x) => events.push(x)))(e);
      else if (e.event === 'output' && e.body.category === 'important') important.push(e.body.output);
    });
    const send = (command, args) => window.zorvik.dap({command, arguments: args});
    const next = () => (events.length ? Promise.resolve(events.shift()) : new Promise((r) => waiters.push(r)));
    // The page runs the session's own copy: the test's text is a string.
    return (0, eval)(`(${window.sessionSource})`)(send, next, () => [...important], launch);
  }, {program: '/work/session.zvs', source: program});
}

test('a debugging session in the page stops, steps and answers as zorvik-debug --dap does', async () => {
  const expected = await nativeSession();
  const p = await openPage(origin);
  await p.evaluate((s) => { window.sessionSource = s; window.Buffer = {from: (a) => ({toString: () => btoa(String.fromCharCode(...a))})}; },
                   session.toString());
  const got = await pageSession(p);
  const plain = (seen) => JSON.parse(JSON.stringify(seen).replaceAll(join(scratch, 'session.zvs'), '/work/session.zvs'));
  assert.deepEqual(got, plain(expected));
  assert.ok(expected.some(([what, reason]) => what === 'stepBack' && reason === 'step'));
  assert.ok(expected.some(([what, reason]) => what === 'zorvikReverseFinish' && reason === 'step'));
  assert.ok(expected.some(([what, reason]) => what === 'continue' && reason === 'end'));
  // Run to a line stopped in the history, where writeMemory forked; the
  // setVariable after going back forked again.
  assert.deepEqual(expected.find(([what]) => what === 'notes'), ['notes', Array(2).fill('the history after this statement is dropped\n')]);
  await p.close();
});

// Points of the run reached in the page by stepping from the start, and by
// going back from two and five statements later, which leaves a call half
// or wholly in the history; then each motion: the same stop, registers,
// flags, stacks, memory and picture.
test('in the page, going back then any motion gives what the live run gives', async () => {
  const p = await openPage(origin);
  const differences = await p.evaluate(async (source) => {
    const events = [], waiters = [];
    window.zorvik.onDapEvent((e) => {
      if (e.event === 'stopped' || e.event === 'exited') (waiters.shift() || ((x) => events.push(x)))(e);
    });
    const send = async (command, args = {}) => window.zorvik.dap({command, arguments: {threadId: 1, ...args}});
    const next = () => (events.length ? Promise.resolve(events.shift()) : new Promise((r) => waiters.push(r)));
    const go = async (command, args) => {
      const r = await send(command, args);
      return r.success ? (await next()).body : {refused: r.message};
    };
    const state = async (stop) => {
      const look = async (ref) => (await send('variables', {variablesReference: ref})).body.variables.map((v) => v.value);
      const frames = (await send('stackTrace')).body.stackFrames.map((f) => `${f.name} @${f.line}`);
      const memory = (await send('readMemory', {memoryReference: '0x0', count: 64})).body.data;
      let screen = 0;  // a hash: a difference shows, not the whole picture
      for (const c of (await send('zorvikScreen')).body.data) screen = (screen * 31 + c.charCodeAt(0)) >>> 0;
      return JSON.stringify([stop, frames, await look(1), await look(2), await look(3), memory, screen]);
    };
    const motions = [['stepIn'], ['next'], ['stepOut'], ['continue'], ['zorvikNextFrame'], ['zorvikRunTo', {line: 15}],
                     ['stepBack'], ['zorvikReverseNext'], ['zorvikReverseFinish'], ['reverseContinue']];
    await send('initialize', {adapterID: 'zorvik'});
    await send('launch', {program: 'points.zvs', source, record: true, stopOnEntry: true});
    await send('setBreakpoints', {source: {path: '/points.zvs'}, breakpoints: [{line: 11}]});
    await send('configurationDone');
    await next();
    const differences = [];
    for (const at of [8, 17, 22]) {
      for (const [command, args] of motions) {
        const seen = [];
        for (const later of [0, 2, 5]) {
          await send('restart');
          await next();
          for (let i = 0; i < at + later; i++) await go('stepIn');
          for (let i = 0; i < later; i++) await go('stepBack');
          seen.push(await state(await go(command, args)));
        }
        for (const back of seen.slice(1))
          if (back !== seen[0]) differences.push({at, command, live: seen[0], back});
      }
    }
    await send('terminate');
    return differences;
  }, program);
  assert.deepEqual(differences, []);
  await p.close();
});

// A kept run's parts in the launch: the page's debugger plays the key
// script at its frames, as zorvik-debug does (the player's column, which
// only the keys move, ends where it ends natively), reads the input text,
// and replays the same run for the same seed, back and forth; a bad key is
// refused by name.
test('in the page, a launch with keys, seed and input replays a kept run', async () => {
  const kept = join(root, 'tests', 'debugger', 'replay');
  const game = readFileSync(join(kept, 'dodge.zvs'), 'utf8');
  const keys = readFileSync(join(kept, 'dodge.keys'), 'utf8');
  const column = (out) => /\[\$52\] = (\d+)/.exec(out)[1];
  const p = await openPage(origin);
  const runs = await p.evaluate(async ({source, keys}) => {
    const events = [], waiters = [];
    let output = '';
    window.zorvik.onDapEvent((e) => {
      if (e.event === 'output' && e.body.category === 'stdout') output += e.body.output;
      else if (['stopped', 'exited'].includes(e.event)) (waiters.shift() || ((x) => events.push(x)))(e);
    });
    const send = (command, args = {}) => window.zorvik.dap({command, arguments: args});
    const next = () => (events.length ? Promise.resolve(events.shift()) : new Promise((r) => waiters.push(r)));
    const value = async (expression) => (await send('evaluate', {expression, context: 'watch'})).body.result;
    const play = async (launch) => {
      output = '';
      await send('initialize', {adapterID: 'zorvik'});
      const launched = await send('launch', {program: 'dodge.zvs', source, record: true, stopOnEntry: true, ...launch});
      if (!launched.success) return launched.message;
      await send('configurationDone');
      await next();
      await send('continue', {threadId: 1});
      const end = (await next()).body.reason;
      const seen = [end, output, await value('[$52]'), await value('A')];
      await send('reverseContinue', {threadId: 1});
      await next();
      await send('continue', {threadId: 1});
      seen.push((await next()).body.reason, await value('[$52]'), await value('A'));
      await send('terminate');
      await next();
      return seen;
    };
    return [await play({keys, seed: 7, inputText: 'Ada\n'}), await play({keys, seed: 7, inputText: 'Ada\n'}),
            await play({keys: '5:nokey:down', seed: 7})];
  }, {source: game, keys});
  writeFileSync(join(scratch, 'replay.txt'), 'continue\nprint [$52]\n');
  const natively = spawnSync(join(native, 'zorvik-debug'),
                             ['--batch', '-x', join(scratch, 'replay.txt'), '--seed', '7', '--keys', join(kept, 'dodge.keys'), '--input',
                              join(kept, 'dodge.in'), join(kept, 'dodge.zvs')],
                             {env: {...process.env, SDL_VIDEODRIVER: 'dummy'},
                              cwd: join(native, 'run'), encoding: 'utf8'});
  const [first, again, bad] = runs;
  assert.equal(first[0], 'end');
  assert.match(first[1], /^Ada[A-P][A-P]\n$/);
  assert.equal(first[2], `${column(natively.stdout)} ($${Number(column(natively.stdout)).toString(16)})`);
  assert.deepEqual(first.slice(4), ['end', first[2], first[3]]);
  assert.deepEqual(again, first);
  assert.match(bad, /bad 'keys', line 1: .*no key is named 'nokey'/);
  await p.close();
});

test('the debugger panel: a gutter breakpoint, Step, a register, and back to the statement that drew a pixel', async () => {
  const p = await openPage(origin);
  await p.evaluate((text) => window.zorvik.source(text), program);
  const lineOf = (n) => p.locator('.cm-line').nth(n - 1).boundingBox();
  const gutter = await p.locator('.cm-breakpoint-gutter').boundingBox();
  const line9 = await lineOf(9);
  await p.mouse.click(gutter.x + gutter.width / 2, line9.y + line9.height / 2);
  await p.waitForSelector('.cm-breakpoint');

  const stoppedAt = async (text) => {
    await p.waitForFunction((t) => document.querySelector('.cm-stopped-line')?.textContent.includes(t) &&
                            !document.body.classList.contains('debug-running'), text);
  };
  await p.click('#debug');
  await stoppedAt('jsr bump');
  assert.match(await p.textContent('#d-status'), /breakpoint/);
  assert.equal(await p.inputValue('#d-registers tr:nth-child(2) input'), '1 ($1)');
  assert.equal(await p.locator('#d-breakpoints li').count(), 1);

  await p.click('#d-step');
  await stoppedAt('lda $10');
  assert.equal(await p.locator('#d-stack li').count(), 2);
  await p.fill('#d-registers tr:nth-child(1) input', '$2a');
  await p.press('#d-registers tr:nth-child(1) input', 'Enter');
  await p.waitForFunction(() => document.querySelector('#d-registers input').value === '42 ($2a)');

  // The picture in memory: pixel (3, 4) is white, and its statement is line 4.
  // Four times its size, so that a click lands on the pixel's middle.
  await p.addStyleTag({content: '#d-screen { width: 1020px; max-width: none; }'});
  const screen = p.locator('#d-screen');
  await screen.scrollIntoViewIfNeeded();
  const box = await screen.boundingBox();
  await screen.click({position: {x: 3.5 * box.width / 255, y: 4.5 * box.height / 255}});
  await p.waitForSelector('#d-pixel-back');
  assert.match(await p.textContent('#d-pixel'), /\(3, 4\): cell \$000882, byte 126, colour #FFFFFF, last written by line 4/);
  const pixel = () => p.evaluate(() => [...document.querySelector('#d-screen').getContext('2d').getImageData(3, 4, 1, 1).data]);
  assert.deepEqual(await pixel(), [255, 255, 255, 255]);
  await p.click('#d-pixel-back');
  await stoppedAt('int #22');
  await p.waitForFunction(() => document.querySelector('#d-screen').getContext('2d').getImageData(3, 4, 1, 1).data[0] === 0);

  // A change there forks the run, and the panel says so.
  await p.fill('#d-registers tr:nth-child(1) input', '$3c');
  await p.press('#d-registers tr:nth-child(1) input', 'Enter');
  await p.waitForFunction(() => document.querySelector('#d-status').textContent ===
                          'the history after this statement is dropped.');
  // Run to the end: the session stays there, with only the buttons that go back.
  for (let i = 0; i < 5 && !/ended/.test(await p.textContent('#d-status')); i++) {
    await p.click('#d-continue');
    await p.waitForFunction(() => !document.body.classList.contains('debug-running') &&
                            !/Running/.test(document.querySelector('#d-status').textContent));
  }
  assert.match(await p.textContent('#d-status'), /The program ended with status 0/);
  const enabled = (ids) => p.evaluate((list) => list.map((id) => !document.getElementById(id).disabled), ids);
  assert.deepEqual(await enabled(['d-back', 'd-back-over', 'd-back-out', 'd-reverse', 'd-stop']), [true, true, true, true, true]);
  assert.deepEqual(await enabled(['d-continue', 'd-step', 'd-next', 'd-finish', 'd-cursor', 'd-frame']),
                   [false, false, false, false, false, false]);
  // Back from the end into the last call, out to its caller, over a statement.
  for (let i = 0; i < 5; i++) {
    await p.click('#d-back');
    await p.waitForFunction(() => !document.body.classList.contains('debug-running'));
  }
  await stoppedAt('rts');
  await p.click('#d-back-out');
  await stoppedAt('jsr bump');
  await p.click('#d-back-over');
  await stoppedAt('inx');
  assert.equal(await p.locator('#d-stack li').count(), 1);
  await p.click('#d-stop');
  await p.waitForSelector('#d-controls', {state: 'hidden'});

  // A second session, without recording, keeps no history of the first.
  await p.uncheck('#d-record');
  await p.click('#debug');
  await stoppedAt('jsr bump');
  await p.click('#d-back');
  await p.waitForFunction(() => document.querySelector('#console').textContent.includes('there is no history to go back through'));
  await p.close();
});

// The editor's language server: the page's answers, through
// window.zorvik.lsp and through the editor itself, equal those of the
// native zorvik-lsp, spoken to over stdio, for the same trap program.
import assert from 'node:assert/strict';
import {spawn} from 'node:child_process';
import {join} from 'node:path';
import {after, before, test} from 'node:test';
import {native, openPage, startBrowser, stopBrowser} from './support.mjs';

// '20' is first written as an address, so '#20' is one too (the checker's
// first-spelling); a jump to a label; text past non-ASCII characters; the
// key-state cell of Escape.
const program = [
  '; A count down from 20, or so it seems: «20» is an address first.',
  'start   sta $20          ; "20" is an address from here on',
  '        ldx #20          ; so this loads memory[$20], not 20',
  'loop    dex',
  '        bne loop',
  '        ldm "Zähler: é" int #2',
  '        lda $1001A       ; 1 while Escape is down',
  '        brk',
  '',
].join('\n');
const uri = 'file:///program.zvs';
const lines = program.split('\n');
// The position of `text` in line `line` (0-based), in UTF-16 units as the
// protocol counts by default.
const at = (line, text) => ({line, character: lines[line].indexOf(text)});
const doc = {textDocument: {uri}};

// zorvik-lsp over its standard input and output, framed by Content-Length.
function nativeServer() {
  const proc = spawn(join(native, 'zorvik-lsp'), [], {stdio: ['pipe', 'pipe', 'inherit']});
  let buffer = Buffer.alloc(0);
  let id = 0;
  const answers = new Map();
  const notes = [];
  proc.stdout.on('data', (chunk) => {
    buffer = Buffer.concat([buffer, chunk]);
    for (let end; (end = buffer.indexOf('\r\n\r\n')) >= 0;) {
      const length = Number(/Content-Length: *(\d+)/i.exec(buffer.subarray(0, end).toString())[1]);
      if (buffer.length < end + 4 + length) break;
      const message = JSON.parse(buffer.subarray(end + 4, end + 4 + length).toString('utf8'));
      buffer = buffer.subarray(end + 4 + length);
      if ('id' in message) answers.get(message.id)(message);
      else notes.push(message);
    }
  });
  const send = (message) => {
    const body = Buffer.from(JSON.stringify({jsonrpc: '2.0', ...message}));
    proc.stdin.write(`Content-Length: ${body.length}\r\n\r\n`);
    proc.stdin.write(body);
  };
  return {
    request: (method, params) => new Promise((ok) => {
      answers.set(++id, (m) => ok(m.result));
      send({id, method, params});
    }),
    notify: (method, params) => send({method, params}),
    async published(uri) {
      for (;;) {
        const note = notes.find((n) => n.method === 'textDocument/publishDiagnostics' && n.params.uri === uri);
        if (note) return note.params.diagnostics;
        await new Promise((ok) => setTimeout(ok, 20));
      }
    },
    stop: () => new Promise((ok) => {
      proc.on('exit', ok);
      answers.set(++id, () => send({method: 'exit'}));
      send({id, method: 'shutdown'});
    }),
  };
}

// A diagnostic without what depends on where it was read: the manual's
// link is a file beside the native server, and the page checks a document
// of its own.
function comparable(d) {
  const {codeDescription, relatedInformation = [], ...rest} = d;
  return {...rest, related: relatedInformation.map((r) => ({range: r.location.range, message: r.message}))};
}

// The middle of the first character of `text` in the editor's line `line`.
function pointAt(p, line, text) {
  return p.evaluate(([line, text]) => {
    const row = document.querySelectorAll('.cm-content .cm-line')[line];
    const walk = document.createTreeWalker(row, NodeFilter.SHOW_TEXT);
    let seen = '';
    const nodes = [];
    for (let n; (n = walk.nextNode());) {
      nodes.push([n, seen.length]);
      seen += n.data;
    }
    const offset = seen.indexOf(text);
    const [node, start] = nodes.findLast(([, s]) => s <= offset);
    const r = document.createRange();
    r.setStart(node, offset - start);
    r.setEnd(node, offset - start + 1);
    const box = r.getBoundingClientRect();
    return {x: box.x + box.width / 2, y: box.y + box.height / 2};
  }, [line, text]);
}

let origin, server, published;
before(async () => {
  origin = await startBrowser();
  server = nativeServer();
  await server.request('initialize', {processId: null, rootUri: null, capabilities: {}});
  server.notify('initialized', {});
  server.notify('textDocument/didOpen', {textDocument: {uri, languageId: 'zorvik', version: 1, text: program}});
  published = await server.published(uri);
});
after(async () => {
  await server?.stop();
  await stopBrowser();
});

test('the page\'s language server answers as zorvik-lsp does', async () => {
  assert.equal(published.length, 1, 'the trap program has one finding');
  assert.equal(published[0].code, 'first-spelling');
  const p = await openPage(origin);
  await p.evaluate((s) => window.zorvik.source(s), program);
  const requests = [
    ['textDocument/hover', {...doc, position: at(2, '#20')}],         // a number, respelled
    ['textDocument/hover', {...doc, position: at(4, 'bne')}],         // a mnemonic
    ['textDocument/hover', {...doc, position: at(4, 'loop')}],        // a jump
    ['textDocument/hover', {...doc, position: at(5, '#2')}],          // a service, past 'ä' and 'é'
    ['textDocument/hover', {...doc, position: at(6, '1001A')}],       // a key's cell and a pixel
    ['textDocument/definition', {...doc, position: at(4, 'loop')}],
    ['textDocument/references', {...doc, position: at(3, 'loop'), context: {includeDeclaration: true}}],
    ['textDocument/documentHighlight', {...doc, position: at(4, 'loop')}],
    ['textDocument/completion', {...doc, position: {...at(5, '#2'), character: at(5, '#2').character + 1}}],
    ['textDocument/completion', {...doc, position: at(4, 'loop')}],   // the labels
    ['textDocument/completion', {...doc, position: {...at(3, 'dex'), character: at(3, 'dex').character + 2}}],
    ['textDocument/rename', {...doc, position: at(3, 'loop'), newName: 'again'}],
    ['textDocument/codeAction', {...doc, range: {start: at(2, '#20'), end: at(2, '#20')},
                                 context: {diagnostics: published}}],
  ];
  for (const [method, params] of requests) {
    const expected = await server.request(method, params);
    assert.ok(expected && (!Array.isArray(expected) || expected.length), `${method} has an answer natively`);
    const got = await p.evaluate(([m, a]) => window.zorvik.lsp(m, a), [method, params]);
    assert.deepEqual(got, expected, `${method} at ${JSON.stringify(params.position || params.range)}`);
  }
  // A failure comes back as the server's error.
  const refused = await p.evaluate(() => window.zorvik.lsp('textDocument/rename', {
    textDocument: {uri: 'file:///program.zvs'}, position: {line: 3, character: 0}, newName: 'lda'}).catch((e) => e));
  assert.match(refused.message, /is a mnemonic/);
  // The checker's findings for a text of its own.
  const checked = await p.evaluate((s) => window.zorvik.check(s), program);
  assert.deepEqual(checked.map(comparable), published.map(comparable));
  await p.close();
});

test('the editor shows the diagnostic and the hover, applies the quick fix and goes to the label', async () => {
  const p = await openPage(origin);
  await p.evaluate((s) => window.zorvik.source(s), program);
  // The warning's mark is on the line that zorvik-lsp names.
  await p.waitForSelector('.cm-lintRange-warning');
  const marked = await p.$$eval('.cm-content .cm-line', (all) =>
    all.map((l, i) => (l.querySelector('.cm-lintRange-warning') ? i : -1)).filter((i) => i >= 0));
  assert.deepEqual(marked, [published[0].range.start.line]);

  // Hovering on '#20' shows the server's words and the finding with its fix.
  const hover = await server.request('textDocument/hover', {...doc, position: at(2, '#20')});
  const spot = await pointAt(p, 2, '#20');
  await p.mouse.move(spot.x, spot.y);
  const tip = await p.waitForSelector('.cm-lsp-hover-tooltip');
  const flat = (s) => s.replace(/\*\*|`|\s+/g, '');
  assert.equal(flat(await tip.textContent()), flat(hover.contents.value));
  const lint = await p.textContent('.cm-tooltip-lint');
  assert.ok(lint.includes(published[0].message), lint);
  const fix = await server.request('textDocument/codeAction', {...doc, range: published[0].range,
                                                               context: {diagnostics: published}});
  await p.click(`.cm-diagnosticAction:text-is("${fix[0].title}")`);
  const fixed = lines.map((l, i) => (i === 2 ? l.replace('#20', fix[0].edit.changes[uri][0].newText) : l)).join('\n');
  assert.equal(await p.evaluate(() => window.zorvik.source()), fixed);
  await p.waitForSelector('.cm-lintRange-warning', {state: 'detached'});

  // F12 on the jump's label goes to the label.
  const jump = await pointAt(p, 4, 'loop');
  await p.mouse.click(jump.x, jump.y);
  await p.keyboard.press('F12');
  await p.waitForFunction(() => /^loop\s+dex/.test(document.querySelector('.cm-activeLine')?.textContent));
  await p.close();
});

test('the editor completes services in their numbers\' order and each kind with its icon; the page logs no error', async () => {
  const p = await openPage(origin);
  await p.evaluate((s) => window.zorvik.source(s), program);
  // What the completion list shows, once it shows `first`.
  const shown = async (first) => {
    await p.keyboard.press('Control+Space');
    await p.waitForFunction((f) => document.querySelector('.cm-completionLabel')?.textContent === f, first);
    return p.$$eval('.cm-tooltip-autocomplete li[role=option]', (all) => all.map((li) => {
      const icon = li.querySelector('.cm-completionIcon');
      return {label: li.querySelector('.cm-completionLabel').textContent, icon: getComputedStyle(icon, '::after').content};
    }));
  };
  const typed = async (text) => {
    await p.click('.cm-content');
    await p.keyboard.press('Control+End');
    await p.keyboard.type(text);
  };
  // The services that zorvik-lsp completes, in their numbers' order.
  const completing = {uri: 'file:///completing.zvs'};
  server.notify('textDocument/didOpen', {textDocument: {...completing, languageId: 'zorvik', version: 1, text: '        int #'}});
  const numbers = (await server.request('textDocument/completion', {textDocument: completing, position: {line: 0, character: 13}}))
    .map((i) => Number(i.label)).sort((a, b) => a - b);
  await typed('        int #');
  const services = await shown(String(numbers[0]));
  assert.deepEqual(services.map((s) => Number(s.label)), numbers);
  await p.keyboard.press('Escape');
  await typed('\n        bne ');
  const labels = await shown('loop');
  assert.deepEqual(labels.map((s) => s.label), ['loop']);
  await p.keyboard.press('Escape');
  await typed('\n        ld');
  const mnemonics = await shown('lda');
  for (const item of [...services, ...labels, ...mnemonics])
    assert.ok(!['none', 'normal', '""'].includes(item.icon), `${item.label} has no icon: ${item.icon}`);
  assert.notEqual(mnemonics[0].icon, labels[0].icon);
  assert.notEqual(labels[0].icon, services[0].icon);
  // Nothing that the page did on its way here went wrong.
  assert.deepEqual(p.consoleErrors, []);
  await p.close();
});

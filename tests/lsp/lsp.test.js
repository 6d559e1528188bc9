// zorvik-lsp driven by the protocol's own client library over stdio: the
// checker's findings as diagnostics, incremental changes, the requests on
// labels and numbers, and the error answers to messages it cannot serve.
const {test} = require('node:test');
const assert = require('node:assert/strict');
const {spawn, spawnSync} = require('node:child_process');
const {readFileSync} = require('node:fs');
const path = require('node:path');
const {createProtocolConnection, StreamMessageReader, StreamMessageWriter} =
  require('vscode-languageserver-protocol/node');

const server = process.env.ZORVIK_LSP_BIN;
const checker = process.env.ZORVIK_CHECK_BIN;
const root = path.join(__dirname, '..', '..');
const trap = path.join(root, 'docs', 'examples', 'first_spelling.zvs');
const program = [
  '        ldx #0',
  'loop    inx',
  '        cpx #5',
  '        bne loop',
  '        jsr sub',
  '        brk',
  'sub     lda #1',
  '        rts',
  '',
].join('\n');

function start() {
  const proc = spawn(server, [], {stdio: ['pipe', 'pipe', 'inherit']});
  const connection = createProtocolConnection(new StreamMessageReader(proc.stdout), new StreamMessageWriter(proc.stdin));
  const diagnostics = [];
  let waiting = null;
  connection.onNotification('textDocument/publishDiagnostics', (params) => {
    diagnostics.push(params);
    if (waiting) waiting();
  });
  connection.listen();
  const nextDiagnostics = () => new Promise((ok) => {
    waiting = () => { waiting = null; ok(diagnostics.at(-1)); };
  });
  const exited = new Promise((ok) => proc.on('exit', (code) => ok(code)));
  return {proc, connection, nextDiagnostics, exited};
}

// zorvik-check's findings as (line, column, name, message), 0-based.
function checkerFindings(file) {
  const out = spawnSync(checker, [file]).stdout.toString();
  return [...out.matchAll(/^[^:\n]+:(\d+):(\d+): warning: (.*) \[-W(\S+)\]$/gm)]
    .map(([, line, column, message, name]) => ({line: line - 1, column: column - 1, name, message}));
}

test('a session: diagnostics, changes, labels, numbers, shutdown', async () => {
  const {connection, nextDiagnostics, exited} = start();
  const init = await connection.sendRequest('initialize', {processId: process.pid, rootUri: null, capabilities: {}});
  assert.equal(init.capabilities.positionEncoding, 'utf-16');
  connection.sendNotification('initialized', {});

  const uri = 'file:///trap.zvs';
  const text = readFileSync(trap, 'utf8');
  let published = nextDiagnostics();
  connection.sendNotification('textDocument/didOpen', {textDocument: {uri, languageId: 'zorvik', version: 1, text}});
  let got = (await published).diagnostics;
  const expected = checkerFindings(trap);
  assert.ok(expected.length > 0);
  assert.deepEqual(got.map((d) => ({line: d.range.start.line, column: d.range.start.character, name: d.code, message: d.message})),
                   expected);
  assert.match(got[0].codeDescription.href, /checking\.md#first-spelling$/);

  // The checker's spelling as a quick fix: '#41' becomes '#$29'.
  const fixes = await connection.sendRequest('textDocument/codeAction', {
    textDocument: {uri}, range: {start: {line: 3, character: 12}, end: {line: 3, character: 12}}, context: {diagnostics: []}});
  assert.deepEqual(fixes.map((f) => [f.kind, f.edit.changes[uri][0].newText, f.edit.changes[uri][0].range.start.line]),
                   [['quickfix', '#$29', 3]]);

  // Two lines in front move every finding down by two.
  published = nextDiagnostics();
  connection.sendNotification('textDocument/didChange', {
    textDocument: {uri, version: 2},
    contentChanges: [{range: {start: {line: 0, character: 0}, end: {line: 0, character: 0}}, text: '; one\n'},
                     {range: {start: {line: 1, character: 0}, end: {line: 1, character: 0}}, text: '; two\n'}],
  });
  got = (await published).diagnostics;
  assert.deepEqual(got.map((d) => d.range.start.line), expected.map((e) => e.line + 2));

  const prog = 'file:///loop.zvs';
  published = nextDiagnostics();
  connection.sendNotification('textDocument/didOpen', {textDocument: {uri: prog, languageId: 'zorvik', version: 1, text: program}});
  await published;
  const at = (line, character) => ({textDocument: {uri: prog}, position: {line, character}});

  const definition = await connection.sendRequest('textDocument/definition', at(3, 13));
  assert.deepEqual(definition.range, {start: {line: 1, character: 0}, end: {line: 1, character: 4}});
  const references = await connection.sendRequest('textDocument/references', {...at(1, 1), context: {includeDeclaration: true}});
  assert.deepEqual(references.map((r) => r.range.start), [{line: 1, character: 0}, {line: 3, character: 12}]);
  const highlights = await connection.sendRequest('textDocument/documentHighlight', at(4, 13));
  assert.deepEqual(highlights.map((h) => h.range.start.line), [4, 6]);
  const symbols = await connection.sendRequest('textDocument/documentSymbol', {textDocument: {uri: prog}});
  assert.deepEqual(symbols.map((s) => [s.name, s.range.start.line, s.range.end.line]), [['loop', 1, 5], ['sub', 6, 7]]);
  const workspace = await connection.sendRequest('workspace/symbol', {query: 'su'});
  assert.deepEqual(workspace.map((s) => s.name), ['sub']);

  const lands = await connection.sendRequest('textDocument/hover', at(3, 13));
  assert.match(lands.contents.value, /label at line 2; this jump lands on line 2 \(`inx`\)/);
  const number = await connection.sendRequest('textDocument/hover', {textDocument: {uri}, position: {line: 5, character: 13}});
  assert.match(number.contents.value, /is an address here, because its text was first spelled '\$' at line 5/);
  assert.equal(await connection.sendRequest('textDocument/definition', at(0, 2)), null);

  // The manual's words: a mnemonic, and the service of an int.
  const bne = await connection.sendRequest('textDocument/hover', at(3, 9));
  assert.match(bne.contents.value, /branch when `Z` = 0 \(equal\) \/ `Z` = 1 \(different\)/);
  const services = 'file:///services.zvs';
  connection.sendNotification('textDocument/didOpen', {textDocument: {uri: services, languageId: 'zorvik', version: 1,
                                                                       text: '        int #21\n        int \n'}});
  const refresh = await connection.sendRequest('textDocument/hover', {textDocument: {uri: services}, position: {line: 0, character: 13}});
  assert.match(refresh.contents.value, /Service 21: screen refresh\*\*\. Reads: screen area/);

  // A number's values and what the machine keeps at it as a cell: a key's
  // state, a pixel, a text cell of the services, ordinary memory or none.
  const cells = 'file:///cells.zvs';
  const places = [
    ['lda $1001A', '**Cell 65562** (`$1001A`): the state of the key `escape` (SDL key number 27), 1 while it is down; ' +
                   'also the screen pixel (27, 136).'],
    ['lda $10110', '**Cell 65808** (`$10110`): the state of the key `up` (SDL key number 273), 1 while it is down.'],
    ['lda $1005F', '**Cell 65631** (`$1005F`): the state of the key `` ` `` (SDL key number 96), 1 while it is down; ' +
                   'also the screen pixel (96, 136).'],
    ['lda $1007B', '**Cell 65659** (`$1007B`): the state cell of SDL key number 124, which is no key; ' +
                   'also the screen pixel (124, 136).'],
    ['sta $1299', '**Cell 4761** (`$1299`): the colour of the text that service 86 draws (`TEXT_COLOR_CELL`); ' +
                  'also the screen pixel (186, 9).'],
    ['sta $FFE14', '**Cell 1048084** (`$FFE14`): the y of the text that service 86 draws (`TEXT_Y_CELL`).'],
    ['lda $1DE3D', '**Cell 122429** (`$1DE3D`): the screen pixel (254, 254).'],
    ['lda $1DE3E', '**Cell 122430** (`$1DE3E`): ordinary memory: the machine keeps nothing of its own there.'],
    ['lda $200', '**Cell 512** (`$200`): ordinary memory in row 0 of the screen area, past the columns it shows.'],
    ['lda $1000000', '**16777216** (`$1000000`) is no cell: memory is 0 to `$FFFFFF`, so a read gives 0 and a write is dropped.'],
    ['lda #5065', '**5065** (`$13C9`); as a cell, the screen pixel (10, 10).'],
    ['lda #$1B', '**27** (`$1B`).'],
  ];
  connection.sendNotification('textDocument/didOpen', {textDocument: {uri: cells, languageId: 'zorvik', version: 1,
    text: places.map(([line]) => `        ${line}\n`).join('')}});
  for (const [line, words] of places) {
    const hover = await connection.sendRequest('textDocument/hover', {textDocument: {uri: cells},
      position: {line: places.findIndex(([l]) => l === line), character: 13}});
    assert.equal(hover.contents.value.split('\n\n')[1], words, line);
  }

  // Completion: services after "int #" in their numbers' order, labels after
  // a jump, mnemonics at a statement's start, each of its kind.
  const complete = async (uri, text, line, character) => {
    connection.sendNotification('textDocument/didChange', {textDocument: {uri, version: 9}, contentChanges: [{text}]});
    const list = await connection.sendRequest('textDocument/completion', {textDocument: {uri}, position: {line, character}});
    return (Array.isArray(list) ? list : list.items);
  };
  const numbers = await complete(services, '        int #', 0, 13);
  assert.ok(numbers.some((i) => i.label === '21' && i.detail === 'screen refresh'));
  assert.ok(!numbers.some((i) => i.label === '5'));
  const bySortText = [...numbers].sort((a, b) => (a.sortText < b.sortText ? -1 : 1)).map((i) => Number(i.label));
  assert.deepEqual(bySortText, numbers.map((i) => Number(i.label)).sort((a, b) => a - b));
  const labels = await complete(prog, program + '        bne ', 8, 12);
  assert.deepEqual(labels.map((i) => i.label), ['loop', 'sub']);
  const mnemonics = await complete(prog, program + 'again   ld', 8, 10);
  assert.ok(mnemonics.some((i) => i.label === 'lda' && /Operand: search/.test(i.documentation.value)));
  const Kind = {Function: 3, Keyword: 14, EnumMember: 20};
  assert.deepEqual([...new Set([numbers, labels, mnemonics].flatMap((list) => list.map((i) => i.kind)))],
                   [Kind.EnumMember, Kind.Function, Kind.Keyword]);
  connection.sendNotification('textDocument/didChange', {textDocument: {uri: prog, version: 10}, contentChanges: [{text: program}]});

  // Rename: every occurrence of the text; a name the program has, or no word, is refused.
  const rename = await connection.sendRequest('textDocument/rename', {...at(3, 13), newName: 'again'});
  assert.deepEqual(rename.changes[prog].map((e) => e.range.start), [{line: 1, character: 0}, {line: 3, character: 12}]);
  for (const [newName, why] of [['sub', /already a text/], ['lda', /mnemonic/], ['two words', /not a word/]])
    await assert.rejects(connection.sendRequest('textDocument/rename', {...at(3, 13), newName}), {message: why});

  // Semantic tokens: the label, its jump, and code that no pass reaches is marked.
  const legend = init.capabilities.semanticTokensProvider.legend;
  const dead = 'file:///dead.zvs';
  connection.sendNotification('textDocument/didOpen', {textDocument: {uri: dead, languageId: 'zorvik', version: 1,
                                                                       text: 'top     jmp top\n        lda #1 ; never\n'}});
  const {data} = await connection.sendRequest('textDocument/semanticTokens/full', {textDocument: {uri: dead}});
  const painted = [];
  for (let i = 0, line = 0, ch = 0; i < data.length; i += 5) {
    line += data[i];
    ch = data[i] ? data[i + 1] : ch + data[i + 1];
    const mods = legend.tokenModifiers.filter((m, k) => data[i + 4] & (1 << k));
    painted.push([line, ch, data[i + 2], legend.tokenTypes[data[i + 3]], mods.join(' ')]);
  }
  assert.deepEqual(painted, [[0, 0, 3, 'function', 'declaration'], [0, 8, 3, 'keyword', ''], [0, 12, 3, 'function', ''],
                             [1, 8, 3, 'keyword', 'passed'], [1, 12, 2, 'number', 'immediate passed'],
                             [1, 15, 7, 'comment', '']]);

  await connection.sendRequest('shutdown');
  connection.sendNotification('exit');
  assert.equal(await exited, 0);
});

// Frames written by hand: the client library cannot send broken ones.
function frame(body) {
  return `Content-Length: ${Buffer.byteLength(body)}\r\n\r\n${body}`;
}

test('broken and unknown messages get error answers, and the server goes on', async () => {
  const proc = spawn(server, [], {stdio: ['pipe', 'pipe', 'inherit']});
  let buffer = '';
  const answers = [];
  proc.stdout.on('data', (chunk) => {
    buffer += chunk;
    for (let m; (m = buffer.match(/^Content-Length: (\d+)\r\n\r\n/)) && buffer.length >= m[0].length + Number(m[1]);) {
      answers.push(JSON.parse(buffer.slice(m[0].length, m[0].length + Number(m[1]))));
      buffer = buffer.slice(m[0].length + Number(m[1]));
    }
  });
  const request = (id, method, params) => frame(JSON.stringify({jsonrpc: '2.0', id, method, params}));
  proc.stdin.write(request(1, 'initialize', {capabilities: {general: {positionEncodings: ['utf-8', 'utf-16']}}}));
  proc.stdin.write(frame('{"jsonrpc": "2.0", "id": 2, "method": '));
  proc.stdin.write('Content-Length: nine\r\n\r\n');
  proc.stdin.write(request(3, 'textDocument/unheardOf', {}));
  proc.stdin.write(request(4, 'textDocument/hover', {textDocument: {uri: 'file:///none.zvs'}, position: {line: 0, character: 0}}));
  proc.stdin.write(frame(JSON.stringify({jsonrpc: '2.0', method: 'textDocument/didOpen',
                                         params: {textDocument: {uri: 'file:///a.zvs', languageId: 'zorvik', version: 1, text: 'ldä #1\n'}}})));
  proc.stdin.write(request(5, 'textDocument/hover', {textDocument: {uri: 'file:///a.zvs'}, position: {line: 9, character: 0}}));
  proc.stdin.write(request(6, 'textDocument/hover', {textDocument: {uri: 'file:///a.zvs'}, position: {line: 0, character: 6}}));
  proc.stdin.write(request(7, 'shutdown'));
  proc.stdin.write(frame('{"jsonrpc": "2.0", "method": "exit"}'));
  const code = await new Promise((ok) => proc.on('exit', ok));
  assert.equal(code, 0);
  const byId = (id) => answers.find((a) => a.id === id);
  assert.equal(byId(1).result.capabilities.positionEncoding, 'utf-8');
  const unreadable = answers.filter((a) => a.id === null).map((a) => a.error.code);
  assert.deepEqual(unreadable, [-32700, -32700]);
  assert.equal(byId(3).error.code, -32601);
  assert.equal(byId(4).error.code, -32602);
  assert.equal(byId(5).error.code, -32602);
  // In bytes, as asked: 'ä' is two of them, so character 6 is on '1'.
  assert.match(byId(6).result.contents.value, /`1` is an immediate number/);
  assert.equal(byId(7).result, null);
});

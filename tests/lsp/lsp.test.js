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

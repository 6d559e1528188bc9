// Times zorvik-lsp on a program of 5,000 lines: the time from a change to
// its diagnostics, and the answers to hover, definition and completion.
// Prints the median and the worst of each. Run by bench/lsp.sh.
const {spawn} = require('node:child_process');
const {createProtocolConnection, StreamMessageReader, StreamMessageWriter} =
  require('vscode-languageserver-protocol/node');

const [server, roundsText] = process.argv.slice(2);
const rounds = Number(roundsText);

// 500 blocks of 10 lines: a label, a loop, a call, a service and a trap.
const lines = [];
for (let b = 0; b < 500; b++) {
  const l = `block${'abcdefghij'[b % 10]}${'abcdefghij'[Math.floor(b / 10) % 10]}${'abcdefghij'[Math.floor(b / 100)]}`;
  lines.push(`${l}   ldx #0`, `        inx`, `        cpx #${b % 200}`, `        bne ${l}`, `        lda $${(b % 250) + 16}`,
             `        sta $${(b % 250) + 16}`, `        jsr ${l}`, `        int #21`, `        lda 7`, `        ; block ${b}`);
}
const text = lines.join('\n') + '\n';

function median(list) {
  const s = [...list].sort((a, b) => a - b);
  return s[Math.floor(s.length / 2)];
}

(async () => {
  const proc = spawn(server, [], {stdio: ['pipe', 'pipe', 'inherit']});
  const connection = createProtocolConnection(new StreamMessageReader(proc.stdout), new StreamMessageWriter(proc.stdin));
  let published = null;
  connection.onNotification('textDocument/publishDiagnostics', () => { if (published) published(); });
  connection.listen();
  await connection.sendRequest('initialize', {processId: process.pid, rootUri: null, capabilities: {}});
  const uri = 'file:///bench.zvs';
  const diagnostics = () => new Promise((ok) => { published = ok; });
  let wait = diagnostics();
  connection.sendNotification('textDocument/didOpen', {textDocument: {uri, languageId: 'zorvik', version: 1, text}});
  await wait;
  const times = {diagnostics: [], hover: [], definition: [], completion: []};
  for (let r = 0; r < rounds; r++) {
    const line = 100 + r * 97;
    wait = diagnostics();
    let start = performance.now();
    connection.sendNotification('textDocument/didChange', {textDocument: {uri, version: r + 2}, contentChanges: [
      {range: {start: {line, character: 8}, end: {line, character: 8}}, text: r % 2 ? '' : ' '}]});
    await wait;
    // The server waits 10 ms for more changes before it checks: that is in the figure.
    times.diagnostics.push(performance.now() - start);
    const at = {textDocument: {uri}, position: {line: line - line % 10 + 3, character: 13}};
    for (const [name, method, extra] of [['hover', 'textDocument/hover', {}], ['definition', 'textDocument/definition', {}],
                                         ['completion', 'textDocument/completion', {}]]) {
      start = performance.now();
      await connection.sendRequest(method, {...at, ...extra});
      times[name].push(performance.now() - start);
    }
  }
  await connection.sendRequest('shutdown');
  connection.sendNotification('exit');
  console.log(`zorvik-lsp on ${lines.length} lines (${text.length} bytes), ${rounds} rounds:`);
  for (const [name, list] of Object.entries(times))
    console.log(`  ${name.padEnd(12)} median ${median(list).toFixed(1)} ms, worst ${Math.max(...list).toFixed(1)} ms`);
})();

// The TextMate grammar in the engine VS Code itself uses: the examples and
// the trap programs tokenised, and the scopes of chosen tokens compared;
// and the built extension holds what VS Code loads.
const {test} = require('node:test');
const assert = require('node:assert/strict');
const {readFileSync, existsSync} = require('node:fs');
const {execFileSync} = require('node:child_process');
const path = require('node:path');
const oniguruma = require('vscode-oniguruma');
const textmate = require('vscode-textmate');

const here = path.join(__dirname, '..');
const root = path.join(here, '..', '..');

async function grammar() {
  const wasm = readFileSync(path.join(here, 'node_modules', 'vscode-oniguruma', 'release', 'onig.wasm'));
  await oniguruma.loadWASM(wasm.buffer.slice(wasm.byteOffset, wasm.byteOffset + wasm.byteLength));
  const registry = new textmate.Registry({
    onigLib: Promise.resolve({createOnigScanner: (p) => new oniguruma.OnigScanner(p),
                              createOnigString: (s) => new oniguruma.OnigString(s)}),
    loadGrammar: async () => textmate.parseRawGrammar(
      readFileSync(path.join(here, 'syntaxes', 'zorvik.tmLanguage.json'), 'utf8'), 'zorvik.tmLanguage.json'),
  });
  return registry.loadGrammar('source.zorvik');
}

// Every token of a file as [line, text, innermost scope].
function tokens(g, text) {
  const out = [];
  let stack = textmate.INITIAL;
  text.split('\n').forEach((line, n) => {
    const r = g.tokenizeLine(line, stack);
    for (const t of r.tokens) out.push([n + 1, line.slice(t.startIndex, t.endIndex), t.scopes.at(-1)]);
    stack = r.ruleStack;
  });
  return out;
}

function scopeOf(list, line, text) {
  const t = list.find(([l, s]) => l === line && s === text);
  assert.ok(t, `no token '${text}' on line ${line}`);
  return t[2];
}

test('the grammar colours mnemonics, numbers, strings, comments and labels', async () => {
  const g = await grammar();
  const trap = tokens(g, readFileSync(path.join(root, 'docs', 'examples', 'first_spelling.zvs'), 'utf8'));
  assert.match(scopeOf(trap, 1, '; The first spelling of a number decides its kind everywhere.'), /^comment\.line/);
  assert.equal(scopeOf(trap, 2, 'lda'), 'keyword.other.mnemonic.zorvik');
  assert.equal(scopeOf(trap, 2, '#65'), 'constant.numeric.immediate.zorvik');
  assert.equal(scopeOf(trap, 3, '$41'), 'constant.numeric.address.zorvik');
  assert.equal(scopeOf(trap, 6, '#$41'), 'constant.numeric.immediate.zorvik');

  const keys = tokens(g, readFileSync(path.join(root, 'examples', 'keys.zvs'), 'utf8'));
  const say = keys.find(([, s, scope]) => s === 'say' && scope === 'entity.name.label.zorvik');
  assert.ok(say, 'the label say is not coloured as one');
  assert.ok(keys.some(([, s, scope]) => s.includes('The keyboard') && scope === 'string.quoted.double.zorvik'));

  const mixed = tokens(g, 'LOOP    LDX #0 ; a "comment"\n        bne loop 12\n*= $0600\n');
  assert.equal(scopeOf(mixed, 1, 'LOOP'), 'entity.name.label.zorvik');
  assert.equal(scopeOf(mixed, 1, 'LDX'), 'keyword.other.mnemonic.zorvik');
  assert.equal(scopeOf(mixed, 1, '; a "comment"'), 'comment.line.semicolon.zorvik');
  assert.equal(scopeOf(mixed, 2, '12'), 'constant.numeric.bare.zorvik');
  assert.equal(scopeOf(mixed, 3, '*='), 'keyword.control.header.zorvik');
});

test('vsce packages the extension with what VS Code loads', () => {
  execFileSync('bash', [path.join(here, 'build.sh')], {stdio: 'inherit'});
  const vsix = path.join(root, 'build', 'vscode', 'zorvik.vsix');
  assert.ok(existsSync(vsix));
  const listing = execFileSync('unzip', ['-l', vsix]).toString();
  for (const f of ['extension/package.json', 'extension/extension.js', 'extension/syntaxes/zorvik.tmLanguage.json',
                   'extension/language-configuration.json', 'extension/node_modules/vscode-languageclient/package.json'])
    assert.ok(listing.includes(f), `the package lacks ${f}`);
});

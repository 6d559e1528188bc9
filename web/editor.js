// The source editor: CodeMirror with the machine's colours, the checker's
// findings at their lines as the user types, and search and replace
// (Ctrl+F, Ctrl+Alt+F... as CodeMirror binds them).
import {EditorState} from '@codemirror/state';
import {EditorView, keymap, lineNumbers, highlightActiveLine, drawSelection} from '@codemirror/view';
import {defaultKeymap, history, historyKeymap, indentWithTab} from '@codemirror/commands';
import {StreamLanguage, syntaxHighlighting, HighlightStyle} from '@codemirror/language';
import {linter, lintGutter} from '@codemirror/lint';
import {highlightSelectionMatches, search, searchKeymap} from '@codemirror/search';
import {tags} from '@lezer/highlight';

const encoder = new TextEncoder();

// Colours only: what a token means is the machine's business, and the
// checker reports where that surprises.
function zvsLanguage(mnemonics) {
  return StreamLanguage.define({
    token(stream) {
      if (stream.eatSpace()) return null;
      if (stream.match(/^;.*/)) return 'comment';
      if (stream.match(/^"[^"]*"?/) || stream.match(/^'[^']*'?/)) return 'string';
      if (stream.match(/^#\$?[0-9A-Za-z]*/)) return 'number';
      if (stream.match(/^\$[0-9A-Za-z]*/)) return 'atom';
      if (stream.match(/^[0-9]+\b/)) return 'literal';
      const word = stream.match(/^[A-Za-z_.][A-Za-z0-9_.]*/);
      if (word) {
        if (mnemonics.has(word[0].toLowerCase())) return 'keyword';
        return stream.sol() || stream.column() === 0 ? 'labelName' : 'variableName';
      }
      stream.next();
      return null;
    },
  });
}

const style = HighlightStyle.define([
  {tag: tags.comment, color: '#6a737d', fontStyle: 'italic'},
  {tag: tags.string, color: '#22863a'},
  {tag: tags.number, color: '#005cc5'},
  {tag: tags.atom, color: '#b35900'},
  {tag: tags.literal, color: '#6f42c1'},
  {tag: tags.keyword, color: '#d73a49', fontWeight: 'bold'},
  {tag: tags.labelName, color: '#0b6e69', fontWeight: 'bold'},
  {tag: tags.variableName, color: '#24292e'},
]);

// UTF-16 positions of byte offsets, for a checker that counts bytes.
function byteToIndex(text) {
  const bytes = encoder.encode(text);
  if (bytes.length === text.length) return (offset) => Math.min(offset, text.length);
  const map = new Int32Array(bytes.length + 1);
  let b = 0;
  for (let i = 0; i < text.length; i++) {
    const code = text.codePointAt(i);
    const n = code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
    for (let k = 0; k < n; k++) map[b + k] = i;
    b += n;
    if (code >= 0x10000) i++;
  }
  map[bytes.length] = text.length;
  return (offset) => map[Math.min(offset, bytes.length)];
}

// The checker's findings as the editor's diagnostics: each marks the rest
// of its token, up to the next space.
export function editorDiagnostics(text, findings) {
  const at = byteToIndex(text);
  return findings.map((f) => {
    const from = at(f.at.offset);
    let to = from;
    while (to < text.length && !/\s/.test(text[to])) to++;
    const note = f.note ? ` (line ${f.noteAt.line}: ${f.note})` : '';
    return {from, to: Math.max(to, from), severity: 'warning', source: f.name,
            message: `${f.message}${note}`};
  });
}

// Creates the editor in `parent`. `check(text)` gives findings; `onChange`
// hears every edit; `extensions` are added as they come (the debugger's
// gutter and marks).
export function editorCreate(parent, {text, mnemonics, check, onChange, extensions = []}) {
  const checking = linter((view) => {
    const source = view.state.doc.toString();
    return editorDiagnostics(source, check(source));
  }, {delay: 250});
  return new EditorView({
    parent,
    state: EditorState.create({
      doc: text,
      extensions: [
        lineNumbers(), history(), drawSelection(), highlightActiveLine(),
        keymap.of([...searchKeymap, ...defaultKeymap, ...historyKeymap, indentWithTab]),
        search({top: true}), highlightSelectionMatches(),
        zvsLanguage(new Set(mnemonics)), syntaxHighlighting(style),
        checking, lintGutter(),
        EditorView.updateListener.of((u) => { if (u.docChanged && onChange) onChange(); }),
        extensions,
      ],
    }),
  });
}

export function editorText(view) {
  return view.state.doc.toString();
}

export function editorSetText(view, text) {
  view.dispatch({changes: {from: 0, to: view.state.doc.length, insert: text}});
}

// The source editor: CodeMirror with the machine's colours, the language
// server's marks and answers (lsp.js, added by the page as extensions), and
// search and replace (Ctrl+F, Ctrl+Alt+F... as CodeMirror binds them).
import {EditorState} from '@codemirror/state';
import {EditorView, keymap, lineNumbers, highlightActiveLine, drawSelection} from '@codemirror/view';
import {defaultKeymap, history, historyKeymap, indentWithTab} from '@codemirror/commands';
import {StreamLanguage, syntaxHighlighting, HighlightStyle} from '@codemirror/language';
import {lintGutter} from '@codemirror/lint';
import {highlightSelectionMatches, search, searchKeymap} from '@codemirror/search';
import {tags} from '@lezer/highlight';
// The machine's own mnemonic table, written out by the build (mnemonics.cpp).
import machineMnemonics from 'zorvik-mnemonics';

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

// The program before an update that pasted over the whole of it, or null
// for any other update (or a program that was empty).
function pastedOver(u) {
  const length = u.startState.doc.length;
  const all = length > 0 && u.transactions.some((tr) => {
    if (!tr.isUserEvent('input.paste')) return false;
    let whole = false;
    tr.changes.iterChangedRanges((fromA, toA) => { whole ||= fromA === 0 && toA === length; });
    return whole;
  });
  return all ? u.startState.doc.toString() : null;
}

// A click on a line number: `onLineNumber(view, line)`, when it is set.
let onLineNumber = null;
export function editorOnLineNumber(handler) {
  onLineNumber = handler;
}

const numbers = lineNumbers({
  domEventHandlers: {
    mousedown(view, block) {
      if (!onLineNumber) return false;
      onLineNumber(view, view.state.doc.lineAt(block.from).number);
      return true;
    },
  },
});

// Creates the editor in `parent`. `onChange` hears every edit, with the
// program it replaced when it pasted over the whole of it; `extensions`
// are added as they come (the language server's, the debugger's gutter and
// marks). The gutter shows the diagnostics that an extension sets.
export function editorCreate(parent, {text, onChange, extensions = []}) {
  return new EditorView({
    parent,
    state: EditorState.create({
      doc: text,
      extensions: [
        numbers, history(), drawSelection(), highlightActiveLine(),
        keymap.of([...searchKeymap, ...defaultKeymap, ...historyKeymap, indentWithTab]),
        search({top: true}), highlightSelectionMatches(),
        zvsLanguage(new Set(machineMnemonics)), syntaxHighlighting(style),
        lintGutter(),
        EditorView.updateListener.of((u) => { if (u.docChanged && onChange) onChange(pastedOver(u)); }),
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

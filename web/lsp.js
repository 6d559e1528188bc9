// The editor's language server: zorvik-lsp itself, built to WebAssembly and
// run in a Web Worker (lsp-worker.js), spoken to through CodeMirror's LSP
// client. The editor gets the checker's diagnostics with their quick fixes,
// hover, completion, go to label (F12), references (Shift+F12), the
// highlight of a label's jumps and rename (F2): whatever the server answers.
import {LSPClient, LSPPlugin, findReferencesKeymap, hoverTooltips, jumpToDefinitionKeymap, renameKeymap,
        serverCompletion, serverDiagnostics} from '@codemirror/lsp-client';
import {setDiagnostics} from '@codemirror/lint';
import {StateEffect, StateField} from '@codemirror/state';
import {Decoration, EditorView, ViewPlugin, keymap} from '@codemirror/view';

// The editor's document, as the server knows it.
const LSP_URI = 'file:///program.zvs';

const SEVERITIES = ['error', 'error', 'warning', 'info', 'hint'];

let worker = null;
let connected;
const connecting = new Promise((ok) => { connected = ok; });
// Documents that lspCheck opened, to the waiter for their diagnostics.
const checks = new Map();
let checkCount = 0;

// The server's hovers are Markdown made partly of the program's own text:
// what it renders loses scripts, frames and handlers.
function sanitize(html) {
  const t = document.createElement('template');
  t.innerHTML = html;
  for (const e of t.content.querySelectorAll('script, style, iframe, object, embed, form')) e.remove();
  for (const e of t.content.querySelectorAll('*')) {
    for (const a of [...e.attributes])
      if (/^on/i.test(a.name) || /^\s*javascript:/i.test(a.value)) e.removeAttribute(a.name);
  }
  return t.innerHTML;
}

const client = new LSPClient({
  timeout: 10000,
  sanitizeHTML: sanitize,
  notificationHandlers: {'textDocument/publishDiagnostics': published},
  extensions: [serverDiagnostics()],
});

// The diagnostics of a document: a scratch one goes to its waiter, the
// editor's become its marks once its quick fixes are known.
function published(_client, params) {
  const waiter = checks.get(params.uri);
  if (waiter) {
    waiter(params.diagnostics);
    return true;
  }
  const file = client.workspace.getFile(params.uri);
  const view = file && file.getView();
  const plugin = view && LSPPlugin.get(view);
  if (plugin && (params.version == null || params.version === file.version))
    showDiagnostics(view, plugin, params.diagnostics);
  return true;
}

// Each diagnostic with the quick fixes that edit its token, as buttons.
async function showDiagnostics(view, plugin, diagnostics) {
  const doc = plugin.syncedDoc;
  let fixes = [];
  if (diagnostics.length) {
    try {
      fixes = await client.request('textDocument/codeAction', {
        textDocument: {uri: plugin.uri},
        range: {start: {line: 0, character: 0}, end: plugin.toPosition(doc.length, doc)},
        context: {diagnostics},
      });
    } catch (e) {
      fixes = [];
    }
  }
  // A newer text went to the server meanwhile: its diagnostics will follow.
  if (plugin.syncedDoc !== doc) return;
  const at = (p) => plugin.fromPosition(p, doc);
  const marks = diagnostics.map((d) => {
    const from = at(d.range.start), to = at(d.range.end);
    const notes = (d.relatedInformation || []).map((r) => ` (line ${r.location.range.start.line + 1}: ${r.message})`);
    const actions = [];
    for (const fix of fixes || []) {
      const edit = fix.edit?.changes?.[plugin.uri]?.[0];
      if (!edit || at(edit.range.start) > from || at(edit.range.end) < from) continue;
      const before = at(edit.range.start) - from, after = at(edit.range.end) - to;
      actions.push({name: fix.title, apply: (v, f, t) =>
        v.dispatch({changes: {from: f + before, to: t + after, insert: edit.newText}})});
    }
    return {from: plugin.unsyncedChanges.mapPos(from), to: plugin.unsyncedChanges.mapPos(to),
            severity: SEVERITIES[d.severity ?? 1], source: d.code, message: d.message + notes.join(''), actions};
  });
  view.dispatch(setDiagnostics(view.state, marks));
}

// The server's highlight of what the cursor is on: a label with its jumps,
// or a text with its other occurrences.
const setHighlights = StateEffect.define();
const highlightMark = Decoration.mark({class: 'cm-lsp-highlight'});
const highlights = StateField.define({
  create: () => Decoration.none,
  update(marks, tr) {
    marks = marks.map(tr.changes);
    for (const e of tr.effects) if (e.is(setHighlights)) marks = e.value;
    return marks;
  },
  provide: (field) => EditorView.decorations.from(field),
});

const highlighter = ViewPlugin.fromClass(class {
  constructor(view) {
    this.view = view;
    this.timer = 0;
  }
  update(u) {
    if (!u.selectionSet && !u.docChanged) return;
    clearTimeout(this.timer);
    this.timer = setTimeout(() => this.ask(), 250);
  }
  async ask() {
    const plugin = LSPPlugin.get(this.view);
    if (!plugin || !worker) return;
    client.sync();
    const doc = this.view.state.doc;
    let list;
    try {
      list = await client.request('textDocument/documentHighlight', {
        textDocument: {uri: plugin.uri}, position: plugin.toPosition(this.view.state.selection.main.head)});
    } catch (e) {
      return;
    }
    if (this.view.state.doc !== doc) return;
    const ranges = (list || []).map((h) => [plugin.fromPosition(h.range.start), plugin.fromPosition(h.range.end)])
      .filter(([from, to]) => from < to).map(([from, to]) => highlightMark.range(from, to));
    this.view.dispatch({effects: setHighlights.of(Decoration.set(ranges, true))});
  }
  destroy() {
    clearTimeout(this.timer);
  }
});

// The mnemonics' completion icon: the editor's own for a keyword is an
// emoji key, which a system without an emoji font shows as an empty box.
// The list's class makes this rule the stronger of the two.
const theme = EditorView.baseTheme({
  '.cm-lsp-highlight': {backgroundColor: '#fff2a8'},
  '.cm-tooltip-autocomplete .cm-completionIcon-keyword:after': {content: "'\u2699\uFE0E'"},
});

// The editor's extensions for the document `uri`. The server answers once
// lspConnect has started it; until then the editor works without it.
export function lspExtensions(uri = LSP_URI) {
  return [
    client.plugin(uri, 'zorvik'), serverCompletion(), hoverTooltips(),
    keymap.of([...renameKeymap, ...jumpToDefinitionKeymap, ...findReferencesKeymap]),
    highlights, highlighter, theme,
  ];
}

// Starts the server's worker, once; the page calls it after the machine has
// started, so that loading the server never delays the first frame.
export function lspConnect() {
  if (worker) return;
  worker = new Worker('lsp-worker.js');
  const handlers = new Set();
  worker.onmessage = (e) => { for (const h of handlers) h(e.data); };
  worker.onerror = (e) => console.error('zorvik-lsp:', e.message);
  client.connect({
    send: (message) => worker.postMessage(message),
    subscribe: (h) => handlers.add(h),
    unsubscribe: (h) => handlers.delete(h),
  });
  connected();
}

// A request to the server, with the editor's text synced first: a promise
// of its result, or of its error.
export async function lspRequest(method, params) {
  await connecting;
  client.sync();
  return client.request(method, params);
}

// The server's diagnostics for `text`, read as a document of its own: a
// promise of the list that it publishes.
export async function lspCheck(text) {
  await connecting;
  await client.initializing;
  const uri = `file:///check-${++checkCount}.zvs`;
  const found = new Promise((ok) => checks.set(uri, ok));
  client.notification('textDocument/didOpen', {textDocument: {uri, languageId: 'zorvik', version: 1, text}});
  const diagnostics = await found;
  checks.delete(uri);
  client.notification('textDocument/didClose', {textDocument: {uri}});
  return diagnostics;
}

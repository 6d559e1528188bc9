// The debugger's marks in the editor: breakpoints in a gutter of their own
// (a click sets or clears one), each carrying its condition, hit count and
// log message, and the line of the statement where the program stopped.
// Both are range markers, so they move with the text as it is edited.
import {RangeSet, RangeSetBuilder, StateEffect, StateField} from '@codemirror/state';
import {Decoration, EditorView, GutterMarker, gutter} from '@codemirror/view';

class BreakpointMarker extends GutterMarker {
  constructor(point) {
    super();
    this.point = point;   // {condition, hitCondition, logMessage, verified, message}
  }
  eq(other) {
    return JSON.stringify(other.point) === JSON.stringify(this.point);
  }
  toDOM() {
    const dot = document.createElement('span');
    const p = this.point;
    dot.className = 'cm-breakpoint' + (p.logMessage ? ' log' : p.condition || p.hitCondition ? ' conditional' : '') +
        (p.verified === false ? ' unverified' : '');
    dot.textContent = p.logMessage ? '◆' : '●';
    dot.title = p.message || [p.condition && `when ${p.condition}`, p.hitCondition && `from hit ${p.hitCondition}`,
                              p.logMessage && `logs ${p.logMessage}`].filter(Boolean).join(', ') || 'breakpoint';
    return dot;
  }
}

// The gutter's width: a dot nobody sees.
class SpacerMarker extends GutterMarker {
  toDOM() {
    return document.createTextNode('●');
  }
}

// Sets (a point object) or clears (null) the breakpoint of the line that
// starts at `from`.
const setPoint = StateEffect.define({map: (v, change) => ({...v, from: change.mapPos(v.from)})});
const replaceAll = StateEffect.define();

const points = StateField.define({
  create: () => RangeSet.empty,
  update(set, tr) {
    const ours = tr.effects.filter((e) => e.is(setPoint) || e.is(replaceAll));
    if (!tr.docChanged && !ours.length) return set;   // the same set: nothing to tell
    set = set.map(tr.changes);
    for (const e of ours) {
      if (e.is(setPoint)) {
        set = set.update({filter: (from) => from !== e.value.from});
        if (e.value.point) set = set.update({add: [new BreakpointMarker(e.value.point).range(e.value.from)]});
      } else if (e.is(replaceAll)) {
        const builder = new RangeSetBuilder();
        for (const {from, point} of e.value) builder.add(from, from, new BreakpointMarker(point));
        set = builder.finish();
      }
    }
    // One breakpoint a line, even after the lines they stood on were joined.
    const seen = new Set();
    return set.update({filter: (from) => {
      const line = tr.state.doc.lineAt(from).number;
      if (seen.has(line)) return false;
      seen.add(line);
      return true;
    }});
  },
});

const setCurrent = StateEffect.define();
const currentLine = Decoration.line({class: 'cm-stopped-line'});
const current = StateField.define({
  create: () => Decoration.none,
  update(set, tr) {
    set = set.map(tr.changes);
    for (const e of tr.effects) {
      if (e.is(setCurrent)) set = e.value === null ? Decoration.none : Decoration.set([currentLine.range(e.value)]);
    }
    return set;
  },
  provide: (f) => EditorView.decorations.from(f),
});

// Sets or clears the breakpoint of the line that starts at `from`; a new
// one is `create()`.
let create = () => ({});
function toggle(view, from) {
  let has = false;
  view.state.field(points).between(from, from, () => { has = true; });
  view.dispatch({effects: setPoint.of({from, point: has ? null : create()})});
}

// The same for line `line`, as a click on its number does.
export function marksToggle(view, line) {
  if (line >= 1 && line <= view.state.doc.lines) toggle(view, view.state.doc.line(line).from);
}

// The editor's debugger marks; `onChange` hears every change of the
// breakpoints, from a click or an edit that moved or merged them, and
// `newPoint()` gives a new breakpoint its first values.
export function marksExtensions(onChange, newPoint) {
  if (newPoint) create = newPoint;
  return [
    points, current,
    gutter({
      class: 'cm-breakpoint-gutter',
      markers: (view) => view.state.field(points),
      initialSpacer: () => new SpacerMarker(),
      domEventHandlers: {
        mousedown(view, block) {
          toggle(view, block.from);
          return true;
        },
      },
    }),
    // These extensions may join an editor that is running already
    // (StateEffect.appendConfig): the state before that has no breakpoints.
    EditorView.updateListener.of((u) => {
      if ((u.startState.field(points, false) ?? RangeSet.empty) !== u.state.field(points)) onChange();
    }),
  ];
}

// The breakpoints, by line: [{line, condition, hitCondition, logMessage, ...}].
export function marksBreakpoints(view) {
  const out = [];
  const iter = view.state.field(points).iter();
  for (; iter.value; iter.next()) out.push({...iter.value.point, line: view.state.doc.lineAt(iter.from).number});
  return out;
}

// Replaces all breakpoints: [{line, ...point}], lines past the end dropped.
export function marksSetBreakpoints(view, list) {
  const doc = view.state.doc;
  const placed = list.filter((p) => p.line >= 1 && p.line <= doc.lines)
    .map(({line, ...point}) => ({from: doc.line(line).from, point}))
    .sort((a, b) => a.from - b.from);
  view.dispatch({effects: replaceAll.of(placed)});
}

// Sets or, with null, clears the breakpoint on `line`.
export function marksSetBreakpoint(view, line, point) {
  if (line < 1 || line > view.state.doc.lines) return;
  view.dispatch({effects: setPoint.of({from: view.state.doc.line(line).from, point})});
}

// Marks the line where the program stands, and shows it; null clears it.
export function marksShowStop(view, line) {
  if (line === null || line < 1 || line > view.state.doc.lines) {
    view.dispatch({effects: setCurrent.of(null)});
    return;
  }
  const from = view.state.doc.line(line).from;
  view.dispatch({effects: [setCurrent.of(from), EditorView.scrollIntoView(from, {y: 'nearest'})]});
}

export function marksCursorLine(view) {
  return view.state.doc.lineAt(view.state.selection.main.head).number;
}

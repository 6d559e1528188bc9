// The manual in a panel of the page, over the editor, so that a program
// keeps running and paced beside it. The panel remembers the page and the
// place it was reading; a program of the manual comes to the editor with
// the button after it.
const $ = (id) => document.getElementById(id);
const PLACE = 'zorvik.manual';

function place() {
  try {
    const kept = JSON.parse(localStorage.getItem(PLACE));
    if (kept && typeof kept.page === 'string' && /^[\w.-]+\.html(#[\w-]*)?$/.test(kept.page)) return kept;
  } catch (e) { /* nothing kept */ }
  return {page: 'index.html', scroll: 0};
}

function keep(value) {
  try {
    localStorage.setItem(PLACE, JSON.stringify(value));
  } catch (e) { /* storage turned off: the panel starts at the index */ }
}

// The page and scroll of the manual as the panel shows it now.
function reading(frame) {
  try {
    const w = frame.contentWindow;
    return {page: w.location.pathname.split('/').pop() + w.location.hash, scroll: Math.round(w.scrollY)};
  } catch (e) {
    return null;
  }
}

// `open(name, source)` takes a program from the manual.
export function helpCreate(open) {
  const panel = $('manual'), frame = $('manual-frame');
  let scrollTimer = 0;
  frame.addEventListener('load', () => {
    const now = reading(frame);
    if (!now) return;
    const kept = place();
    if (kept.page === now.page && kept.scroll) frame.contentWindow.scrollTo(0, kept.scroll);
    else keep(now);
    $('manual-tab').href = `manual/${now.page}`;
    frame.contentWindow.addEventListener('scroll', () => {
      clearTimeout(scrollTimer);
      scrollTimer = setTimeout(() => { const r = reading(frame); if (r) keep(r); }, 200);
    });
  });
  const show = (e) => {
    e?.preventDefault();
    $('help').open = false;
    panel.hidden = false;
    if (!frame.src) frame.src = `manual/${place().page}`;
    frame.focus();
  };
  for (const link of document.querySelectorAll('a.manual-link')) link.addEventListener('click', show);
  $('manual-open').addEventListener('click', show);
  $('manual-close').addEventListener('click', () => { panel.hidden = true; });
  window.addEventListener('message', (e) => {
    if (e.origin !== location.origin || e.source !== frame.contentWindow) return;
    const m = e.data;
    if (m && m.type === 'zorvik-open' && typeof m.source === 'string' && typeof m.name === 'string') {
      panel.hidden = true;
      open(m.name, m.source);
    }
  });
}

// The screen's keys, for the page and the exported player alike: the
// keyboard while the screen has the focus, and the touch keys on touch
// screens, each held while it is touched.
import {hostCodeKnown, hostKey} from './host.js';

// Keys the screen leaves to the browser: Tab and Shift+Tab move the focus
// on, and these are reload, the address bar, full screen and the tools.
const BROWSER_KEYS = new Set(['Tab', 'F5', 'F6', 'F11', 'F12']);
// Keys that would scroll the page: while the screen has the focus they are
// the program's, or nobody's.
const SCROLL_KEYS = new Set(['Space', 'ArrowUp', 'ArrowDown', 'ArrowLeft', 'ArrowRight', 'PageUp', 'PageDown', 'Home',
                             'End']);

export function screenKeysWire(canvas, pad) {
  const held = new Set();
  canvas.addEventListener('mousedown', () => canvas.focus());
  canvas.addEventListener('keydown', (e) => {
    const shortcut = (e.ctrlKey || e.metaKey || e.altKey) && !/^(Control|Alt|Meta|Shift)/.test(e.code);
    if (SCROLL_KEYS.has(e.code) && !shortcut) e.preventDefault();
    if (!hostCodeKnown(e.code) || BROWSER_KEYS.has(e.code) || shortcut) return;
    e.preventDefault();
    if (e.repeat) return;
    held.add(e.code);
    hostKey(e.code, true);
  });
  canvas.addEventListener('keyup', (e) => {
    if (!held.has(e.code)) return;
    e.preventDefault();
    held.delete(e.code);
    hostKey(e.code, false);
  });
  // Keys held when the screen loses the focus would stay down for the program.
  canvas.addEventListener('blur', () => {
    for (const code of held) hostKey(code, false);
    held.clear();
  });

  pad.hidden = !(matchMedia('(pointer: coarse)').matches || navigator.maxTouchPoints > 0);
  for (const button of pad.querySelectorAll('button')) {
    const key = button.dataset.key;
    const up = () => { if (button.classList.contains('down')) { button.classList.remove('down'); hostKey(key, false); } };
    button.addEventListener('pointerdown', (e) => {
      e.preventDefault();
      button.setPointerCapture?.(e.pointerId);
      button.classList.add('down');
      hostKey(key, true);
    });
    button.addEventListener('pointerup', up);
    button.addEventListener('pointercancel', up);
    button.addEventListener('contextmenu', (e) => e.preventDefault());
  }
}

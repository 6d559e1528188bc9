// Renders the manual (docs/*.md) into HTML pages for the web page, with its
// pictures and example programs beside them:
//   node web/manual.mjs DOCS OUT
// Links between the manual's pages go to their HTML pages (README.md is
// index.html), and each heading gets the anchor that links name it by.
import {copyFileSync, mkdirSync, readdirSync, readFileSync, writeFileSync} from 'node:fs';
import {basename, join} from 'node:path';
import MarkdownIt from 'markdown-it';

const [docs, out] = process.argv.slice(2);

function pageName(file) {
  return file === 'README.md' ? 'index.html' : file.replace(/\.md$/, '.html');
}

// A heading's anchor: its words in lower case, joined by hyphens, without
// punctuation.
function slug(text) {
  return text.trim().toLowerCase().replace(/[^\p{L}\p{N}\s_-]/gu, '').replace(/\s/g, '-');
}

function escapeHtml(text) {
  return text.replace(/[&<>"]/g, (c) => ({'&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;'})[c]);
}

const md = new MarkdownIt({html: false, linkify: false, typographer: false});

// The manual marks the files its examples are kept in with comments of
// their own (<!-- file: PATH -->, <!-- output: PATH -->), which the tests
// read: here the file names the program, and no comment is shown.
function prepare(source) {
  return source.replace(/^<!-- file: (\S+) -->\n(```zvs)$/gm, '$2 $1').replace(/^<!-- (file|output): \S+ -->\n/gm, '');
}

// A program of the manual can go to the page's editor when the manual is in
// the page's panel: a button after it says so to the page.
const renderFence = md.renderer.rules.fence;
md.renderer.rules.fence = (tokens, i, options, env, self) => {
  const [language, file] = tokens[i].info.trim().split(/\s+/);
  const html = renderFence(tokens, i, options, env, self);
  if (language !== 'zvs') return html;
  const name = file ? basename(file) : 'example.zvs';
  return `${html}<p class="open" hidden><button data-name="${escapeHtml(name)}">Open ${escapeHtml(name)} in the editor</button></p>\n`;
};

// In the page's panel, the buttons after the programs show, and a click
// hands the program to the page.
const script = `if (parent !== window) for (const b of document.querySelectorAll('p.open button')) {
  b.parentElement.hidden = false;
  b.onclick = () => parent.postMessage({type: 'zorvik-open', name: b.dataset.name,
    source: b.parentElement.previousElementSibling.textContent}, location.origin);
}`;

md.core.ruler.push('anchors', (state) => {
  const used = new Map();
  state.tokens.forEach((token, i) => {
    if (token.type !== 'heading_open') return;
    let id = slug(state.tokens[i + 1].content);
    const n = used.get(id) || 0;
    used.set(id, n + 1);
    if (n) id += `-${n}`;
    token.attrSet('id', id);
  });
});

const renderLink = md.renderer.rules.link_open || ((tokens, i, options, env, self) => self.renderToken(tokens, i, options));
md.renderer.rules.link_open = (tokens, i, options, env, self) => {
  const href = tokens[i].attrGet('href');
  const local = href && !/^[a-z]+:/i.test(href) && !href.startsWith('#');
  const [path, anchor] = (href || '').split('#');
  if (local && path.endsWith('.md') && !path.includes('/')) tokens[i].attrSet('href', pageName(path) + (anchor ? `#${anchor}` : ''));
  else if (!local && href && !href.startsWith('#')) tokens[i].attrSet('rel', 'noopener');
  return renderLink(tokens, i, options, env, self);
};

const style = `body { margin: 0 auto; max-width: 52em; padding: 1em 1.2em 3em; font: 16px/1.55 system-ui, sans-serif; color: #1d1d22; }
nav { font-size: .9em; margin-bottom: 1em; }
img { max-width: 100%; image-rendering: pixelated; }
pre { background: #f4f4f6; padding: .6em .8em; overflow: auto; }
code { font: .92em ui-monospace, monospace; }
table { border-collapse: collapse; display: block; overflow-x: auto; }
th, td { border: 1px solid #ccc; padding: .25em .5em; vertical-align: top; }
p.open { margin-top: -.4em; }`;

mkdirSync(join(out, 'pictures'), {recursive: true});
mkdirSync(join(out, 'examples'), {recursive: true});
for (const file of readdirSync(docs).filter((f) => f.endsWith('.md'))) {
  const source = readFileSync(join(docs, file), 'utf8');
  const title = (source.match(/^# (.*)$/m) || [, basename(file, '.md')])[1];
  const html = `<!doctype html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>${escapeHtml(title)} · Zorvik VM manual</title>
<style>${style}</style>
</head>
<body>
<nav><a href="index.html">Manual</a> · <a href="../index.html">The page</a></nav>
${md.render(prepare(source))}<script>${script}</script>
</body>
</html>
`;
  writeFileSync(join(out, pageName(file)), html);
}
for (const file of readdirSync(docs).filter((f) => /\.(png|gif)$/.test(f))) copyFileSync(join(docs, file), join(out, file));
for (const file of readdirSync(join(docs, 'pictures')).filter((f) => /\.(png|gif)$/.test(f)))
  copyFileSync(join(docs, 'pictures', file), join(out, 'pictures', file));
for (const file of readdirSync(join(docs, 'examples')).filter((f) => /\.(zvs|png|gif)$/.test(f)))
  copyFileSync(join(docs, 'examples', file), join(out, 'examples', file));

// The player template, build/web/player.html: web/player.html with its
// style, its icon, the machine (machine.js, and machine.wasm compressed in
// base64) and the player's bundle inside, so that it needs no other file.
//   node web/playerhtml.mjs OUT TEMPLATE CSS PLAYER.js MACHINE.js MACHINE.wasm ICON.png
import {readFileSync, writeFileSync} from 'node:fs';
import {gzipSync} from 'node:zlib';

const [out, template, css, player, machine, wasm, icon] = process.argv.slice(2);

// A script's text inside <script>: HTML ends the element at the first
// "</script", and "<!--" can hide that end, so neither may stand in it.
function inline(path) {
  const text = readFileSync(path, 'utf8').replace(/<\/(script)/gi, '<\\/$1');
  if (/<!--/.test(text)) throw new Error(`${path} holds "<!--", which cannot stand inside a <script>`);
  return text;
}

const parts = {
  icon: `<link rel="icon" href="data:image/png;base64,${readFileSync(icon).toString('base64')}" type="image/png">`,
  style: `<style>\n${readFileSync(css, 'utf8')}</style>`,
  machine: `<script id="zorvik-wasm" type="application/octet-stream">${gzipSync(readFileSync(wasm), {level: 9}).toString('base64')}</script>\n` +
    `<script>${inline(machine)}</script>`,
  player: `<script>${inline(player)}</script>`,
};
let html = readFileSync(template, 'utf8');
for (const [name, text] of Object.entries(parts)) {
  const marker = `<!--zorvik:${name}-->`;
  if (!html.includes(marker)) throw new Error(`${template} has no ${marker}`);
  html = html.replace(marker, () => text);
}
writeFileSync(out, html);

// web/export.sh's work: the player of build/web/player.html with one
// program in it, written to a file.
//   node web/export.mjs PROGRAM.zvs OUT.html [TEMPLATE]
import {readFileSync, writeFileSync} from 'node:fs';
import {basename, dirname, join} from 'node:path';
import {fileURLToPath} from 'node:url';
import {exportFill} from './fill.mjs';

const [source, out, template = join(dirname(fileURLToPath(import.meta.url)), '..', 'build', 'web', 'player.html')] =
  process.argv.slice(2);
if (!source || !out) {
  console.error('usage: web/export.sh PROGRAM.zvs OUT.html');
  process.exit(2);
}
let text;
try {
  text = readFileSync(template, 'utf8');
} catch (e) {
  console.error(`export: ${template} is missing: build the page first with web/build.sh`);
  process.exit(1);
}
// A program or an output that cannot be used is named, as the tools name
// files, without a trace of the script's insides.
let program;
try {
  program = readFileSync(source);
} catch (e) {
  console.error(`export: cannot read '${source}': ${e.code === 'ENOENT' ? 'no such file' : e.message}`);
  process.exit(1);
}
const html = exportFill(text, {name: basename(source), program});
try {
  writeFileSync(out, html);
} catch (e) {
  console.error(`export: cannot write '${out}': ${e.message}`);
  process.exit(1);
}
console.error(`export: ${out}, ${html.length.toLocaleString('en')} bytes`);

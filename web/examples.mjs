// Writes the page's examples menu: every program of the examples folder,
// the game first, then the rest by name.
//   node examples.mjs EXAMPLES_DIR OUT.json
import {readdirSync, readFileSync, writeFileSync} from 'node:fs';
import {join} from 'node:path';

const [dir, out] = process.argv.slice(2);
const names = readdirSync(dir).filter((n) => n.endsWith('.zvs')).sort();
names.sort((a, b) => (b === 'snake.zvs') - (a === 'snake.zvs'));
writeFileSync(out, JSON.stringify(names.map((name) => ({name, source: readFileSync(join(dir, name), 'utf8')}))));

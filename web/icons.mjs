// The machine's icon (build/release/run/icon.bmp, 24-bit BMP) as PNG icons
// of the sizes a browser installs an app with, its pixels kept sharp:
//   node web/icons.mjs ICON.bmp OUTDIR SIZE...
import {readFileSync, writeFileSync} from 'node:fs';
import {join} from 'node:path';
import {PNG} from 'pngjs';

const [bmpPath, outDir, ...sizes] = process.argv.slice(2);
const bmp = readFileSync(bmpPath);
if (bmp.toString('latin1', 0, 2) !== 'BM') throw new Error(`${bmpPath} is not a BMP file`);
const offset = bmp.readUInt32LE(10), width = bmp.readInt32LE(18), rawHeight = bmp.readInt32LE(22);
const bits = bmp.readUInt16LE(28);
if (bits !== 24 && bits !== 32) throw new Error(`${bmpPath} has ${bits} bits a pixel; the icon has 24 or 32`);
const height = Math.abs(rawHeight), bytes = bits / 8, stride = Math.ceil((width * bytes) / 4) * 4;

// The icon's pixel (x, y), from the top, as [r, g, b].
function pixel(x, y) {
  const row = rawHeight > 0 ? height - 1 - y : y;
  const at = offset + row * stride + x * bytes;
  return [bmp[at + 2], bmp[at + 1], bmp[at]];
}

for (const size of sizes.map(Number)) {
  const png = new PNG({width: size, height: size});
  for (let y = 0; y < size; y++) {
    for (let x = 0; x < size; x++) {
      const [r, g, b] = pixel(Math.floor((x * width) / size), Math.floor((y * height) / size));
      png.data.set([r, g, b, 255], (y * size + x) * 4);
    }
  }
  writeFileSync(join(outDir, `icon-${size}.png`), PNG.sync.write(png));
}

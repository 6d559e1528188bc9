#!/usr/bin/env bash
# The Debian package made by cpack from the build BUILD: unpacked into an
# empty folder it holds the tools, the font, the icon and the editor files,
# its zorvik runs a program there, and its control file names the run-time
# libraries that apt must bring.
#   tests/package/test.sh BUILD
set -euo pipefail
build="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
(cd "$build" && cpack -B "$work/out" >/dev/null)
deb="$(ls "$work"/out/zorvik_*_amd64.deb)"
dpkg -x "$deb" "$work/root"
for f in bin/zorvik bin/zorvik-check bin/zorvik-capture bin/zorvik-debug bin/zorvik-lsp \
         share/zorvik/term.mxf share/zorvik/icon.bmp share/zorvik/editor/vim/syntax/zorvik.vim \
         share/zorvik/editor/vim/ftdetect/zorvik.vim share/zorvik/editor/vim/compiler/zorvik-check.vim \
         share/zorvik/editor/zorvik.vsix; do
    [ -e "$work/root/usr/$f" ] || { echo "the package lacks usr/$f" >&2; exit 1; }
done
depends="$(dpkg-deb -f "$deb" Depends)"
for lib in libsdl1.2debian libpng16-16 libgif7 libedit2 libstdc++6; do
    grep -q "$lib" <<<"$depends" || { echo "Depends lacks $lib: $depends" >&2; exit 1; }
done
cd "$work/root/usr/share/zorvik"
printf '        lda #0\n        ldm "packed"\n        ldx #0\n        ldy #5\n        int #1\n' >"$work/p.zvs"
out="$(SDL_VIDEODRIVER=dummy ../../bin/zorvik "$work/p.zvs" 2>"$work/err")"
[ "$out" = packed ] || { echo "the packaged zorvik printed '$out'" >&2; exit 1; }
[ ! -s "$work/err" ] || { echo "the packaged zorvik said: $(cat "$work/err")" >&2; exit 1; }
echo "the package holds the tools, the font, the icon and the editor files; its zorvik runs"

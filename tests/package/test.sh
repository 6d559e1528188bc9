#!/usr/bin/env bash
# The build BUILD installed as a user gets it: by cmake --install into a
# prefix of its own, and as the Debian package that cpack makes (unpacked).
# Each install holds the tools, the font, the icon, the default program, the
# manual, the man pages, the shell completion and the editor files; its tools
# run from an empty folder and find their own files; its zorvik-lsp links
# the installed manual. The package names its run-time libraries, and
# lintian finds no error in it.
#   tests/package/test.sh BUILD
set -euo pipefail
build="$(cd "$1" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export SDL_VIDEODRIVER=dummy
fail() { echo "$*" >&2; exit 1; }

tools=(zorvik zorvik-check zorvik-capture zorvik-debug zorvik-lsp zorvik-play zorvik-test)
files=(share/zorvik/term.mxf share/zorvik/icon.bmp share/zorvik/default.zvs
       share/zorvik/editor/vim/syntax/zorvik.vim share/zorvik/editor/vim/ftdetect/zorvik.vim
       share/zorvik/editor/vim/compiler/zorvik-check.vim share/zorvik/editor/zorvik.vsix
       share/doc/zorvik/README.md share/doc/zorvik/checking.md share/doc/zorvik/pictures/snake.gif
       share/doc/zorvik/examples/snake.zvs share/doc/zorvik/examples/debugging.zvs
       share/doc/zorvik/copyright share/doc/zorvik/changelog.gz)
for t in "${tools[@]}"; do
    files+=("bin/$t" "share/man/man1/$t.1.gz" "share/bash-completion/completions/$t")
done

# A program that prints a word and draws it with the font, right of the
# screen area, and its picture as the build tree's capture draws it.
cat >"$work/text.zvs" <<'EOF'
        int #19
        lda #$7E
        sta $1299
        lda #254
        sta $FFE13
        sta $FFE14
        lda #8
        ldm "packed"
        ldx #0
        ldy #6
        int #86
        int #21
        lda #0
        ldm "packed"
        ldx #0
        ldy #5
        int #1
EOF
(cd "$build/run" && ../zorvik-capture "$work/text.zvs" "$work/text.png" >/dev/null)
# Beside it, its output: the program is a test of both, for zorvik-test.
(cd "$build/run" && ../zorvik "$work/text.zvs" >"$work/text.out")

# The language server's first diagnostic link for a program with a trap.
lsp_link() {
    local uri="file://$work/trap.zvs" text='sta $41\nlda #41\n'
    local open="{\"jsonrpc\":\"2.0\",\"method\":\"textDocument/didOpen\",\"params\":{\"textDocument\":{\"uri\":\"$uri\",\"languageId\":\"zorvik\",\"version\":1,\"text\":\"$text\"}}}"
    local message
    {
        for message in '{"jsonrpc":"2.0","id":1,"method":"initialize","params":{"processId":null,"rootUri":null,"capabilities":{}}}' \
                       '{"jsonrpc":"2.0","method":"initialized","params":{}}' "$open"; do
            printf 'Content-Length: %d\r\n\r\n%s' "${#message}" "$message"
        done
        sleep 1
        message='{"jsonrpc":"2.0","id":2,"method":"shutdown"}'
        printf 'Content-Length: %d\r\n\r\n%s' "${#message}" "$message"
        message='{"jsonrpc":"2.0","method":"exit"}'
        printf 'Content-Length: %d\r\n\r\n%s' "${#message}" "$message"
    } | timeout 20 "$1" | grep -o '"href":"[^"]*"' | head -1
}

# check_install ROOT NAME: ROOT holds bin/ and share/ of one install.
check_install() {
    local root="$1" name="$2" f out
    for f in "${files[@]}"; do
        [ -e "$root/$f" ] || fail "$name lacks $f"
    done
    local here="$work/empty-$name"
    mkdir "$here"
    cd "$here"
    out="$("$root/bin/zorvik" "$work/text.zvs" 2>"$work/err")"
    [ "$out" = packed ] || fail "$name: zorvik printed '$out'"
    [ ! -s "$work/err" ] || fail "$name: zorvik said: $(cat "$work/err")"
    "$root/bin/zorvik-capture" "$work/text.zvs" "$work/$name.png" >/dev/null 2>"$work/err"
    [ ! -s "$work/err" ] || fail "$name: zorvik-capture said: $(cat "$work/err")"
    cmp -s "$work/$name.png" "$work/text.png" || fail "$name: zorvik-capture drew another picture than the build's"
    out="$("$root/bin/zorvik-play" --exit-on-end "$work/text.zvs" 2>"$work/err")"
    [ "$out" = packed ] || fail "$name: zorvik-play printed '$out'"
    [ ! -s "$work/err" ] || fail "$name: zorvik-play said: $(cat "$work/err")"
    out="$("$root/bin/zorvik-test" "$work/text.zvs" 2>"$work/err")" ||
        fail "$name: zorvik-test failed: $out $(cat "$work/err")"
    [ ! -s "$work/err" ] || fail "$name: zorvik-test said: $(cat "$work/err")"
    # With no program named, the installed tour runs.
    "$root/bin/zorvik" >"$work/tour" 2>"$work/err"
    [ "$(head -1 "$work/tour")" = "Zorvik VM: a short tour of the machine." ] ||
        fail "$name: a bare zorvik printed '$(head -1 "$work/tour")', said '$(cat "$work/err")'"
    [ "$(tail -1 "$work/tour")" = "Done: the tour ends by itself." ] || fail "$name: the tour did not end"
    out="$(lsp_link "$root/bin/zorvik-lsp")"
    [ "$out" = "\"href\":\"file://$(cd "$root" && pwd -P)/share/doc/zorvik/checking.md#first-spelling\"" ] ||
        fail "$name: zorvik-lsp links $out"
    [ "$(ls -A "$here")" = "" ] || fail "$name: the tools left files in the folder they ran in: $(ls -A "$here")"
    cd "$work"
}

cmake --install "$build" --prefix "$work/prefix" >/dev/null
check_install "$work/prefix" prefix
echo "cmake --install: the tools run from any folder and find their files"

(cd "$build" && cpack -B "$work/out" >/dev/null 2>&1)
deb="$(ls "$work"/out/zorvik_*_amd64.deb)"
dpkg -x "$deb" "$work/root"
check_install "$work/root/usr" package
depends="$(dpkg-deb -f "$deb" Depends)"
for lib in libsdl1.2debian libpng16-16 libgif7 libedit2 libstdc++6; do
    grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
done
lintian --no-tag-display-limit "$deb" >"$work/lintian" 2>&1 || true
if grep '^E:' "$work/lintian"; then
    fail "lintian finds errors in the package"
fi
echo "the package: its tools run from any folder, and lintian finds no error"

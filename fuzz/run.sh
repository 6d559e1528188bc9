#!/usr/bin/env bash
# Builds a fuzz target with clang, libFuzzer and the sanitizers, and runs it
# for a while on a corpus seeded from the project's programs:
#   fuzz/run.sh TARGET SECONDS      (TARGET: run, font, dap, lsp or png)
# The growing corpus stays in build/fuzz/corpus-TARGET; inputs that crash or
# hang the target land in build/fuzz/findings-TARGET. Keep each of them in
# tests/fuzz/TARGET/, where the test suite replays it. Leaks are left to
# that replay, which runs under LeakSanitizer: checked here, they would
# cost more than the runs.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/setup.sh"

target="${1:?usage: fuzz/run.sh TARGET SECONDS}"
seconds="${2:?usage: fuzz/run.sh TARGET SECONDS}"
zorvik_install "${ZORVIK_PACKAGES[@]}" clang libclang-rt-14-dev

dir="$ZORVIK_ROOT/build/fuzz"
CC=clang CXX=clang++ zorvik_build "$dir" RelWithDebInfo -DZORVIK_FUZZ=ON -DZORVIK_TESTS=OFF
corpus="$dir/corpus-$target"
findings="$dir/findings-$target"
mkdir -p "$corpus" "$findings"

# Seeds: for run, every program of the project, with a mode byte in front
# and an empty standard input behind; for font, the machine's own font.
if [ "$target" = font ]; then
    cp -n "$dir/run/term.mxf" "$corpus/seed-term.mxf"
elif [ "$target" = lsp ]; then
    # A framed session and an edit script.
    [ -e "$corpus/seed-session" ] || { printf '\x00'; for body in \
        '{"jsonrpc":"2.0","id":2,"method":"textDocument/hover","params":{"textDocument":{"uri":"file:///f.zvs"},"position":{"line":3,"character":13}}}' \
        '{"jsonrpc":"2.0","method":"textDocument/didChange","params":{"textDocument":{"uri":"file:///f.zvs","version":2},"contentChanges":[{"range":{"start":{"line":1,"character":0},"end":{"line":1,"character":4}},"text":"again"}]}}' \
        '{"jsonrpc":"2.0","id":3,"method":"textDocument/semanticTokens/full","params":{"textDocument":{"uri":"file:///f.zvs"}}}'; do
        printf 'Content-Length: %d\r\n\r\n%s' "${#body}" "$body"; done; } > "$corpus/seed-session"
    [ -e "$corpus/seed-edits" ] || printf '\x01\x03\x0d\x01\x03lda\x07\x08\x00\x02#5' > "$corpus/seed-edits"
elif [ "$target" = png ]; then
    # The manual's pictures, which carry their programs, each with its CRCs
    # made right (a 0 in front) and as they are (a 1); a tEXt program.
    for png in "$ZORVIK_ROOT"/docs/pictures/*.png; do
        for mode in 0 1; do
            seed="$corpus/seed-$mode-$(basename "$png")"
            [ -e "$seed" ] || { printf "\\x$mode"; cat "$png"; } > "$seed"
        done
    done
    [ -e "$corpus/seed-text" ] || printf '\x00\x89PNG\r\n\x1a\n\0\0\0\x12tEXtZorvik program\0lda\0\0\0\0\0\0\0\0IEND\0\0\0\0' \
        > "$corpus/seed-text"
elif [ "$target" = dap ]; then
    cp -n "$ZORVIK_ROOT"/tests/fuzz/dap/* "$corpus"/ 2>/dev/null || true
else
for src in "$ZORVIK_ROOT"/tests/golden/*.zvs "$ZORVIK_ROOT"/docs/examples/*.zvs \
           "$ZORVIK_ROOT"/examples/*.zvs; do
    for mode in 0 1 2; do
        seed="$corpus/seed-$mode-$(basename "$src")"
        [ -e "$seed" ] || { printf "\\x$mode"; cat "$src"; printf '\0'; } > "$seed"
    done
done
fi
cp -n "$ZORVIK_ROOT"/tests/fuzz/"$target"/* "$corpus"/ 2>/dev/null || true

max_len=4096
[ "$target" = font ] && max_len=65536  # room for a font of the machine's size
[ "$target" = lsp ] && max_len=1024
[ "$target" = png ] && max_len=65536  # room for the manual's pictures
# Where each allocation came from costs the most of the server's runs, and a
# crash's own stack says enough.
export ASAN_OPTIONS="${ASAN_OPTIONS:-malloc_context_size=0}"

cd "$findings"
# No terminal: the step pause of the debug modes would wait for a key.
setsid "$dir/zorvik_fuzz_$target" -max_total_time="$seconds" -timeout=10 -detect_leaks=0 -rss_limit_mb=2048 \
    -max_len="$max_len" -print_final_stats=1 "$corpus" </dev/null

#!/usr/bin/env bash
# Tests the page in Debian's chromium, headless, against the native machine,
# installing what is missing:
#   web/test.sh
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/setup.sh"

zorvik_install chromium
bash "$ZORVIK_ROOT/web/build.sh"

# A second build with nothing changed installs and links nothing: it leaves
# every file of the page and of node_modules as it was.
out="$ZORVIK_ROOT/build/web"
stamp="$(mktemp)"
trap 'rm -f "$stamp"' EXIT
start=$(date +%s%N)
bash "$ZORVIK_ROOT/web/build.sh" 2>/dev/null
changed="$(find "$out" "$ZORVIK_ROOT/web/node_modules" -newer "$stamp" -print -quit)"
if [ -n "$changed" ]; then
    echo "web/build.sh with nothing changed rewrote $changed" >&2
    exit 1
fi
echo "web/build.sh with nothing changed: $(( ($(date +%s%N) - start) / 1000000 )) ms" >&2

# The page's own files, the manual and the player aside, stay under 2 MiB.
size=$(du -sb --exclude=manual --exclude=player.html "$out" | cut -f1)
if [ "$size" -ge $((2 << 20)) ]; then
    echo "the page is $size bytes, over 2 MiB" >&2
    exit 1
fi
# The player, the machine inside it, leaves room for a small program in an
# exported file of under 512 KiB.
size=$(stat -c %s "$out/player.html")
if [ "$size" -ge $((384 << 10)) ]; then
    echo "the player is $size bytes, over 384 KiB" >&2
    exit 1
fi

cd "$ZORVIK_ROOT/web"
node --test --test-reporter=spec test/*.test.mjs

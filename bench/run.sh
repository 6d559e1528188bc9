#!/usr/bin/env bash
# Builds the release binary, a build of it that counts the interpreter's
# passes, and the benchmark tool; then prints one line per figure.
#   bench/run.sh
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/setup.sh"

zorvik_install "${ZORVIK_PACKAGES[@]}"
release="$ZORVIK_ROOT/build/release"
counting="$ZORVIK_ROOT/build/bench-count"
zorvik_build "$release" Release -DZORVIK_TESTS=OFF
cmake --build "$release" -j2 --target zorvik_bench >/dev/null
zorvik_build "$counting" Release -DZORVIK_TESTS=OFF -DZORVIK_COUNT_PASSES=ON

export SDL_VIDEODRIVER=dummy
# The children run where the font and the icon are, as a user's run does.
cd "$release/run"
"$release/zorvik_bench" "$release/zorvik" "$counting/zorvik" "$ZORVIK_ROOT/bench"

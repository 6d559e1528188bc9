#!/usr/bin/env bash
# zorvik-lsp's answers on a 5,000-line program, timed by a client of the
# protocol's own library: diagnostics after a change, hover, definition
# and completion.
#   bench/lsp.sh [ROUNDS]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/setup.sh"

zorvik_install "${ZORVIK_PACKAGES[@]}"
zorvik_build "$ZORVIK_ROOT/build/release" Release -DZORVIK_TESTS=OFF
zorvik_npm "$ZORVIK_ROOT/tests/lsp"
NODE_PATH="$ZORVIK_ROOT/tests/lsp/node_modules" node "$ZORVIK_ROOT/bench/lsp.js" "$ZORVIK_ROOT/build/release/zorvik-lsp" "${1:-20}"

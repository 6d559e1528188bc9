#!/usr/bin/env bash
# The page beside the native machine, on this host, in one run: the
# counting loop at full speed, the time from loading the page to the first
# frame of the default program, the debugger's speed beside the page's
# without it, and the size of the page's files.
#   bench/web.sh [ROUNDS]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/setup.sh"

zorvik_install chromium
bash "$ZORVIK_ROOT/web/build.sh"
node "$ZORVIK_ROOT/bench/web.mjs" "${1:-5}"

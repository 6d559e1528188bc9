#!/usr/bin/env bash
# Tests the page in Debian's chromium, headless, against the native machine,
# installing what is missing:
#   web/test.sh
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/setup.sh"

zorvik_install chromium
bash "$ZORVIK_ROOT/web/build.sh"
cd "$ZORVIK_ROOT/web"
node --test --test-reporter=spec test/

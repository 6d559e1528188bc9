#!/usr/bin/env bash
# Builds Zorvik VM, installing what is missing, and runs the whole test suite
# twice: a normal build, then one under AddressSanitizer and
# UndefinedBehaviorSanitizer. Headless: SDL's dummy video driver.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/scripts/setup.sh"

zorvik_install "${ZORVIK_PACKAGES[@]}" libgtest-dev vim dpkg-dev man-db groff-base bash-completion lintian xvfb xdotool lcov python3
export SDL_VIDEODRIVER=dummy
# The protocol test clients come from npm, pinned by their lock files.
zorvik_npm "$ZORVIK_ROOT/tests/dap"
zorvik_npm "$ZORVIK_ROOT/tests/lsp"
# The VS Code extension, which the Debian package carries too.
bash "$ZORVIK_ROOT/editor/vscode/build.sh"

for variant in release asan; do
    dir="$ZORVIK_ROOT/build/test-$variant"
    if [ "$variant" = asan ]; then
        zorvik_build "$dir" RelWithDebInfo -DZORVIK_SANITIZE=ON
    else
        zorvik_build "$dir" Release
    fi
    echo "== $variant build: running its tests"
    (cd "$dir" && ctest -j2 --output-on-failure)
done

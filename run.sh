#!/usr/bin/env bash
# Builds Zorvik VM, installing what is missing, and runs a program:
#   ./run.sh [program.zvs [--debug | --debug=gfx]]
# With no program the bundled default program runs.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/scripts/setup.sh"

zorvik_install "${ZORVIK_PACKAGES[@]}"
zorvik_build "$ZORVIK_ROOT/build/release" Release -DZORVIK_TESTS=OFF

args=("$@")
# The source path is the caller's: make it absolute before moving to the run
# directory, where the font, the icon and the default program are.
if [ ${#args[@]} -gt 0 ] && [ "${args[0]#/}" = "${args[0]}" ]; then
    args[0]="$PWD/${args[0]}"
fi
cd "$ZORVIK_ROOT/build/release/run"
echo "Running ${1:-default.zvs} in build/release/run" >&2
exec ../zorvik "${args[@]}"

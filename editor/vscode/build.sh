#!/usr/bin/env bash
# Builds the VS Code extension into build/vscode/zorvik.vsix:
#   editor/vscode/build.sh
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/../../scripts/setup.sh"
out="$ZORVIK_ROOT/build/vscode"
mkdir -p "$out"
zorvik_npm "$here"
cd "$here"
./node_modules/.bin/vsce package --no-update-package-json --no-git-tag-version --skip-license \
    --out "$out/zorvik.vsix" >/dev/null
echo "The extension is $(cd "$out" && pwd)/zorvik.vsix" >&2

#!/usr/bin/env bash
# Writes a standalone player for one program: a single .html file that
# opens anywhere, from a folder or any static host, with nothing else:
#   web/export.sh PROGRAM.zvs OUT.html
# It fills in build/web/player.html, which web/build.sh writes.
set -euo pipefail
exec node "$(dirname "${BASH_SOURCE[0]}")/export.mjs" "$@"

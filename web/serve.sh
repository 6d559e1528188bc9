#!/usr/bin/env bash
# Builds the page and serves it at http://127.0.0.1:8000/ (PORT to change):
#   web/serve.sh [PORT]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
port="${1:-8000}"
bash "$root/web/build.sh"
echo "Serving the page at http://127.0.0.1:$port/ (Ctrl-C ends)" >&2
exec python3 -m http.server "$port" --bind 127.0.0.1 --directory "$root/build/web"

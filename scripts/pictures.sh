#!/usr/bin/env bash
# Draws every picture of docs/pictures/list.txt with zorvik-capture:
#   scripts/pictures.sh CAPTURE RUN_DIR OUT_DIR
# RUN_DIR holds the font and icon the programs need; the pictures land in
# OUT_DIR. Console output of the programs is dropped.
set -euo pipefail
capture="$1" run_dir="$2" out_dir="$3"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
mkdir -p "$out_dir"
out_dir="$(cd "$out_dir" && pwd)"
cd "$run_dir"
grep -v '^#' "$root/docs/pictures/list.txt" | while read -r picture source options; do
    [ -n "$picture" ] || continue
    # shellcheck disable=SC2086  # the options are words on purpose
    "$capture" $options "$root/$source" "$out_dir/$picture" </dev/null >/dev/null
done

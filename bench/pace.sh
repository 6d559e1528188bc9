#!/usr/bin/env bash
# The window's pacing, measured on a real X server (Xvfb): a program that
# refreshes 180 times, in a window and headless, with zorvik and, when it
# is built, zorvik-play. Prints one line per run: wall time, and CPU time as
# a share of it.
#   bench/pace.sh
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/setup.sh"

zorvik_install "${ZORVIK_PACKAGES[@]}" xvfb
release="$ZORVIK_ROOT/build/release"
zorvik_build "$release" Release -DZORVIK_TESTS=OFF
program="$ZORVIK_ROOT/bench/pace.zvs"

n=60
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null' EXIT
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
cd "$release/run"

# LABEL DISPLAY COMMAND...: runs the command with DISPLAY set (or unset and
# on the dummy driver for "-"), and prints its wall time and CPU share.
measure() {
    local label="$1" display="$2"
    shift 2
    local TIMEFORMAT='%R %U %S' times
    if [ "$display" = - ]; then
        times=$({ time env -u DISPLAY SDL_VIDEODRIVER=dummy "$@" >/dev/null 2>&1; } 2>&1)
    else
        times=$({ time env -u SDL_VIDEODRIVER DISPLAY="$display" "$@" >/dev/null 2>&1; } 2>&1)
    fi
    read -r real user sys <<<"$(tail -n 1 <<<"$times")"
    awk -v l="$label" -v r="$real" -v u="$user" -v s="$sys" \
        'BEGIN { printf "%-40s %6.2f s wall  %5.1f%% CPU\n", l, r, (r > 0 ? 100 * (u + s) / r : 0) }'
}

measure "zorvik, window (3 s expected)" ":$n" "$release/zorvik" "$program"
measure "zorvik, headless" - "$release/zorvik" "$program"
if [ -x "$release/zorvik-play" ]; then
    measure "zorvik-play, window (3 s expected)" ":$n" "$release/zorvik-play" --no-reload "$program"
    measure "zorvik-play --fps 30, window (6 s)" ":$n" "$release/zorvik-play" --no-reload --fps 30 "$program"
    measure "zorvik-play --full-speed, window" ":$n" "$release/zorvik-play" --no-reload --full-speed "$program"
fi

# Shared by the tests on a real X server: starts Xvfb on a free display,
# exports DISPLAY with no SDL_VIDEODRIVER, so that the tools choose the X11
# driver themselves, and makes `work` a fresh folder. The server and the
# folder go when the test's shell exits. Sourced, not run.
work="$(mktemp -d)"
# -displayfd: the server takes a free display itself and names it, so that
# tests started together never race for one. -noreset: the server stays up
# between the tools, which connect one after the other.
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp -noreset 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
n="$(tr -dc 0-9 <"$work/display")"
[ -n "$n" ] || { echo "Xvfb named no display" >&2; exit 1; }
export DISPLAY=":$n"
# Under LeakSanitizer, Xlib's own allocations are not ours to free.
export LSAN_OPTIONS="suppressions=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
unset SDL_VIDEODRIVER

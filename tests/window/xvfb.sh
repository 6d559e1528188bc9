# Shared by the tests on a real X server: starts Xvfb on a free display,
# exports DISPLAY with no SDL_VIDEODRIVER, so that the tools choose the X11
# driver themselves, and makes `work` a fresh folder. The server and the
# folder go when the test's shell exits. Sourced, not run.
work="$(mktemp -d)"
n=50
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
# -noreset: the server stays up between the tools, which connect one after
# the other.
Xvfb ":$n" -screen 0 640x480x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
export DISPLAY=":$n"
# Under LeakSanitizer, Xlib's own allocations are not ours to free.
export LSAN_OPTIONS="suppressions=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
unset SDL_VIDEODRIVER

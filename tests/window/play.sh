#!/usr/bin/env bash
# zorvik-play in a real window (Xvfb), as a user meets it: each tap of a
# key, shorter than a frame, reaches a program that counts presses; a save
# that makes the program end at once keeps the window, titled as ended,
# with a note; the next save runs the new program; deleting the file gives
# a note, and the player runs the file once it is back; Ctrl-C ends it.
#   tests/window/play.sh ZORVIK_PLAY RUN_DIR
set -euo pipefail
play="$1" run_dir="$2"
source "$(dirname "$0")/xvfb.sh"
program="$work/p.zvs"
cp "$(dirname "$0")/presses.zvs" "$program"
(cd "$run_dir" && exec "$play" --scale 1 "$program" </dev/null >"$work/out" 2>"$work/err") &
player=$!

fail() {
    echo "$*; the player printed: $(cat "$work/out"); and said: $(cat "$work/err")" >&2
    exit 1
}
# lines TEXT: how many lines of the player's output are TEXT.
lines() { grep -cxF -- "$1" "$work/out" || true; }
# awaits COMMAND...: true once COMMAND succeeds, within 10 s.
awaits() {
    for _ in $(seq 100); do "$@" && return 0; sleep 0.1; done
    return 1
}
said() { grep -qxF -- "$1" "$work/err"; }
printed() { [ "$(lines "$1")" = "${2:-1}" ]; }
titled() { timeout 10 xdotool search --sync --name "$1" >/dev/null; }
# prints WORD: a program that prints WORD on a line and then refreshes.
prints() { printf 'lda #0\nldm "%s\\n"\nldx #0\nldy #%d\nint #1\nframe int #21\njmp frame\n' "$1" "${#1}"; }

titled '^Zorvik VM$' || fail "no window named 'Zorvik VM' appeared"
window="$(xdotool search --name '^Zorvik VM$' | head -1)"
# No window manager: the keys go to the window under the pointer.
xdotool mousemove --window "$window" 10 10
for _ in 1 2 3; do
    xdotool keydown a keyup a
    sleep 0.1
done
awaits printed a 3 || fail "3 taps of a reached the program $(lines a) times"
echo "3 taps of a key, each shorter than a frame, reached the program"

printf '; work in progress\n' >"$program"
awaits said "zorvik-play: $program ended with status 0; saving the program or F5 starts it again" ||
    fail "no note that the program ended"
titled "^Zorvik VM: $program ended\$" || fail "the window is not titled as ended"
kill -0 "$player" || fail "the player ended with the program"
echo "a program that ends at once keeps its window"

prints two >"$program"
awaits printed two || fail "the next save did not run"
titled '^Zorvik VM$' || fail "the window is still titled as ended"
rm "$program"
awaits said "zorvik-play: $program is gone (deleted or renamed); waiting for it to come back" ||
    fail "no note that the program is gone"
titled "^Zorvik VM: waiting for $program\$" || fail "the window is not titled as waiting"
prints three >"$program"
awaits printed three || fail "the program did not run once it was back"
echo "the next save runs the new program; a deleted one is awaited"

kill -INT "$player"
status=0
wait "$player" || status=$?
[ "$status" = 130 ] || fail "Ctrl-C ended the player with status $status"
changed="zorvik-play: $program changed; starting again"
expected="$changed
zorvik-play: $program ended with status 0; saving the program or F5 starts it again
$changed
zorvik-play: $program is gone (deleted or renamed); waiting for it to come back
$changed"
[ "$(cat "$work/err")" = "$expected" ] || fail "standard error is not the notes expected"
echo "Ctrl-C ends the player; standard error holds the notes and nothing else"

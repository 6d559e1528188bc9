#!/usr/bin/env bash
# F10 in zorvik-play on a real window (Xvfb), as a user keeps a run: a game
# that reads a name, moves a dot with the arrow keys and draws random
# blocks is played with keys sent by xdotool, paused and stepped, and kept
# twice. Both kept runs pass under zorvik-test; the second one's frame is
# the one zorvik-capture draws from its keys, seed and input; the first
# one's keys begin the second's; no player's key is among them.
#   tests/window/keep.sh ZORVIK_PLAY ZORVIK_TEST ZORVIK_CAPTURE RUN_DIR
set -euo pipefail
play="$1" ztest="$2" capture="$3" run_dir="$4"
source "$(dirname "$0")/xvfb.sh"
cp "$(dirname "$0")/keep.zvs" "$work/game.zvs"
printf 'hello\nworld\n' >"$work/name"
(cd "$run_dir" && exec "$play" --scale 1 "$work/game.zvs" <"$work/name" >"$work/out" 2>"$work/err") &
player=$!
trap 'kill "$player" "$xvfb" 2>/dev/null; wait 2>/dev/null || true; rm -rf "$work"; true' EXIT

fail() {
    echo "$*; the player said: $(cat "$work/err")" >&2
    exit 1
}
awaits() {
    for _ in $(seq 100); do "$@" && return 0; sleep 0.1; done
    return 1
}
kept() { [ "$(grep -c '^zorvik-play: kept the run so far' "$work/err")" = "$1" ]; }
# pixels PNG: the picture's colours, a pixel a line as RRGGBB, from the
# 8-bit palette pictures the tools write: two files of one frame may list
# their colours in another order.
pixels() {
    python3 -c '
import sys, zlib
data = open(sys.argv[1], "rb").read()
pos, idat, palette = 8, b"", []
while pos < len(data):
    size = int.from_bytes(data[pos:pos + 4], "big")
    kind, body = data[pos + 4:pos + 8], data[pos + 8:pos + 8 + size]
    if kind == b"IHDR":
        width, height = int.from_bytes(body[0:4], "big"), int.from_bytes(body[4:8], "big")
    elif kind == b"PLTE":
        palette = [body[i:i + 3].hex() for i in range(0, len(body), 3)]
    elif kind == b"IDAT":
        idat += body
    pos += size + 12
raw, rows, prior = zlib.decompress(idat), [], bytes(width)
for y in range(height):
    kind, line = raw[y * (width + 1)], bytearray(raw[y * (width + 1) + 1:(y + 1) * (width + 1)])
    for x in range(width):
        a, b, c = line[x - 1] if x else 0, prior[x], prior[x - 1] if x else 0
        p = a + b - c
        near = a if abs(p - a) <= abs(p - b) and abs(p - a) <= abs(p - c) else b if abs(p - b) <= abs(p - c) else c
        line[x] = (line[x] + [0, a, b, (a + b) // 2, near][kind]) & 255
    rows.append("\n".join(palette[v] for v in line))
    prior = line
print("\n".join(rows))
' "$1"
}

timeout 10 xdotool search --sync --name '^Zorvik VM$' >/dev/null || fail "no window named 'Zorvik VM' appeared"
window="$(xdotool search --name '^Zorvik VM$' | head -1)"
# No window manager: the keys go to the window under the pointer.
xdotool mousemove --window "$window" 10 10
sleep 0.3
xdotool keydown Right; sleep 0.3; xdotool keyup Right
xdotool keydown Up; sleep 0.2; xdotool keyup Up
xdotool key F10
awaits kept 1 || fail "F10 kept nothing"
# Keys while paused come after the frame the pause holds; F7 shows one more.
xdotool key F6; sleep 0.2
xdotool keydown Left; sleep 0.2
xdotool key F7; sleep 0.2
xdotool keyup Left; xdotool key F6
xdotool keydown Down; sleep 0.2; xdotool keyup Down
sleep 0.1
xdotool key F10
awaits kept 2 || fail "the second F10 kept nothing"
kill -0 "$player" || fail "the player ended"
kill -INT "$player"
wait "$player" || true
echo "F10 kept the run twice and the run went on"

cd "$work"
for n in 1 2; do
    for kind in test keys in out png; do
        [ -f "game-$n.$kind" ] || fail "no game-$n.$kind"
    done
    line="zorvik-play: kept the run so far (seed $(sed -n 's/^seed = //p' "game-$n.test"), $(sed -n 's/^stop-after-frame = //p' "game-$n.test") shown frames) as $work/game-$n.test, $work/game-$n.keys, $work/game-$n.in, $work/game-$n.out and $work/game-$n.png"
    grep -qxF -- "$line" err || fail "standard error does not say: $line"
done
[ "$(head -c 5 game-2.out)" = hello ] || fail "game-2.out does not begin with the name read: $(cat game-2.out)"
[ "$(cat game-1.in)" = hello ] || fail "game-1.in is not the bytes the program read: $(od -c game-1.in)"
grep -q '^program = game.zvs$' game-1.test || fail "game-1.test names no program: $(cat game-1.test)"
for key in right up left down; do
    grep -q ":$key:down\$" game-2.keys || fail "game-2.keys holds no $key: $(cat game-2.keys)"
done
! grep -qi ':f[0-9]*:' game-2.keys || fail "a player's key is in game-2.keys: $(cat game-2.keys)"
[ "$(head -n "$(wc -l <game-1.keys)" game-2.keys)" = "$(cat game-1.keys)" ] ||
    fail "game-1.keys does not begin game-2.keys"
echo "the kept files hold the run: its name read, its keys and no player's key"

report="$("$ztest" game-1.test game-2.test)" || fail "the kept runs do not pass: $report"
grep -q "^2 passed, 0 failed" <<<"$report" || fail "zorvik-test said: $report"
echo "both kept runs pass under zorvik-test"

seed="$(sed -n 's/^seed = //p' game-2.test)"
frame="$(sed -n 's/^stop-after-frame = //p' game-2.test)"
"$capture" --seed "$seed" --frames "$frame" --keys "$(paste -sd, game-2.keys)" game.zvs capture.png \
    <game-2.in >capture.out 2>/dev/null
[ "$(pixels capture.png | sort -u | wc -l)" -gt 4 ] || fail "capture.png could not be read as a palette picture"
[ "$(pixels capture.png)" = "$(pixels game-2.png)" ] || fail "zorvik-capture draws another frame from game-2's keys and seed"
cmp -s capture.out game-2.out || fail "zorvik-capture prints another output from game-2's keys and seed"
echo "zorvik-capture draws the second kept frame from its keys and seed"

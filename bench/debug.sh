#!/usr/bin/env bash
# The debugger's speed beside the machine's, on the counting loop: no stop,
# a conditional breakpoint that never fires, recording, and going back over
# the whole history. Each pair runs side by side, three times.
#   bench/debug.sh
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/setup.sh"

zorvik_install "${ZORVIK_PACKAGES[@]}"
release="$ZORVIK_ROOT/build/release"
zorvik_build "$release" Release -DZORVIK_TESTS=OFF
cmake --build "$release" -j2 --target zorvik_bench_reverse >/dev/null
export SDL_VIDEODRIVER=dummy
cd "$release/run"
work="$(mktemp -d)"
# The counting loop of count.zvs run 4 times, long enough to time well.
count="$work/count.zvs"
{
    printf '        lda #0\n        sta $51\ntop     lda #0\n'
    sed -n '/sta \$50/,$p' "$ZORVIK_ROOT/bench/count.zvs"
    printf '        lda $51\n        adc #1\n        sta $51\n        cmp #4\n        bne top\n'
} > "$count"
printf 'continue\n' > "$work/free"
printf 'break inner\ncondition 1 X == 1000\ncontinue\n' > "$work/cond"
printf 'record\ncontinue\n' > "$work/record"

seconds() {  # seconds COMMAND...: wall-clock time of one run
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1 </dev/null
    end=$(date +%s.%N)
    awk "BEGIN { print $end - $start }"
}

for round in 1 2 3; do
    machine=$(seconds ../zorvik "$count")
    free=$(seconds ../zorvik-debug --batch -x "$work/free" "$count")
    cond=$(seconds ../zorvik-debug --batch -x "$work/cond" "$count")
    record=$(seconds ../zorvik-debug --batch -x "$work/record" "$count")
    printf 'round %d: zorvik %.2f s; debugger %.2f s (%.2fx), conditional breakpoint %.2f s (%.2fx), ' \
        "$round" "$machine" "$free" "$(awk "BEGIN { print $machine / $free }")" "$cond" "$(awk "BEGIN { print $machine / $cond }")"
    printf 'recording %.2f s (%.2fx)\n' "$record" "$(awk "BEGIN { print $machine / $record }")"
done
"$release/zorvik_bench_reverse" "$count"
/usr/bin/time -f "peak resident size while recording 1,000,000 statements: %M KiB" \
    ../zorvik-debug --batch -x "$work/record" "$count" >/dev/null
rm -rf "$work"

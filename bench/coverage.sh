#!/usr/bin/env bash
# What counting costs: the long counting loop (about 500 million
# statements, subroutine calls among them) run by the plain machine, by
# zorvik-test, and by zorvik-test with coverage and with a profile. Prints
# one line per run: the best of five processor times (user and system, of
# the tool and its children, which a busy machine disturbs less than the
# wall clock), and its ratio to the plain machine's. Coverage is meant to
# stay within twice the plain run.
#   bench/coverage.sh [BUILD]   (default build/release, built here)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/setup.sh"

build="${1:-$ZORVIK_ROOT/build/release}"
if [ $# -eq 0 ]; then
    zorvik_install "${ZORVIK_PACKAGES[@]}"
    zorvik_build "$build" Release -DZORVIK_TESTS=OFF
fi
build="$(cd "$build" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# The program as a test: it prints nothing and ends by itself well within
# its limits.
cp "$ZORVIK_ROOT/bench/calls_long.zvs" "$work/bench.zvs"
: >"$work/bench.out"
printf 'seconds = 600\n' >"$work/bench.test"

export SDL_VIDEODRIVER=dummy
cd "$build/run"
# LABEL COMMAND...: the best of five processor times.
best() {
    local label="$1" best="" t
    shift
    for _ in 1 2 3 4 5; do
        t=$( { TIMEFORMAT='%U %S'; time "$@" >/dev/null 2>&1; } 2>&1 | awk '{ print $1 + $2 }')
        if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$t; fi
    done
    printf '%s %s\n' "$label" "$best"
}
plain=$(best plain "$build/zorvik" "$work/bench.zvs" | awk '{ print $NF }')
printf '%-28s %6.2f s  %5.2fx\n' "zorvik" "$plain" 1
while IFS='|' read -r label options; do
    # shellcheck disable=SC2086 # the options are words
    t=$(best "$label" "$build/zorvik-test" -j 1 $options "$work/bench.zvs" | awk '{ print $NF }')
    printf '%-28s %6.2f s  %5.2fx\n' "$label" "$t" "$(awk -v a="$t" -v b="$plain" 'BEGIN { print a / b }')"
done <<LIST
zorvik-test|
zorvik-test --coverage|--coverage $work/cov.info
zorvik-test --profile|--profile $work/prof.folded
LIST

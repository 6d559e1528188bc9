# Shared by the packaging tests: the man pages as a reader sees them, the
# options a page and a tool's --help name, and the report of failures.
# Sourced, not run.

ZORVIK_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
MAN_DIR="$ZORVIK_ROOT/packaging/man"
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# page_text PAGE: the rendered page, each paragraph on one line.
page_text() {
    groff -man -Tutf8 -rLL=2000n -P-cbou "$1" 2>/dev/null
}

# page_section PAGE NAME: the lines of the section NAME.
page_section() {
    page_text "$1" | awk -v name="$2" '/^[^ ]/ { inside = ($0 == name); next } inside'
}

# Prints the words of standard input that are options, one a line, with
# their brackets and punctuation taken off: "(-WNAME" gives -WNAME.
option_words() {
    tr -s ' \t' '\n\n' | sed -E 's/^[(\[]+//; s/[],;.)]+$//' | grep -E '^--?[A-Za-z][A-Za-z0-9=-]*$'
}

# page_options PAGE: the options that start the tags of its OPTIONS
# section ("-x FILE", "--debug, --debug=gfx"), sorted.
page_options() {
    page_section "$1" OPTIONS | awk '
        /^       -/ {
            for (i = 1; i <= NF; i++) {
                word = $i; more = sub(/,$/, "", word)
                if (word ~ /^--?[A-Za-z][A-Za-z0-9=-]*$/) print word
                if (!more) break
            }
        }' | sort -u
}

# help_options TOOL: every option that TOOL --help names, sorted.
help_options() {
    "$1" --help | option_words | sort -u
}

# same_set WHAT EXPECTED ACTUAL: EXPECTED and ACTUAL (lines) hold the same
# items; each difference is named.
same_set() {
    local what="$1" only
    only="$(comm -23 <(sort -u <<<"$2") <(sort -u <<<"$3") | grep . | tr '\n' ' ')"
    [ -z "$only" ] || fail "$what: missing $only"
    only="$(comm -13 <(sort -u <<<"$2") <(sort -u <<<"$3") | grep . | tr '\n' ' ')"
    [ -z "$only" ] || fail "$what: not expected $only"
}

finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures failure(s)" >&2
        exit 1
    fi
    echo "$1"
}

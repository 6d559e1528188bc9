#!/usr/bin/env bash
# The man pages of packaging/man against the tools they describe: each page
# renders without a warning and has every section; its options are exactly
# those of the tool's own --help (the option --help itself aside), and
# zorvik's are the two that its command line reads; zorvik-check's page
# quotes every warning as --list-warnings prints it.
#   tests/packaging/man_test.sh ZORVIK ZORVIK-CHECK ZORVIK-DEBUG ZORVIK-CAPTURE ZORVIK-LSP ZORVIK-PLAY ZORVIK-TEST
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/pages.sh"
declare -A bin=([zorvik]="$1" [zorvik-check]="$2" [zorvik-debug]="$3" [zorvik-capture]="$4" [zorvik-lsp]="$5"
                [zorvik-play]="$6" [zorvik-test]="$7")
export SDL_VIDEODRIVER=dummy
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

for tool in zorvik zorvik-check zorvik-debug zorvik-capture zorvik-lsp zorvik-play zorvik-test; do
    page="$MAN_DIR/$tool.1"
    [ -f "$page" ] || { fail "$tool: no page $page"; continue; }

    # What lintian runs, and groff with every warning.
    warnings="$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)"
    [ -z "$warnings" ] || fail "$tool.1: man --warnings says: $warnings"
    warnings="$(groff -ww -man -z "$page" 2>&1)"
    [ -z "$warnings" ] || fail "$tool.1: groff -ww says: $warnings"
    text="$(page_text "$page")"
    for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" FILES EXAMPLES "SEE ALSO"; do
        grep -qx "$section" <<<"$text" || fail "$tool.1: no section $section"
    done
    grep -q "^       $tool - " <<<"$(page_section "$page" NAME)" || fail "$tool.1: NAME is not '$tool - ...'"

    options="$(page_options "$page")"
    case $tool in
        zorvik)
            # No --help: the options are the ones src/main.cpp compares the
            # second argument with, and each makes the run print its dumps.
            same_set "zorvik.1 against src/main.cpp" \
                "$(grep -o 'argv\[2\], "[^"]*"' "$ZORVIK_ROOT/src/main.cpp" | cut -d'"' -f2)" "$options"
            printf '        lda #7\n        sta $10\n' >"$work/p.zvs"
            for option in "" $options; do
                out="$(cd "$work" && "${bin[zorvik]}" p.zvs $option 2>/dev/null </dev/null)"
                case "$option:$out" in
                    :*"MEMORY MAP:"*) fail "zorvik p.zvs prints the dumps without an option" ;;
                    -*:*"MEMORY MAP:"*) ;;
                    -*) fail "zorvik p.zvs $option prints no dumps" ;;
                esac
            done
            ;;
        zorvik-lsp)
            # Its --help is one line, which names no option: the page quotes
            # it, and the tool takes each option of the page.
            line="$("${bin[$tool]}" --help)"
            grep -qxF "$line" <<<"$(sed 's/^ *//' <<<"$text")" || fail "zorvik-lsp.1 does not quote its --help: $line"
            [ -z "$(option_words <<<"$line")" ] || fail "zorvik-lsp --help names options now: compare them as for the others"
            for option in $options; do
                "${bin[$tool]}" "$option" </dev/null >/dev/null 2>&1
                [ $? -ne 2 ] || fail "zorvik-lsp refuses the option $option of its page"
            done
            "${bin[$tool]}" --no-such-option </dev/null >/dev/null 2>&1
            [ $? -eq 2 ] || fail "zorvik-lsp takes any option, so the test above proves nothing"
            ;;
        *)
            "${bin[$tool]}" --help >/dev/null || fail "$tool --help failed"
            same_set "$tool.1 against $tool --help" "$(help_options "${bin[$tool]}")" "$(grep -vx -- --help <<<"$options")"
            grep -qx -- --help <<<"$options" || fail "$tool.1 does not name --help"
            ;;
    esac
done

# zorvik-check.1 names every warning, with what --list-warnings says of it.
list="$("${bin[zorvik-check]}" --list-warnings)"
warnings="$(page_section "$MAN_DIR/zorvik-check.1" WARNINGS)"
same_set "the warnings of zorvik-check.1 against --list-warnings" \
    "$(awk '{ print $1 }' <<<"$list")" "$(sed -n 's/^       \([a-z][-a-z]*\).*/\1/p' <<<"$warnings")"
flat="$(tr -s ' \n' '  ' <<<"$warnings")"
while read -r name summary; do
    grep -qF " $name $summary " <<<"$flat " || fail "zorvik-check.1 does not say of $name: $summary"
done <<<"$list"

finish "the man pages render cleanly and name exactly the tools' options and warnings"

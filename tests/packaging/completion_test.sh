#!/usr/bin/env bash
# The bash completion of packaging/completion in Debian's bash-completion,
# on the built tools: each command name is bound; options complete to
# exactly those of the tool's man page (zorvik's only in second place),
# programs to .zvs files and folders (zorvik-test's paths to .test files,
# zorvik-play's to PNGs too), option values and the other arguments to what they take.
#   tests/packaging/completion_test.sh ZORVIK ZORVIK-CHECK ZORVIK-DEBUG ZORVIK-CAPTURE ZORVIK-LSP ZORVIK-PLAY ZORVIK-TEST
# Not under set -u: bash-completion's functions read unset variables.
set -o pipefail
source "$(dirname "${BASH_SOURCE[0]}")/pages.sh"
declare -A bin=([zorvik]="$1" [zorvik-check]="$2" [zorvik-debug]="$3" [zorvik-capture]="$4" [zorvik-lsp]="$5"
                [zorvik-play]="$6" [zorvik-test]="$7")
source /usr/share/bash-completion/bash_completion || { echo "FAIL: no bash-completion" >&2; exit 1; }
source "$ZORVIK_ROOT/packaging/completion/zorvik.bash"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work" && mkdir sub && touch a.zvs UP.ZVS b.txt c.png d.gif k.test
programs=$'a.zvs\nUP.ZVS\nsub'
tests=$'a.zvs\nUP.ZVS\nk.test\nsub'
pictures=$'c.png\nd.gif\nsub'
playable=$'a.zvs\nUP.ZVS\nc.png\nsub'
files=$'a.zvs\nUP.ZVS\nb.txt\nc.png\nd.gif\nk.test\nsub'

# completions TOOL WORD...: what TAB offers at the end of "TOOL WORD...",
# one a line. The words are split as bash splits them, at "=" too, and the
# tool is the built one, whose --help the completion reads.
completions() {
    local tool="$1" word function
    shift
    COMP_LINE="${bin[$tool]} $*"
    COMP_POINT=${#COMP_LINE}
    COMP_WORDS=("${bin[$tool]}")
    for word in "$@"; do
        if [[ $word == *=* ]]; then
            COMP_WORDS+=("${word%%=*}" "=")
            [ -z "${word#*=}" ] || COMP_WORDS+=("${word#*=}")
        else
            COMP_WORDS+=("$word")
        fi
    done
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    function="$(complete -p "$tool" 2>/dev/null | sed -n 's/.* -F \([^ ]*\) .*/\1/p')"
    [ -n "$function" ] || { fail "no completion is bound to $tool"; return; }
    "$function" "$tool" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}"
}

# offers EXPECTED TOOL WORD...: TAB after "TOOL WORD..." offers EXPECTED.
offers() {
    local expected="$1"
    shift
    same_set "TAB after '$*'" "$expected" "$(completions "$@")"
}

# Options: those of each page, -WNAME and -Wno-NAME as one of each for
# every warning that zorvik-check --list-warnings names.
for tool in zorvik-check zorvik-debug zorvik-capture zorvik-lsp zorvik-play zorvik-test; do
    options="$(page_options "$MAN_DIR/$tool.1")"
    if [ "$tool" = zorvik-check ]; then
        names="$("${bin[$tool]}" --list-warnings | awk '{ print $1 }')"
        options="$(grep -vx -e -WNAME -e -Wno-NAME <<<"$options"; sed 's/^/-W/' <<<"$names"; sed 's/^/-Wno-/' <<<"$names")"
        offers "$(grep '^-Wno-' <<<"$options")" zorvik-check -Wno-
    fi
    offers "$options" "$tool" -
done
offers "$(page_options "$MAN_DIR/zorvik.1")" zorvik a.zvs -
offers gfx zorvik a.zvs --debug=
offers gfx zorvik-capture --debug=

# Programs, then what follows them.
offers "$programs" zorvik ""
offers "" zorvik -
offers "" zorvik a.zvs --debug ""
offers "$programs" zorvik-check ""
offers "$programs" zorvik-check -Werror a.zvs ""
offers "" zorvik-check -- -
offers "$tests" zorvik-debug ""
offers "$tests" zorvik-debug -x b.txt --history 5 --seed 3 ""
offers "" zorvik-debug a.zvs ""
offers "$programs" zorvik-capture ""
offers "$pictures" zorvik-capture a.zvs ""
offers "$pictures" zorvik-capture --frames 90 a.zvs ""
offers "$pictures" zorvik-capture --frames=90 --debug a.zvs ""
offers "" zorvik-capture a.zvs c.png ""
offers "$playable" zorvik-play --scale 2 --full-speed ""
offers "" zorvik-play a.zvs ""
offers "$tests" zorvik-test ""
offers "$tests" zorvik-test a.zvs --tap ""

# Option values: file names for a FILE, nothing for a number or a script.
offers "$files" zorvik-debug -x ""
offers "$files" zorvik-debug --input ""
offers "" zorvik-debug --history ""
offers "" zorvik-capture --keys ""
offers "$files" zorvik-capture --input ""
offers "" zorvik-capture --frames=
offers "" zorvik-play --fps ""
offers "$files" zorvik-test --coverage ""
offers sub zorvik-test --artifacts ""
offers "" zorvik-test --jobs ""

finish "the bash completion offers each tool's options, programs and values"

# Bash completion for the Zorvik VM tools: zorvik, zorvik-check,
# zorvik-debug, zorvik-capture, zorvik-lsp, zorvik-play and zorvik-test. This one file is
# installed under each command's name, where bash-completion loads it from.
#
# zorvik-check, zorvik-debug, zorvik-capture, zorvik-play and zorvik-test
# are asked for their options (their --help) when TAB is pressed, so the
# completion follows the tool that is run: an option that --help shows with
# a FILE after it completes file names, one with a DIR folders, one with
# another value (N, SCRIPT) completes nothing. Programs complete as .zvs
# files and folders, and zorvik-debug's and zorvik-test's also as .test
# files.

# _zorvik_help TOOL: one line for each option that TOOL --help names: the
# option, then the name of its value when it takes one ("-x FILE",
# "--batch"). A line of --help that starts with options names them all,
# separated by commas ("--debug, --debug=gfx   run in that debug mode").
# bash-completion's _parse_help takes only the first option of a line and
# cuts "--debug=gfx" to "--debug=", so the tools' usage is read here.
_zorvik_help()
{
    local line i
    local -a field
    LC_ALL=C "$1" --help 2>/dev/null | while read -r line; do
        [[ $line == -?* ]] || continue
        read -ra field <<<"$line"
        for ((i = 0; i < ${#field[@]}; i++)); do
            [[ ${field[i]} == -?* ]] || break
            if [[ ${field[i]} == *, ]]; then
                printf '%s\n' "${field[i]%,}"
            elif [[ ${field[i + 1]-} =~ ^[A-Z]+$ ]]; then
                printf '%s %s\n' "${field[i]}" "${field[i + 1]}"
                break
            else
                printf '%s\n' "${field[i]}"
                break
            fi
        done
    done
}

_zorvik()
{
    local cur prev words cword split
    _init_completion -s || return

    local tool=${words[0]##*/}
    local -a options

    case $tool in
        zorvik)
            # zorvik [SOURCE [--debug | --debug=gfx]]: the machine has no
            # --help, and its option counts only right after the source.
            options=(--debug --debug=gfx)
            if ((cword == 1)); then
                _filedir zvs
            elif ((cword == 2)); then
                _zorvik_complete_options
            fi
            return
            ;;
        zorvik-lsp)
            # Its --help is one line that names no option.
            options=(--stdio --help --version)
            [[ $cur == -* ]] && _zorvik_complete_options
            return
            ;;
    esac

    # The options of the tool's --help, and the value each one takes.
    local -A value_of=()
    local option value warning
    local tool_path
    tool_path=$(dequote "${words[0]}")
    while read -r option value; do
        if [[ $option == -Wno-NAME ]]; then
            # zorvik-check: "-Wno-NAME ... (-WNAME turns it back on)", for
            # every NAME that --list-warnings prints.
            while read -r warning _; do
                options+=("-W$warning" "-Wno-$warning")
            done < <(LC_ALL=C "$tool_path" --list-warnings 2>/dev/null)
            continue
        fi
        options+=("$option")
        [[ $value ]] && value_of[$option]=$value
    done < <(_zorvik_help "$tool_path")
    options+=(--help)

    # The value of an option: file names for a FILE, folders for a DIR,
    # nothing for the rest.
    if [[ ${value_of[$prev]+set} ]]; then
        case ${value_of[$prev]} in
            FILE) _filedir ;;
            DIR) _filedir -d ;;
        esac
        return
    fi
    if [[ $split == true ]]; then
        _zorvik_complete_options
        return
    fi

    # The arguments before this one that are no option or option value.
    local i plain=0 options_done=false
    for ((i = 1; i < cword; i++)); do
        if $options_done || [[ ${words[i]} != -?* ]]; then
            ((plain++))
        elif [[ ${words[i]} == -- && $tool == zorvik-check ]]; then
            options_done=true
        elif [[ ${value_of[${words[i]}]+set} ]]; then
            ((i++))
        fi
    done

    if [[ $cur == -* ]] && ! $options_done; then
        _zorvik_complete_options
        return
    fi
    case $tool in
        zorvik-check) _filedir zvs ;;                    # FILE...
        zorvik-debug) ((plain == 0)) && _filedir '@(zvs|test)' ;;  # SOURCE or NAME.test
        zorvik-play) ((plain == 0)) && _filedir '@(zvs|png)' ;;  # PROGRAM.zvs or SHOT.png
        zorvik-test) _filedir '@(zvs|test)' ;;           # PATH...
        zorvik-capture)                                  # SOURCE OUT.png|OUT.gif
            case $plain in
                0) _filedir zvs ;;
                1) _filedir '@(png|gif)' ;;
            esac
            ;;
    esac
}

# Completes $cur from the array options. After "--debug=" (prev and cur
# split at the "=") the values are those of the options written that way.
_zorvik_complete_options()
{
    if [[ $split == true ]]; then
        local option values=()
        for option in "${options[@]}"; do
            [[ $option == "$prev="* ]] && values+=("${option#*=}")
        done
        COMPREPLY=($(compgen -W '${values[@]}' -- "$cur"))
    else
        COMPREPLY=($(compgen -W '${options[@]}' -- "$cur"))
    fi
}

complete -F _zorvik zorvik zorvik-check zorvik-debug zorvik-capture zorvik-lsp zorvik-play zorvik-test

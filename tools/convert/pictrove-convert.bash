# bash completion for pictrove-convert
# The options and the row texts are asked of the converter itself (--help,
# --list-formats), so this file needs no change when either grows.

_pictrove_convert_tool()
{
    local tool=${COMP_WORDS[0]}
    tool=${tool/#\~/$HOME}
    if [[ $tool != */* ]] || [[ ! -x $tool ]]; then
        tool=$(type -P pictrove-convert) || return 1
    fi
    printf '%s\n' "$tool"
}

# The option words of the usage text, each followed by "=" when it takes a
# value: "-f, --format ROW" gives "-f=" and "--format=".
_pictrove_convert_options()
{
    "$1" --help 2>/dev/null | awk '
        /^[ \t]+-/ {
            line = $0
            sub(/^[ \t]+/, "", line)
            sub(/  +.*$/, "", line)  # the description
            n = split(line, parts, /, /)
            # "-f, --format ROW": the value name stands once, after the last.
            value = (parts[n] ~ / [A-Z]+$/) ? "=" : ""
            for (i = 1; i <= n; i++) {
                split(parts[i], words, / /)
                print words[1] value
            }
        }'
}

_pictrove_convert()
{
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    COMPREPLY=()
    local tool
    tool=$(_pictrove_convert_tool) || tool=
    [[ -n $tool ]] || { compopt -o default 2>/dev/null; return 0; }

    local option takesValue=
    while IFS= read -r option; do
        [[ $option == "$prev=" ]] && takesValue=1
    done < <(_pictrove_convert_options "$tool")

    if [[ -n $takesValue ]]; then
        case $prev in
        -f | --format)
            # Row texts hold spaces: each is offered quoted as the word
            # begins, or with its spaces escaped.
            local quote= typed=$cur
            if [[ $cur == [\"\']* ]]; then
                quote=${cur:0:1}
                typed=${cur:1}
            fi
            typed=${typed//\\ / }
            local index text extension
            while IFS=$'\t' read -r index text extension; do
                [[ $text == "$typed"* ]] || continue
                if [[ -n $quote ]]; then
                    COMPREPLY+=("$quote$text$quote")
                else
                    COMPREPLY+=("$(printf '%q' "$text")")
                fi
            done < <("$tool" --list-formats 2>/dev/null)
            ;;
        -o | --output)
            compopt -o filenames 2>/dev/null
            local IFS=$'\n'
            COMPREPLY=($(compgen -d -- "$cur"))
            ;;
        esac
        return 0
    fi

    if [[ $cur == -* ]]; then
        local words=()
        while IFS= read -r option; do
            words+=("${option%=}")
        done < <(_pictrove_convert_options "$tool")
        COMPREPLY=($(compgen -W "${words[*]}" -- "$cur"))
        return 0
    fi

    # Inputs: pictures and picture lists, and folders on the way to them.
    compopt -o filenames 2>/dev/null
    local IFS=$'\n'
    COMPREPLY=($(compgen -f -- "$cur"))
}

complete -F _pictrove_convert pictrove-convert

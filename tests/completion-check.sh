#!/usr/bin/env bash
# Drives the bash completion of pictrove-convert as bash would on a Tab,
# against the built converter: options, row texts, folders, file names.
# Usage: completion-check.sh <completion-file> <bin-folder> <work-folder>
set -u
completion="$1"
bin="$2"
work="$3"
rm -rf "$work" && mkdir -p "$work/out dir" "$work/pics"
: >"$work/pics/holiday 1.jpg"
: >"$work/pics/holiday 2.png"
# shellcheck source=/dev/null
source "$completion"
fail=0

# complete_words WORD... : COMPREPLY for the last word, one a line.
complete_words()
{
    COMP_WORDS=("$bin/pictrove-convert" "$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _pictrove_convert
    printf '%s\n' "${COMPREPLY[@]}"
}

expect()
{
    local what="$1" got="$2" want="$3"
    if [[ "$got" == "$want" ]]; then
        echo "ok   $what"
    else
        echo "FAIL $what"; echo "  got:  $(printf '%q' "$got")"; echo "  want: $(printf '%q' "$want")"
        fail=1
    fi
}

expect "options" "$(complete_words --fo)" "--format"
all_options=$(complete_words -)
for option in -f --format -o --output --list-formats --strip-metadata -j --jobs -q --help --version; do
    grep -qx -- "$option" <<<"$all_options" || { echo "FAIL option $option missing"; fail=1; }
done

# Row texts, the same as --list-formats says, escaped or quoted.
rows=$("$bin/pictrove-convert" --list-formats | cut -f2)
expect "every row after -f" "$(complete_words -f '' | while IFS= read -r w; do eval "printf '%s\n' $w"; done)" "$rows"
expect "rows by prefix" "$(complete_words --format GIF-25)" 'GIF-256\ Colors'
expect "rows in quotes" "$(complete_words -f '"JPEG - C')" '"JPEG - Custom Quality .."'
expect "rows after an escaped space" "$(complete_words -f 'JPEG\ -\ G')" 'JPEG\ -\ Good\ Quality'

# Folders after -o, files elsewhere; a value-less option does not swallow
# the next word.
expect "folders after -o" "$(complete_words -o "$work/ou")" "$work/out dir"
expect "no pictures after -o" "$(complete_words -o "$work/pics/h")" ""
expect "file names" "$(complete_words -o "$work" --overwrite "$work/pics/holiday" | sort)" \
    "$(printf '%s\n' "$work/pics/holiday 1.jpg" "$work/pics/holiday 2.png")"
expect "nothing offered for a number" "$(complete_words -j '')" ""
exit $fail

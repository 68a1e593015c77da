#!/usr/bin/env bash
# The man page and the bash completion against the program they describe:
# the options `ulvex SUB --help` lists are the ones the page's section for
# SUB documents and the ones the completion offers after "SUB -"; every
# option the page names elsewhere is one of the program's; the page formats
# without a warning; a few completions run for real in this bash.
#   docs_in_step.sh ULVEX MANPAGE COMPLETION
set -euo pipefail
ulvex=$1 page=$2 completion=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0 checks=0
check() { # check WHAT EXPECTED ACTUAL
    checks=$((checks + 1))
    if [ "$2" != "$3" ]; then
        printf 'FAIL %s\n  expected: %s\n  actual:   %s\n' "$1" "$2" "$3"
        failures=$((failures + 1))
    fi
}
words() { tr ' ' '\n' | sed '/^$/d' | LC_ALL=C sort -u | paste -sd' '; }

# The options of `ulvex [SUB] --help`: the first column of its Options.
help_options() {
    "$ulvex" ${1:+"$1"} --help | sed -n '/^Options:/,$p' | grep -oE '^  -[^ ]+' | tr ',' ' ' | words
}
# The options roff text names, spelled with \- as options are; font
# changes and zero-width escapes dropped first.
page_options() {
    sed -e 's/\\f[BIRP]//g' -e 's/\\&//g' |
        grep -oP '(?<![A-Za-z0-9/.\\-])\\-(\\-)?[a-z](\\-|[a-z0-9])*(?![A-Za-z0-9])' |
        sed 's/\\-/-/g' | tr '\n' ' ' | words || true
}
# The lines from the heading TITLE to the next heading.
section() { awk -v title="$1" '/^\.S[HS]/ { inside = ($0 == title); next } inside' "$page"; }

# shellcheck source=/dev/null
source "$completion"
check "completion registered" "complete -F _ulvex ulvex" "$(complete -p ulvex)"
complete_line() { # the replies for the words given, the last being completed
    COMP_WORDS=("$ulvex" "$@")
    COMP_CWORD=$#
    COMPREPLY=()
    _ulvex
    printf '%s ' "${COMPREPLY[@]}" | words
}

# -h and --help are documented once, in the page's COMMANDS part.
common=$(help_options "" | tr ' ' '\n' | grep -v -e '--version' | paste -sd' ')
all=""
for sub in "" flash verify read targets ports; do
    expected=$(help_options "$sub")
    all="$all $expected"
    if [ -z "$sub" ]; then
        documented=$(section ".SH COMMANDS" | page_options)
    else
        documented=$(echo "$common $(section ".SS \"ulvex $sub\"" | page_options)" | words)
    fi
    check "man page, ulvex $sub" "$expected" "$documented"
    check "completion, ulvex $sub -" "$expected" "$(complete_line ${sub:+"$sub"} -)"
done
# Anywhere else on the page; in EXAMPLES, ulvex's own command lines only.
named=$(awk '/^\.SH/ { examples = ($0 == ".SH EXAMPLES") } !examples || /^ulvex /' "$page" |
    page_options)
check "man page, options unknown to --help" "" \
    "$(comm -13 <(echo "$all" | tr ' ' '\n' | LC_ALL=C sort -u) <(echo "$named" | tr ' ' '\n') |
        paste -sd' ')"
check "groff warnings" "" "$(groff -man -ww -z "$page" 2>&1)"

# Completions run for real: words typed | replies.
touch "$scratch/jobs.json" "$scratch/image.hex"
mkdir "$scratch/logs"
rows=(
    "fl|flash"
    "flash --b|--base --baud --bus"
    "flash -t kolt-a-int-|kolt-a-int-12m288 kolt-a-int-9m216"
    "read -t 1|1 10 11 12 13 14 15 16 17 18 19"
    "verify --bus = s|single"
    "verify --format s|srec"
    "flash --jobs $scratch/j|$scratch/jobs.json"
    "flash --log-dir $scratch/|$scratch/logs"
)
for row in "${rows[@]}"; do
    read -ra typed <<<"${row%%|*}"
    check "ulvex ${row%%|*}" "${row#*|}" "$(complete_line "${typed[@]}")"
done

echo "docs in step: $checks checks, $failures failures"
[ "$failures" -eq 0 ]

# Bash completion for ulvex: subcommands, their options, target names and
# numbers (asked of the program itself, so that they never go stale), the
# serial ports of this machine, files and directories. Plain bash: it needs
# none of bash-completion's helpers.

# The program as typed, so that build/ulvex/ulvex completes from itself.
_ulvex_program() {
    local program=${COMP_WORDS[0]}
    [[ $program == "~/"* ]] && program=$HOME/${program#"~/"}
    printf '%s\n' "$program"
}

# Each target type's number and name, from the table of `ulvex targets`.
_ulvex_targets() {
    "$(_ulvex_program)" targets 2>/dev/null | awk 'NR > 1 { print $1; print $2 }'
}

# The rates -b offers, from `ulvex targets --json`.
_ulvex_rates() {
    "$(_ulvex_program)" targets --json 2>/dev/null |
        awk '/"working_rates"/ { inside = 1; next } inside && /]/ { inside = 0 }
             inside { gsub(/[ ,]/, ""); print }' | sort -nu
}

# The serial ports whose paths start with $1.
_ulvex_serial_ports() {
    local pattern port
    for pattern in '/dev/ttyUSB*' '/dev/ttyACM*' '/dev/ttyS*' '/dev/serial/by-id/*'; do
        while IFS= read -r port; do
            [[ $port == "$1"* ]] && printf '%s\n' "$port"
        done < <(compgen -G "$pattern")
    done
}

# Replies from the lines of standard input that start with $1.
_ulvex_reply() {
    local line
    COMPREPLY=()
    while IFS= read -r line; do
        [[ -n $line && $line == "$1"* ]] && COMPREPLY+=("$line")
    done
}

# Paths: files and directories (-f), or directories only (-d).
_ulvex_paths() {
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen "$1" -- "$2")
}

_ulvex() {
    local cur=${COMP_WORDS[COMP_CWORD]} option="" command="" i
    if ((COMP_CWORD > 0)); then
        option=${COMP_WORDS[COMP_CWORD - 1]}
    fi
    # --option=value arrives as three words: --option, "=" and the value.
    if [[ $cur == "=" ]]; then
        cur=""
    elif [[ $option == "=" ]] && ((COMP_CWORD > 1)); then
        option=${COMP_WORDS[COMP_CWORD - 2]}
    fi
    for ((i = 1; i < COMP_CWORD; i++)); do
        if [[ ${COMP_WORDS[i]} != -* ]]; then
            command=${COMP_WORDS[i]}
            break
        fi
    done

    local options
    case $command in
        "")
            if [[ $cur == -* ]]; then
                _ulvex_reply "$cur" <<<$'-h\n--help\n--version'
            else
                _ulvex_reply "$cur" <<<$'targets\nports\nflash\nverify\nread'
            fi
            return
            ;;
        flash) options="-h --help -p --port -t --target --format --base --jobs -b --baud --bus --dtr
            --rts --json --quiet --log-dir --keep-going" ;;
        verify) options="-h --help -p --port -t --target -b --baud --bus --dtr --rts --json
            --format --base" ;;
        read) options="-h --help -o --output -p --port --words -t --target -b --baud --bus --dtr
            --rts --json" ;;
        targets | ports) options="-h --help --json" ;;
        *) return ;;
    esac

    # The value of the option before the cursor.
    case $option in
        -p | --port)
            # The serial ports that match, else files (a board's link).
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(_ulvex_serial_ports "$cur")
            ((${#COMPREPLY[@]} > 0)) || _ulvex_paths -f "$cur"
            return
            ;;
        -t | --target)
            _ulvex_reply "$cur" < <(_ulvex_targets)
            return
            ;;
        -b | --baud)
            _ulvex_reply "$cur" < <(_ulvex_rates)
            return
            ;;
        --bus)
            _ulvex_reply "$cur" <<<$'duplex\nsingle'
            return
            ;;
        --format)
            _ulvex_reply "$cur" <<<$'hex\nelf\nsrec\nbin'
            return
            ;;
        --base)
            COMPREPLY=() # an address
            return
            ;;
        --jobs | -o | --output)
            _ulvex_paths -f "$cur"
            return
            ;;
        --log-dir)
            _ulvex_paths -d "$cur"
            return
            ;;
    esac

    if [[ $cur == -* ]]; then
        _ulvex_reply "$cur" < <(printf '%s\n' $options)
    elif [[ $command == flash || $command == verify ]]; then
        _ulvex_paths -f "$cur" # IMAGE
    else
        COMPREPLY=()
    fi
}

complete -F _ulvex ulvex

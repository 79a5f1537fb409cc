# SPDX-License-Identifier: MIT
# bash completion for vantrel-cli. The commands and their options are read from the program's own
# help (vantrel-cli --help, vantrel-cli COMMAND --help), so a new command or option completes
# without a change here. An option's value completes from its value name: FILE completes file
# names, a|b|c offers a, b and c (--grade, --supply, --prefer, --format, --transport); plan's
# arguments complete to the output names.

_vantrel_cli_commands() {
    "$1" --help 2>/dev/null | sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p'
}

# One line per option of a command: "NAMES VALUE", e.g. "-o,--output FILE" or "--write -".
_vantrel_cli_options() {
    "$1" "$2" --help 2>/dev/null | sed -n '/^Options:/,/^$/{
        s/^  \(-[^ ,]*\(, -[^ ,]*\)*\)\( <\([^>]*\)>\)\{0,1\} .*/\1 \4/p
        s/^  \(-[^ ,]*\(, -[^ ,]*\)*\)\( <\([^>]*\)>\)\{0,1\}$/\1 \4/p
    }' | sed 's/, /,/g; s/ $/ -/'
}

_vantrel_cli() {
    local program="${COMP_WORDS[0]}" cur="${COMP_WORDS[COMP_CWORD]}"
    local prev="" command="" i
    [ "$COMP_CWORD" -gt 0 ] && prev="${COMP_WORDS[COMP_CWORD - 1]}"
    for ((i = 1; i < COMP_CWORD; i++)); do
        if [[ "${COMP_WORDS[i]}" != -* ]]; then
            command="${COMP_WORDS[i]}"
            break
        fi
    done
    COMPREPLY=()

    if [ -z "$command" ]; then
        local words
        words="$(_vantrel_cli_commands "$program") --help --version"
        mapfile -t COMPREPLY < <(compgen -W "$words" -- "$cur")
        return 0
    fi

    local options names value line name
    options="$(_vantrel_cli_options "$program" "$command")"
    # The value of the option before the cursor.
    while read -r names value; do
        IFS=, read -ra name <<<"$names"
        for i in "${name[@]}"; do
            [ "$i" = "$prev" ] || continue
            case "$value" in
                -) ;;
                FILE) compopt -o filenames 2>/dev/null
                      mapfile -t COMPREPLY < <(compgen -f -- "$cur")
                      return 0 ;;
                *'|'*) mapfile -t COMPREPLY < <(compgen -W "${value//|/ }" -- "$cur")
                       return 0 ;;
                *) return 0 ;;
            esac
        done
    done <<<"$options"

    if [[ "$cur" == -* ]]; then
        local words=""
        while read -r names value; do
            line="${names//,/ }"
            words+=" $line"
        done <<<"$options"
        mapfile -t COMPREPLY < <(compgen -W "$words" -- "$cur")
        return 0
    fi
    # plan's arguments are OUTPUT=FREQ: the output names not named yet, the frequency typed
    # after them.
    if [ "$command" = plan ]; then
        local outputs="" output named
        for output in LCLK1 LCLK2 LCLK3 LCLK4 CLK5 CLK6; do
            named=0
            for ((i = 1; i < COMP_CWORD; i++)); do
                [[ "${COMP_WORDS[i]^^}" == "$output="* ]] && named=1
            done
            [ "$named" = 0 ] && outputs+=" $output="
        done
        compopt -o nospace 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -W "$outputs" -- "$cur")
        return 0
    fi
    # Other positional arguments are register files.
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
    return 0
}
complete -F _vantrel_cli vantrel-cli

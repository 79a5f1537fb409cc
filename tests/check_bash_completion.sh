#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The bash completion of vantrel-cli offers the commands, each command's options as its help lists
# them, the choices of an option's value and file names where a file is wanted.
#   bash tests/check_bash_completion.sh packaging/completions/vantrel-cli.bash build/vantrel-cli
set -uo pipefail
completion="$1"
program="$2"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
touch "$scratch/board.cy22150.bin" "$scratch/other.txt"

# shellcheck source=/dev/null
source "$completion"
failures=0

# complete WORDS... : the completion for the last word, sorted, on one line.
complete_words() {
    COMP_WORDS=("$program" "$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _vantrel_cli
    printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//'
}

expect() {
    local wanted="$1"
    shift
    local got
    got="$(complete_words "$@")"
    if [ "$got" != "$wanted" ]; then
        echo "FAIL: vantrel-cli $* <TAB> offered \"$got\", not \"$wanted\""
        failures=$((failures + 1))
    fi
}

expect "--help --version check diff export get list plan read set show solve write" ""
expect "set show solve" "s"
expect "--version" "--v"
expect "--prefer" "solve" "--pr"
expect "both f1 f2 none" "solve" "--ref" "10000000" "--prefer" ""
expect "f1 f2" "solve" "--prefer" "f"
expect "json" "export" "$scratch/board.cy22150.bin" "--format" "j"
expect "" "solve" "--ref" ""
expect "--help --json" "list" "--"
expect "--address --all --board-load --bus --device --driven --extended --grade --help --json --output --ref --supply --transport" "read" "--"
expect "--address --all --board-load --bus --device --driven --extended --grade --help --json --output --ref --supply --transport -h -o" "read" "-"
expect "auto i2c-dev usb" "write" "--transport" ""
expect "i2c-dev" "plan" "--transport" "i"
expect "$scratch/board.cy22150.bin" "read" "-o" "$scratch/b"
expect "$scratch/board.cy22150.bin" "show" "--json" "$scratch/b"
expect "$scratch/board.cy22150.bin $scratch/other.txt" "write" "$scratch/"
expect "commercial industrial" "check" "--grade" ""
expect "industrial" "solve" "--grade" "i"
expect "2.5 3.3" "plan" "--supply" ""
expect "CLK5= CLK6= LCLK1= LCLK2= LCLK3= LCLK4=" "plan" "--ref" "10M" ""
expect "LCLK2= LCLK3= LCLK4=" "plan" "--ref" "10M" "lclk1=25M" "LCLK"
expect "$scratch/board.cy22150.bin" "diff" "$scratch/b"
# --transport, where the commands take it, offers its choices.
if "$program" read --help | grep -q -- "--transport"; then
    expect "auto i2c-dev usb" "read" "--transport" ""
fi

# Every option that a command's help lists is offered after "--".
for command in $(_vantrel_cli_commands "$program"); do
    offered=" $(complete_words "$command" "--") "
    for option in $("$program" "$command" --help | grep -o -- '--[a-z0-9-]*' | sort -u); do
        if [[ "$offered" != *" $option "* ]]; then
            echo "FAIL: vantrel-cli $command -- <TAB> does not offer $option"
            failures=$((failures + 1))
        fi
    done
done

if [ "$failures" -gt 0 ]; then
    echo "$failures completion checks failed"
    exit 1
fi
echo "bash completion: all checks passed"

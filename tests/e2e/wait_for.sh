# SPDX-License-Identifier: MIT
# Sourced by the end-to-end scripts: waits, within a number of seconds, until a command succeeds or
# a log file has a line that matches.
until_true() {  # seconds, command...
    local deadline=$((SECONDS + $1))
    shift
    until "$@" >/dev/null 2>&1; do
        [ $SECONDS -lt $deadline ] || return 1
        sleep 0.02
    done
}
wait_for() {  # seconds, file, extended regex
    until_true "$1" grep -qE "$3" "$2"
}

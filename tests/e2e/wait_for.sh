# SPDX-License-Identifier: MIT
# Sourced by the end-to-end scripts: waits until a log file has a line that matches.
wait_for() {  # seconds, file, extended regex
    local deadline=$((SECONDS + $1))
    until grep -qE "$3" "$2" 2>/dev/null; do
        [ $SECONDS -lt $deadline ] || return 1
        sleep 0.1
    done
}

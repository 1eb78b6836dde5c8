# SPDX-License-Identifier: MIT
# Sourced by the bridge tests: reads the service's transcript ($log) from a mark on, as a board
# saw it (time and connection number cut off).
#   set_mark               the lines so far are old
#   since_mark             the lines after the mark
#   wait_for SECONDS RE    until a line after the mark matches the extended regex
#   last_fields KIND       the fields of the last KIND message after the mark, one per line
mark=0
set_mark() { mark=$(wc -l <"$log"); }
since_mark() { tail -n +$((mark + 1)) "$log" 2>/dev/null | sed -E 's/^[^ ]+ #[0-9]+ //'; }
wait_for() {
    local deadline=$((SECONDS + $1))
    until since_mark | grep -qE "$2"; do
        [ $SECONDS -lt $deadline ] || return 1
        sleep 0.1
    done
}
last_fields() { since_mark | grep -E "^> MSG cdjr $1\[" | tail -n 1 | python3 -c '
import sys
line = sys.stdin.read().rstrip("\n")
body = line[line.index("[") + 2:].removesuffix("\"]")
print("\n".join(body.split("\",\"")))'; }

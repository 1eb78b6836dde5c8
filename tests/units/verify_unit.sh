#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks a unit file as systemd would load it: the programs its Exec lines name by their bare
# names are pointed at the build's (each one must be run there, as the command or as an argument:
# systemd checks only a command, not a program handed to it as cage's is), and
# "systemd-analyze verify" must pass without a word: it reports a misspelt setting as a warning
# and still ends with status 0. Manual pages are not looked up, as the build installs none.
#   verify_unit.sh UNIT_FILE [NAME=PATH]...
set -euo pipefail
unit=$1
shift
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-unit.XXXXXX")
trap 'rm -rf "$work"' EXIT
copy="$work/$(basename "$unit")"
cp "$unit" "$copy"
for pair in "$@"; do
    name=${pair%%=*} path=${pair#*=}
    [ -x "$path" ] || { echo "FAIL: $path is no program"; exit 1; }
    # The name as a whole word of an ExecStart line: its command or an argument.
    sed -i -E "/^Exec/ s#(^[^=]*=|[[:space:]])$name([[:space:]]|\$)#\\1$path\\2#g" "$copy"
    grep -qE "^Exec.*[= ]$path( |\$)" "$copy" || { echo "FAIL: $unit does not run $name"; exit 1; }
done
report=$(systemd-analyze verify --man=no "$copy" 2>&1) && status=0 || status=$?
if [ "$status" != 0 ] || [ -n "$report" ]; then
    echo "FAIL: systemd-analyze verify $unit (status $status):"
    echo "$report"
    exit 1
fi
echo "$(basename "$unit"): verified"

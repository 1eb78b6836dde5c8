#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the fuzz targets (preset `fuzz`) and runs each for SECONDS (default 30) over a scratch
# copy of its seeds in fuzz/corpus/<name>/ plus fresh input. Any crash, leak, hang or sanitizer
# report fails the run; the input that caused it is kept in build/fuzz/artifacts/.
# Usage: scripts/fuzz.sh [seconds] [name...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
shift || true

scripts/deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target velmora_fuzzers

bin=build/fuzz/fuzz
artifacts=build/fuzz/artifacts
mkdir -p "$artifacts"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export QT_QPA_PLATFORM=offscreen

# A contained target's crash is ours when the first frame past the sanitizer runtime and the C and
# C++ runtime libraries lies in this project's own sources rather than in a third-party library.
ours_at_fault() {
  local frame
  frame=$(timeout 120 "$1" "$2" 2>&1 | grep -E '^ +#[0-9]+ ' |
    grep -vE ' in (__interceptor_|__asan|__sanitizer|__ubsan)|/(libc|libm|libstdc\+\+|ld-linux[^/]*)\.so' |
    head -n 1) || true
  if [[ "$frame" == *"$PWD/"* ]]; then
    echo "Our own code at fault for $2:"
    echo "$frame"
    return 0
  fi
  return 1
}

names=("$@")
((${#names[@]})) || mapfile -t names <"$bin/fuzzers.txt"

failed=()
summary=()
for name in "${names[@]}"; do
  corpus="$scratch/$name"
  mkdir -p "$corpus"
  [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$corpus/"
  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
           -artifact_prefix="$artifacts/$name-")
  [ -f "fuzz/$name.dict" ] && options+=(-dict="fuzz/$name.dict")
  # A target's own flags (fuzz/<name>.flags): the metafile helper's libraries fail within seconds,
  # which is why the board runs them in a contained process; there the run goes on past them.
  [ -f "fuzz/$name.flags" ] && read -ra extra <"fuzz/$name.flags" && options+=("${extra[@]}")
  echo "== $name: ${seconds}s"
  log="$scratch/$name.log"
  touch "$scratch/start"
  "$bin/${name}_fuzz" "${options[@]}" "$corpus" >"$log" 2>&1 && status=0 || status=$?
  if [ -f "fuzz/$name.flags" ]; then
    # Forked runs exit with whatever their last child did, so judge them by their findings instead.
    status=0
    grep -q "^INFO: exiting:" "$log" || { status=1; tail -n 30 "$log"; }
    while IFS= read -r -d '' input; do
      ours_at_fault "$bin/${name}_fuzz" "$input" && status=1
    done < <(find "$artifacts" -name "$name-crash-*" -newer "$scratch/start" -print0)
  fi
  if ((status == 0)); then
    result=ok
  else
    result=FAILED
    failed+=("$name")
    grep -E "ERROR|SUMMARY|Test unit written" "$log" || tail -n 30 "$log"
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  note=""
  # A forked run's last status line: "#RUNS: ... oom/timeout/crash: O/T/C ...".
  if [ -z "$runs" ] && status_line=$(grep -E '^#[0-9]+: cov:' "$log" | tail -n 1); then
    runs=$(sed -E 's/^#([0-9]+):.*/\1/' <<<"$status_line")
    rate=$((runs / seconds))
    note="  contained in libraries (oom/timeout/crash): $(sed -E 's/.*crash: ([0-9/]+).*/\1/' <<<"$status_line")"
  fi
  summary+=("$(printf '%-18s %-7s %10s runs %8s/s' "$name" "$result" "${runs:-?}" "${rate:-?}")$note")
done

printf '%s\n' "${summary[@]}"
if ((${#failed[@]})); then
  echo "Fuzzing found faults in: ${failed[*]} (inputs in $artifacts/)" >&2
  exit 1
fi

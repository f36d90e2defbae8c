#!/bin/bash
# Runs every libFuzzer target in turn, SECONDS each, from its committed corpus:
#   fuzz/run.sh SECONDS [TARGET...]        (default: every fuzz/*Fuzzer.cpp, in name order)
# Afterwards the corpus and the new inputs are minimised together (greedy set cover of the code
# edges they reach, hit counts aside, which keeps the corpus small) into fuzz/corpus/TARGET/:
# the named seeds always stay, inputs named by their SHA-1 are the fuzzer's and stay only while
# they add coverage. Commit that folder afterwards. Crashes, hangs and leaks are kept in
# FUZZ_BUILD/findings/TARGET/. Prints executions, corpus growth and findings per target and
# exits 1 when any target found something. FUZZ_BUILD names the build tree (default build/fuzz,
# clang with libFuzzer); run it niced on a shared machine: nice -n 19 fuzz/run.sh 900
set -euo pipefail
export LC_ALL=C
root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD:-$root/build/fuzz}

if [ $# -lt 1 ] || ! [[ $1 =~ ^[0-9]+$ ]] || [ "$1" -eq 0 ]; then
  echo "usage: fuzz/run.sh SECONDS [TARGET...]   (SECONDS for each target)" >&2
  exit 2
fi
seconds=$1
shift
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in "$root"/fuzz/*Fuzzer.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi

if [ ! -f "$build/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target "${targets[@]}" -j2 >/dev/null

summary=()
found_any=0
for target in "${targets[@]}"; do
  corpus=$root/fuzz/corpus/$target
  findings=$build/findings/$target
  work=$(mktemp -d)
  mkdir -p "$corpus" "$findings"
  before=$(find "$corpus" -type f | wc -l)
  found_before=$(find "$findings" -type f | wc -l)
  echo "== $target: ${seconds}s from $before corpus inputs"
  # New inputs go to the scratch folder first; the corpus stays as committed until the merge.
  set +e
  "$build/fuzz/$target" -max_total_time="$seconds" -timeout=30 -print_final_stats=1 \
    -artifact_prefix="$findings/" "$work" "$corpus" 2>"$work.log"
  status=$?
  set -e
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work.log" | tail -1)
  grep -E '^(==[0-9]+==ERROR|SUMMARY|artifact_prefix|Test unit written)' "$work.log" || true
  mkdir "$work.min"
  if "$build/fuzz/$target" -set_cover_merge=1 -use_counters=0 -timeout=30 "$work.min" "$corpus" "$work" >"$work.merge.log" 2>&1; then
    find "$corpus" -type f -regextype egrep -regex '.*/[0-9a-f]{40}' -delete
    find "$work.min" -type f -regextype egrep -regex '.*/[0-9a-f]{40}' -exec cp -n {} "$corpus/" \;
  else
    echo "merge failed; corpus left as it was:" && tail -5 "$work.merge.log"
  fi
  after=$(find "$corpus" -type f | wc -l)
  artifacts=$(($(find "$findings" -type f | wc -l) - found_before))
  if [ "$status" -ne 0 ] && [ "$artifacts" -eq 0 ]; then artifacts=1; fi
  [ "$artifacts" -gt 0 ] && found_any=1
  summary+=("$(printf '%-26s %12s %8s %9s' "$target" "${executions:-?}" "$(printf '%+d' $((after - before)))" "$artifacts")")
  rm -rf "$work" "$work.min" "$work.log" "$work.merge.log"
done

printf '\n%-26s %12s %8s %9s\n' target executions corpus findings
printf '%s\n' "${summary[@]}"
[ "$found_any" -eq 0 ] || echo "findings: $build/findings/"
exit "$found_any"

#!/usr/bin/env bash
# Builds the libFuzzer targets with clang++ (in build-fuzz/) and runs each for
# a bounded time, starting from the committed corpus in fuzz/corpus/<target>/.
#
#   fuzz/run.sh [SECONDS_PER_TARGET] [TARGET ...]     (default: 60 s, all targets)
#
# Inputs found along the way stay in build-fuzz/corpus/<target>/. Afterwards the
# ones that reach code the committed corpus does not are merged into it (edge
# coverage only, so it stays small). A crash, a failed check or a time-out is
# saved under build-fuzz/crashes/<target>/; the script then ends with status 1.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_split fuzz_gene_sets fuzz_gene_list fuzz_options fuzz_analysis fuzz_gzip fuzz_large_sets fuzz_lists)

build=build-fuzz
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUORIN_FUZZ=ON -DQUORIN_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target "${targets[@]}" >/dev/null

status=0
for t in "${targets[@]}"; do
  work=$build/corpus/$t
  crashes=$build/crashes/$t
  keep=fuzz/corpus/$t
  log=$build/$t.log
  mkdir -p "$work" "$crashes" "$keep"
  # -close_fd_mask=3: the program's own messages would flood the terminal.
  if "$build/fuzz/$t" "$work" "$keep" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 \
      -close_fd_mask=3 -artifact_prefix="$crashes/" -print_final_stats=1 >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    before=$(ls "$keep" | wc -l)
    "$build/fuzz/$t" -merge=1 -use_counters=0 "$keep" "$work" -close_fd_mask=3 >>"$log" 2>&1
    echo "$t: ${runs:-?} runs, no problem; corpus $before -> $(ls "$keep" | wc -l) files"
  else
    echo "$t: PROBLEM FOUND: see $log and $crashes/"
    status=1
  fi
done
exit $status

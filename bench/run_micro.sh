#!/usr/bin/env bash
# Builds and runs the micro-benchmarks, keeps their JSON output and prints the
# side-by-side ratios. Extra arguments go to the benchmark binary, e.g.
#   bench/run_micro.sh --benchmark_filter='pass/'
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-bench
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUORIN_BENCH=ON -DQUORIN_TESTS=OFF >/dev/null
fi
cmake --build "$build" -j2 --target quorin_micro >/dev/null
mkdir -p bench/results
"$build/bench/quorin_micro" --benchmark_out=bench/results/micro.json --benchmark_out_format=json "$@"
python3 bench/summarize.py bench/results/micro.json

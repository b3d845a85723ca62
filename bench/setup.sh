# Sourced by the bench/run_*.sh scripts, from the project's top folder: where
# the benchmark build, the workloads and the results live, and the two steps
# each script starts with.
build="$(pwd)/build-bench"
data="$(pwd)/bench/data"
out="$(pwd)/bench/results"
quorin="$build/quorin"

# build_targets TARGET...: a release build of the named targets.
build_targets() {
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUORIN_BENCH=ON -DQUORIN_TESTS=OFF >/dev/null
  cmake --build "$build" -j2 --target "$@" >/dev/null
}

# need_workloads FILE...: makes the workload files that are missing.
need_workloads() {
  for f in "$@"; do
    [ -f "$data/$f" ] || python3 bench/make_workload.py "$data" --only "$f" >/dev/null
  done
  mkdir -p "$out"
}

#!/usr/bin/env bash
# CPU time of the wide workload (one gene list, -t 1), with and without -p,
# side by side with older binaries: the runs of all binaries alternated, the
# least user + system time of RUNS kept for each, and the ratio of each
# older binary's to this one's. Checks that all write the same table. With
# CALLGRIND=1 also counts each binary's instructions once (valgrind).
#
# usage: OLD=path/to/old/quorin [MAIN=path/to/another/quorin] RUNS=15 bench/run_wide.sh
#        CALLGRIND=1 ...            instruction counts too (a minute or two each)
#        QUORIN=path/to/quorin      (default: the benchmark build)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/setup.sh
runs=${RUNS:-15}
if [ -n "${QUORIN:-}" ]; then quorin=$QUORIN; else build_targets quorin; fi
need_workloads list.txt wide.bed
binaries=("new=$quorin")
[ -n "${OLD:-}" ] && binaries+=("old=$OLD")
[ -n "${MAIN:-}" ] && binaries+=("main=$MAIN")

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)" >&2
printf '%-4s %-5s %8s %10s %14s\n' case name cpu_s ratio instructions
for p in "" -p; do
  declare -A best=()
  for ((r = 0; r < runs; r++)); do
    for b in "${binaries[@]}"; do
      name=${b%%=*} bin=${b#*=}
      /usr/bin/time -f '%U %S' -o "$out/wide_$name.time" "$bin" -s "$data/wide.bed" -i "$data/list.txt" -t 1 $p \
        >"$out/wide_$name.tsv"
      cpu=$(awk '{ printf "%.2f", $1 + $2 }' "$out/wide_$name.time")
      best[$name]=$(awk -v a="$cpu" -v b="${best[$name]:-}" 'BEGIN { print (b == "" || a < b) ? a : b }')
    done
    for b in "${binaries[@]}"; do
      cmp "$out/wide_new.tsv" "$out/wide_${b%%=*}.tsv" >/dev/null || echo "WARNING: ${b%%=*} wrote another table" >&2
    done
  done
  for b in "${binaries[@]}"; do
    name=${b%%=*} bin=${b#*=}
    count=-
    if [ "${CALLGRIND:-0}" = 1 ]; then
      count=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null "$bin" -s "$data/wide.bed" -i "$data/list.txt" \
        -t 1 $p 2>&1 >/dev/null | awk '/Collected/ { print $NF }')
    fi
    printf '%-4s %-5s %8s %10s %14s\n' "${p:-0.5}" "$name" "${best[$name]}" \
      "$(awk -v a="${best[$name]}" -v b="${best[new]}" 'BEGIN { printf "%.2f", a / b }')" "$count"
  done
  unset best
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)" >&2

#!/usr/bin/env bash
# CPU time of --null=moments against the normal p-value on the wide and large
# workloads, with and without -p, at -w 1 and -w 3 (where the moments also
# read the tail's shape off the fourth moment): each pair of runs back to back, so that both
# see much the same load, the least user + system time of RUNS (default 3)
# kept; then the ratios (aims: 1.5 at one PP value, 3 with -p).
#
# usage: bench/run_null.sh          (RUNS=5 bench/run_null.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/setup.sh
runs=${RUNS:-3}
build_targets quorin
need_workloads list.txt wide.bed large.bed

cpu() {  # cpu SECONDS_FILE COMMAND...: user + system seconds of one run
  local file=$1
  shift
  /usr/bin/time -f '%U %S' -o "$file" "$@" >/dev/null
  awk '{ printf "%.2f", $1 + $2 }' "$file"
}

printf '%-8s %-3s %-4s %8s %8s %6s\n' workload -w pp normal_s moments_s ratio
for w in wide large; do
  for weight in 1 3; do
  for p in "" -p; do
    best_n="" best_m=""
    for ((k = 0; k < runs; k++)); do
      n=$(cpu "$out/null_normal.time" "$quorin" -s "$data/$w.bed" -i "$data/list.txt" $p -w $weight -t 1)
      m=$(cpu "$out/null_moments.time" "$quorin" -s "$data/$w.bed" -i "$data/list.txt" $p -w $weight -t 1 --null=moments)
      best_n=$(awk -v a="$n" -v b="$best_n" 'BEGIN { print (b == "" || a < b) ? a : b }')
      best_m=$(awk -v a="$m" -v b="$best_m" 'BEGIN { print (b == "" || a < b) ? a : b }')
    done
    printf '%-8s %-3s %-4s %8s %8s %6.2f\n' "$w" "$weight" "${p:-0.5}" "$best_n" "$best_m" "$(awk -v a="$best_m" -v b="$best_n" 'BEGIN { print a / b }')"
  done
  done
done

#!/usr/bin/env bash
# What --report costs on the "wide" workload (10 000 sets of 15 to 300 genes):
# the same run with and without the report, alternated so that both see the
# same load, RUNS runs each (fastest wall and CPU time, mean CPU time, peak
# memory), and the size of the page.
#
# usage: bench/run_report.sh        (RUNS=7 bench/run_report.sh for steadier figures)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/setup.sh
runs=${RUNS:-5}
build_targets quorin
need_workloads list.txt wide.bed

# one NAME COMMAND...: appends "NAME wall cpu peak_mb" of one run to $out/report_runs.txt.
one() {
  local name=$1
  shift
  /usr/bin/time -f "$name %e %U %S %M" -o "$out/report.time" "$@" >"$out/report_$name.stdout"
  awk '{ printf "%s %.2f %.2f %.0f\n", $1, $2, $3 + $4, $5 / 1024 }' "$out/report.time" >>"$out/report_runs.txt"
}

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)" >&2
: >"$out/report_runs.txt"
for ((k = 0; k < runs; k++)); do
  for p in "" "-p"; do
    tag=${p:+_p}
    one "plain$tag" "$quorin" -s "$data/wide.bed" -i "$data/list.txt" -t 2 $p
    one "report$tag" "$quorin" -s "$data/wide.bed" -i "$data/list.txt" -t 2 $p --report="$out/wide$tag.html"
  done
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)" >&2
cmp -s "$out/report_plain.stdout" "$out/report_report.stdout" || { echo "the table differs with --report" >&2; exit 1; }

# CPU time (user + system) is the steadier measure on a shared machine; the
# wall time of a run depends on whatever else runs.
awk -v size="$(stat -c %s "$out/wide.html")" -v size_p="$(stat -c %s "$out/wide_p.html")" '
  { if (!($1 in wall) || $2 < wall[$1]) wall[$1] = $2
    if (!($1 in cpu) || $3 < cpu[$1]) cpu[$1] = $3
    sum[$1] += $3; n[$1]++
    if ($4 > mem[$1]) mem[$1] = $4 }
  END {
    printf "%-10s %8s %8s %9s %8s\n", "case", "wall_min", "cpu_min", "cpu_mean", "peak_mb"
    split("plain report plain_p report_p", names, " ")
    for (i = 1; i <= 4; i++) { k = names[i]; mean[k] = sum[k] / n[k]
      printf "%-10s %8.2f %8.2f %9.2f %8d\n", k, wall[k], cpu[k], mean[k], mem[k] }
    printf "\n-t 2:    report / plain: cpu min %.3f, cpu mean %.3f, wall min %.3f; page %.2f MB\n",
      cpu["report"] / cpu["plain"], mean["report"] / mean["plain"], wall["report"] / wall["plain"], size / 1e6
    printf "-t 2 -p: report / plain: cpu min %.3f, cpu mean %.3f, wall min %.3f; page %.2f MB\n",
      cpu["report_p"] / cpu["plain_p"], mean["report_p"] / mean["plain_p"], wall["report_p"] / wall["plain_p"], size_p / 1e6
  }' "$out/report_runs.txt"

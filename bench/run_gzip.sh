#!/usr/bin/env bash
# Times reading the large workload plain, gzip-compressed (one member) and
# BGZF-compressed, side by side in one run: the two readers alone in process
# (quorin_read) and a whole run whose gene list pairs nothing (wall time, and
# user + system CPU time, which other load on the machine disturbs less), all
# on -t 2, the runs of the three forms taken in turn, the fastest of $RUNS kept.
#
# usage: bench/run_gzip.sh            (RUNS=9 bench/run_gzip.sh for a busy machine)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/setup.sh
runs=${RUNS:-5}
build_targets quorin quorin_read
need_workloads list.txt nomatch.txt large.bed
# The compressed copies, at zlib's default level 6, as gzip and bgzip write them.
if [ ! -f "$data/large.bed.gz" ] || [ ! -f "$data/large.bed.bgz" ]; then
  python3 - "$data/large.bed" <<'PY'
import os, sys
sys.path.insert(0, os.path.join("tests", "e2e"))
import compress
path = sys.argv[1]
text = open(path, "rb").read()
for suffix, make in ((".gz", compress.member), (".bgz", compress.bgzf)):
    with open(path + suffix + ".part", "wb") as f:
        f.write(make(text))
    os.replace(path + suffix + ".part", path + suffix)
PY
fi
reader="$build/bench/quorin_read"

# Every run's output must be the plain file's.
"$quorin" -s "$data/large.bed" -i "$data/list.txt" -t 2 >"$out/gzip_plain.table"
for form in large.bed.gz large.bed.bgz; do
  "$quorin" -s "$data/$form" -i "$data/list.txt" -t 2 | cmp - "$out/gzip_plain.table"
done

declare -A best_read best_run best_cpu
# keep_min ARRAY KEY VALUE
keep_min() {
  local -n a=$1
  if [ -z "${a[$2]:-}" ] || awk -v x="$3" -v y="${a[$2]}" 'BEGIN { exit !(x < y) }'; then a[$2]=$3; fi
}
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)" >&2
for ((k = 0; k < runs; k++)); do
  for form in large.bed large.bed.gz large.bed.bgz; do
    s=$("$reader" "$data/$form" "$data/nomatch.txt" 2 | awk '$1 == "read_gene_sets_s" { print $2 }')
    /usr/bin/time -f '%e %U %S' -o "$out/gzip_run.time" \
      "$quorin" -s "$data/$form" -i "$data/nomatch.txt" -p -t 2 >/dev/null
    read -r w u sy <"$out/gzip_run.time"
    keep_min best_read "$form" "$s"
    keep_min best_run "$form" "$w"
    keep_min best_cpu "$form" "$(echo "$u + $sy" | bc)"
  done
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)" >&2

printf '%-14s %8s %9s %7s %11s %7s %11s %7s\n' form file_mb reader_s ratio run_wall_s ratio run_cpu_s ratio
for form in large.bed large.bed.gz large.bed.bgz; do
  mb=$(stat -c %s "$data/$form" | awk '{ printf "%.1f", $1 / 1048576 }')
  printf '%-14s %8s %9.3f %6.2fx %11.2f %6.2fx %11.2f %6.2fx\n' "$form" "$mb" \
    "${best_read[$form]}" "$(echo "${best_read[$form]} / ${best_read[large.bed]}" | bc -l)" \
    "${best_run[$form]}" "$(echo "${best_run[$form]} / ${best_run[large.bed]}" | bc -l)" \
    "${best_cpu[$form]}" "$(echo "${best_cpu[$form]} / ${best_cpu[large.bed]}" | bc -l)"
done

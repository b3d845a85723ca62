#!/usr/bin/env bash
# Peak resident memory per gene-set line: whole runs (-t 2, the default
# analysis) on the large, wide and s100k workloads, and on three files of many
# distinct gene names (ids250k, unique2m, unique5m: their genes pair with nothing); the peak RSS
# that /usr/bin/time reports, less the size of the gene-set file (which the
# reader held whole until it read a file on disk a block at a time; still taken
# off, so that the figures compare with the earlier ones), divided by the
# file's lines. The last row is a --lists run on a
# matrix of 5 000 x 5 000 empty fields (empty5k) with one set of 20 000 genes (one20k): the
# peak less the size of the matrix file, divided by its fields (the "lines"
# column gives their number). With OLD=path/to/older/quorin, that
# binary too, each of its runs right after one of the new, and the two tables
# compared.
#
# usage: bench/run_memory.sh             (the s100k workload is made on first use: about 380 MB)
#        OLD=path/to/older/quorin bench/run_memory.sh
#        WORKLOADS="unique5m empty5k" bench/run_memory.sh    (only these rows)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/setup.sh
build_targets quorin
workloads=${WORKLOADS:-large wide s100k ids250k unique2m unique5m empty5k}
for w in $workloads; do
  if [ "$w" = empty5k ]; then need_workloads empty5k.txt one20k.bed; else need_workloads list.txt "$w.bed"; fi
done

table="$out/memory.tsv"
printf 'binary\tworkload\tlines\tfile_mb\tpeak_rss_mb\tbytes_per_line\twall_s\tcpu_s\n' >"$table"

# measure LABEL BINARY WORKLOAD: one run, one line of the table.
measure() {
  local label=$1 bin=$2 w=$3
  local file="$data/$w.bed" lines
  if [ "$w" = empty5k ]; then
    file="$data/$w.txt"
    /usr/bin/time -f '%M %e %U %S' -o "$out/memory.time" "$bin" -s "$data/one20k.bed" --lists "$file" -t 2 \
      -o "$out/memory_${label}_$w.txt" >/dev/null
    lines=$((5000 * 5000))
  else
    /usr/bin/time -f '%M %e %U %S' -o "$out/memory.time" "$bin" -s "$file" -i "$data/list.txt" -t 2 \
      -o "$out/memory_${label}_$w.txt" >/dev/null
    lines=$(wc -l <"$file")
  fi
  local bytes
  bytes=$(stat -c %s "$file")
  read -r kb wall user sys <"$out/memory.time"
  awk -v l="$label" -v w="$w" -v lines="$lines" -v bytes="$bytes" -v kb="$kb" -v wall="$wall" -v user="$user" -v sys="$sys" '
    BEGIN {
      printf "%s\t%s\t%d\t%.0f\t%.0f\t%.1f\t%.2f\t%.2f\n", l, w, lines, bytes / 1048576, kb / 1024,
        (kb * 1024 - bytes) / lines, wall, user + sys
    }' >>"$table"
}

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)" >&2
for w in $workloads; do
  measure new "$quorin" "$w"
  if [ -n "${OLD:-}" ]; then
    measure old "$OLD" "$w"
    cmp -s "$out/memory_new_$w.txt" "$out/memory_old_$w.txt" || echo "WARNING: $w: table differs from $OLD" >&2
  fi
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)" >&2
column -t -s $'\t' "$table"

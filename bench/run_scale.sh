#!/usr/bin/env bash
# Many rankings, side by side with an older binary: --lists runs of the first
# 2 000 sets of the wide collection against N rankings of the 20 000 genes of
# list.txt (noisy copies, 5 % of the genes missing in each), the old and the
# new binary taken in turn. Prints CPU (user + system), wall time and peak
# RSS of each run, checks that both write the same bytes, and the size of
# the matrix file.
#
# usage: OLD=path/to/older/quorin N=600 THREADS=1 RUNS=2 bench/run_scale.sh
#        DETAIL=1 also writes the detail file (-d)
#        QUORIN=path/to/quorin (default: the benchmark build)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/setup.sh
n=${N:-600}
threads=${THREADS:-1}
runs=${RUNS:-1}
sets=${SETS:-2000}
if [ -n "${QUORIN:-}" ]; then quorin=$QUORIN; else build_targets quorin; fi
need_workloads list.txt wide.bed
out="$out/scale"
mkdir -p "$out"
matrix="$data/matrix$n.txt"
[ -f "$matrix" ] || python3 - "$data/list.txt" "$matrix" "$n" <<'PY'
import random, sys
genes = [l.split("\t") for l in open(sys.argv[1]).read().splitlines()]
n = int(sys.argv[3])
rng = random.Random(5)
cols = [["%.3f" % (float(v) + rng.gauss(0, 1)) if rng.random() > 0.05 else "NA" for _, v in genes] for _ in range(n)]
with open(sys.argv[2], "w") as f:
    f.write("gene\t" + "\t".join("R%04d" % k for k in range(n)) + "\n")
    for i, (g, _) in enumerate(genes):
        f.write(g + "\t" + "\t".join(c[i] for c in cols) + "\n")
PY
bed="$data/wide$sets.bed"
[ -f "$bed" ] || awk -F'\t' -v m="$sets" '{ split($4, p, ";"); if (p[1] != last) { k++; last = p[1] } if (k > m) exit; print }' \
  "$data/wide.bed" >"$bed"
# run NAME BINARY: one timed run; prints name, CPU s, wall s, peak RSS MB.
run() {
  local detail=()
  [ "${DETAIL:-0}" = 1 ] && detail=(-d "$out/$1.detail")
  /usr/bin/time -f '%U %S %e %M' -o "$out/$1.time" "$2" -s "$bed" --lists="$matrix" -t "$threads" "${detail[@]}" \
    >"$out/$1.tsv"
  awk -v name="$1" '{ printf "%s\t%.2f\t%.2f\t%.0f\n", name, $1 + $2, $3, $4 / 1024 }' "$out/$1.time"
}
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)" >&2
printf 'run\tcpu_s\twall_s\tpeak_rss_mb\n'
for ((r = 0; r < runs; r++)); do
  run new "$quorin"
  if [ -n "${OLD:-}" ]; then
    run old "$OLD"
    cmp "$out/new.tsv" "$out/old.tsv" || echo "WARNING: tables differ" >&2
    [ "${DETAIL:-0}" = 1 ] && { cmp "$out/new.detail" "$out/old.detail" || echo "WARNING: detail differs" >&2; }
  fi
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)" >&2
echo "matrix: $n rankings, $(($(stat -c %s "$matrix") / 1048576)) MB of text; sets: $sets"

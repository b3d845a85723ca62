#!/usr/bin/env bash
# Many rankings: one --lists run against one run per ranking, on the wide
# gene-set collection and N rankings of the 20 000 genes of list.txt (each a
# noisy copy, some genes missing), same thread count.
#
# usage: N=200 THREADS=2 bench/run_lists.sh
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/setup.sh
n=${N:-200}
threads=${THREADS:-2}
build_targets quorin
need_workloads list.txt wide.bed
out="$out/lists"
mkdir -p "$out"
python3 - "$data/list.txt" "$out" "$n" <<'PY'
import random, sys
genes = [l.split("\t") for l in open(sys.argv[1]).read().splitlines()]
out, n = sys.argv[2], int(sys.argv[3])
rng = random.Random(5)
cols = [["%.3f" % (float(v) + rng.gauss(0, 1)) if rng.random() > 0.05 else "NA" for _, v in genes] for _ in range(n)]
with open(out + "/matrix.txt", "w") as f:
    f.write("gene\t" + "\t".join("R%03d" % k for k in range(n)) + "\n")
    for i, (g, _) in enumerate(genes):
        f.write(g + "\t" + "\t".join(c[i] for c in cols) + "\n")
for k, c in enumerate(cols):
    with open(out + "/R%03d.txt" % k, "w") as f:
        f.writelines("%s\t%s\n" % (g, v) for (g, _), v in zip(genes, c) if v != "NA")
PY
start=$(date +%s.%N)
"$quorin" -s "$data/wide.bed" --lists="$out/matrix.txt" -t "$threads" >"$out/lists.tsv"
one=$(echo "$(date +%s.%N) - $start" | bc)
start=$(date +%s.%N)
for ((k = 0; k < n; k++)); do
  "$quorin" -s "$data/wide.bed" -i "$out/R$(printf %03d $k).txt" -t "$threads" >"$out/R$(printf %03d $k).tsv"
done
many=$(echo "$(date +%s.%N) - $start" | bc)
printf 'rankings %d, -t %s: one --lists run %.1f s, %d separate runs %.1f s, ratio %.2f\n' \
  "$n" "$threads" "$one" "$n" "$many" "$(echo "$many / $one" | bc -l)"

#!/usr/bin/env bash
# Times whole runs of quorin on the generated workloads: wall time, CPU time
# and peak resident memory from /usr/bin/time -v, then the ratios that matter
# (-t 2 against -t 1, reading against the whole run).
#
# usage: bench/run_whole.sh            (RUNS=3 bench/run_whole.sh keeps the fastest of 3)
#        OLD=path/to/older/quorin bench/run_whole.sh   also times that binary on the -p cases
#        and prints the share of sets whose -p tests needed one pair pass
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/setup.sh
runs=${RUNS:-1}
build_targets quorin quorin_read quorin_choice
need_workloads list.txt nomatch.txt large.bed wide.bed read2m.bed one20k.bed

reader="$build/bench/quorin_read"
table="$out/whole.tsv"
printf 'case\twall_s\tuser_s\tsys_s\tpeak_rss_mb\n' >"$table"

# time_case NAME COMMAND...: the fastest of $runs runs, with its CPU and memory.
time_case() {
  local name=$1
  shift
  local best="" k
  for ((k = 0; k < runs; k++)); do
    # Wall time to the microsecond from the shell's clock: time's own is in
    # hundredths, too coarse for a ratio of runs a quarter of a second long.
    local started=$EPOCHREALTIME
    /usr/bin/time -v -o "$out/$name.time" "$@" >"$out/$name.stdout"
    local wall
    wall=$(awk -v a="$started" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.3f", b - a }')
    local line
    line=$(awk -F': ' -v w="$wall" '
      /User time/ { u = $2 }
      /System time/ { s = $2 }
      /Maximum resident set size/ { m = $2 / 1024 }
      END { printf "%s\t%.2f\t%.2f\t%.0f", w, u, s, m }' "$out/$name.time")
    if [ -z "$best" ] || awk -v a="${line%%$'\t'*}" -v b="${best%%$'\t'*}" 'BEGIN { exit !(a < b) }'; then
      best=$line
    fi
  done
  printf '%s\t%s\n' "$name" "$best" >>"$table"
}

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)" >&2
# -t 1 and -t 2 one after the other, round by round, so that both see much
# the same state of the machine (the fastest of each is kept).
all_runs=$runs
runs=1
for ((r = 0; r < all_runs; r++)); do
  for w in large wide; do
    for t in 1 2; do
      time_case "${w}_p_t$t" "$quorin" -s "$data/$w.bed" -i "$data/list.txt" -p -t "$t"
    done
  done
done
runs=$all_runs
# Permutation p-values for every set, the five PP values in each permutation.
time_case wide_p_perm10000_t2 "$quorin" -s "$data/wide.bed" -i "$data/list.txt" -p --permutations=10000 -t 2
# The same gene-set files with a gene list that pairs nothing: reading,
# building the tables, the empty driver and the release of the tables at exit.
time_case large_read_run "$quorin" -s "$data/large.bed" -i "$data/nomatch.txt" -p -t 2
time_case wide_read_run "$quorin" -s "$data/wide.bed" -i "$data/nomatch.txt" -p -t 2
time_case read2m_read_run "$quorin" -s "$data/read2m.bed" -i "$data/nomatch.txt" -p -t 2
# Only the two readers, timed inside the process, with the thread counts of
# the runs (the gene-set reader may use the run's threads).
for w in large wide read2m; do
  for t in 1 2; do
    "$reader" "$data/$w.bed" "$data/list.txt" "$t" >"$out/${w}_readers_t$t.txt"
  done
done
# One set of 20 000 genes, and wide without -p; when OLD is given, these and
# large -p -t 1 again, each run of the older binary right after one of the
# new, so that both see much the same load (the fastest of each is kept).
time_case one20k_p_t1 "$quorin" -s "$data/one20k.bed" -i "$data/list.txt" -p -t 1
time_case wide_t1 "$quorin" -s "$data/wide.bed" -i "$data/list.txt" -t 1
if [ -n "${OLD:-}" ]; then
  all_runs=$runs
  runs=1
  for c in large_p_t1:large:-p one20k_p_t1:one20k:-p wide_t1:wide:; do
    IFS=: read -r name w flag <<<"$c"
    for ((r = 0; r < all_runs; r++)); do
      time_case "$name" "$quorin" -s "$data/$w.bed" -i "$data/list.txt" $flag -t 1
      time_case "${name}_old" "$OLD" -s "$data/$w.bed" -i "$data/list.txt" $flag -t 1
    done
    cmp -s "$out/$name.stdout" "$out/${name}_old.stdout" || echo "WARNING: $name: output differs from $OLD" >&2
  done
  runs=$all_runs
fi
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)" >&2

column -t -s $'\t' "$table"
echo
awk -F'\t' -v out="$out" '
  # A case timed on several lines counts with its fastest wall time and its least CPU time.
  NR > 1 {
    if (!($1 in wall) || $2 < wall[$1]) wall[$1] = $2
    if (!($1 in user) || $3 + $4 < user[$1]) user[$1] = $3 + $4
    # -t 1 and -t 2 of the same round, one right after the other: their
    # ratio sees one state of the machine, which drifts from round to round.
    if ($1 ~ /_p_t1$/) last_t1[$1] = $2
    if ($1 ~ /_p_t2$/) {
      w = substr($1, 1, length($1) - 5)
      if ((w "_p_t1") in last_t1) ratios[w, ++rounds[w]] = last_t1[w "_p_t1"] / $2
    }
  }
  function median_ratio(w,    n, i, j, v, t) {
    n = rounds[w]
    for (i = 1; i <= n; i++) v[i] = ratios[w, i]
    for (i = 2; i <= n; i++) for (j = i; j > 1 && v[j - 1] > v[j]; j--) { t = v[j]; v[j] = v[j - 1]; v[j - 1] = t }
    return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
  }
  END {
    printf "large -p: -t 1 / -t 2 wall = %.2f x (fastest to fastest), %.2f x (median of the rounds)\n", wall["large_p_t1"] / wall["large_p_t2"], median_ratio("large")
    printf "wide  -p: -t 1 / -t 2 wall = %.2f x (fastest to fastest), %.2f x (median of the rounds)\n", wall["wide_p_t1"] / wall["wide_p_t2"], median_ratio("wide")
    printf "large: run with nothing paired / -p -t 2 run = %.3f\n", wall["large_read_run"] / wall["large_p_t2"]
    printf "wide:  run with nothing paired / -p -t 2 run = %.3f\n", wall["wide_read_run"] / wall["wide_p_t2"]
    if ("large_p_t1_old" in user) {
      printf "large -p -t 1: old / new CPU = %.2f x, wall = %.2f x\n", user["large_p_t1_old"] / user["large_p_t1"], wall["large_p_t1_old"] / wall["large_p_t1"]
      printf "one set of 20 000, -p -t 1: old / new CPU = %.2f x, wall = %.2f x\n", user["one20k_p_t1_old"] / user["one20k_p_t1"], wall["one20k_p_t1_old"] / wall["one20k_p_t1"]
      printf "wide -t 1: old / new CPU = %.2f x, wall = %.2f x\n", user["wide_t1_old"] / user["wide_t1"], wall["wide_t1_old"] / wall["wide_t1"]
    }
  }' "$table"
echo
printf '%-8s %8s %8s %8s %8s\n' workload sets_t1 list_t1 sets_t2 list_t2
for w in large wide read2m; do
  get() { awk -v k="$1" '$1 == k { print $2 }' "$out/${w}_readers_t$2.txt"; }
  printf '%-8s %7ss %7ss %7ss %7ss\n' "$w" "$(get read_gene_sets_s 1)" "$(get read_gene_list_s 1)" \
    "$(get read_gene_sets_s 2)" "$(get read_gene_list_s 2)"
done
echo
echo "sets whose five -p tests needed one pair pass:"
for w in large one20k; do
  printf '%-8s %s\n' "$w" "$("$build/bench/quorin_choice" -s "$data/$w.bed" -i "$data/list.txt" -p | awk '$1 == "hit_rate" || $1 == "sets_tested" { printf "%s %s  ", $1, $2 }')"
done
real="$(pwd)/../shared/data/real"
if [ -d "$real" ]; then
  for m in 1 2 3; do
    printf 'real -w %s %s\n' "$m" "$("$build/bench/quorin_choice" -s "$real/real_gene_sets.bed" -i "$real/real_gene_list.txt" -g -1000 -w "$m" -p | awk '$1 == "hit_rate" || $1 == "sets_tested" { printf "%s %s  ", $1, $2 }')"
  done
fi

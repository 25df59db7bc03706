# Shared by the benchmarks (sourced, not run): timing of repeated runs, KLayout's own
# load time of a GDSII file, and the "BENCH" lines bench/run collects.
#
# BENCH_RUNS (default 3) is how often every timed command and every KLayout load runs.

runs=${BENCH_RUNS:-3}

now() { date +%s%N; }

# Runs the command `runs` times (its output discarded) and prints the wall-clock times in
# seconds, one per line; fails when a run fails.
timed_runs() {
  i=0
  while [ "$i" -lt "$runs" ]; do
    start=$(now)
    "$@" > /dev/null 2>&1 || { echo "bench: '$*' failed" >&2; return 1; }
    end=$(now)
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f\n", (b - a) / 1e9 }'
    i=$((i + 1))
  done
}

# The best (smallest) and the median of the numbers on standard input: "best median".
best_median() {
  sort -n | awk '{ v[NR] = $1 } END {
    if (NR == 0) { print "- -"; exit }
    m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    printf "%.3f %.3f\n", v[1], m }'
}

# Whether KLayout can be run.
have_klayout() { command -v klayout > /dev/null 2>&1; }

# KLayout's own time to read a GDSII file, measured inside it so that its start-up does
# not count, `runs` times: one line "<seconds> <shapes on layer/datatype, or cells>" per
# run. layer and datatype: the layer whose shapes are counted, or "cells" to count cells.
klayout_loads() {
  file=$1
  what=$2
  scripts=$(mktemp -d /tmp/bench_load.XXXXXX)
  script=$scripts/load.rb  # KLayout tells a Ruby script by its suffix
  if [ "$what" = cells ]; then
    count='layout.cells'
  else
    count="layout.top_cell.shapes(layout.layer($what)).size"
  fi
  cat > "$script" << RUBY
started = Time.now
layout = RBA::Layout::new
layout.read(\$file)
printf("%.3f %d\n", Time.now - started, $count)
RUBY
  i=0
  while [ "$i" -lt "$runs" ]; do
    QT_QPA_PLATFORM=offscreen klayout -b -rd file="$file" -r "$script" || {
      rm -rf "$scripts"
      return 1
    }
    i=$((i + 1))
  done
  rm -rf "$scripts"
}

# Prints one BENCH line per run: the figure, the item word, the item count, and the
# run's seconds paired with the KLayout load seconds of the same index (or "-").
#   bench_lines <figure> <word> <items> "<our times>" "<KLayout times or empty>"
bench_lines() {
  printf '%s\n' "$4" | awk -v figure="$1" -v word="$2" -v items="$3" -v peer="$5" '
    BEGIN { n = split(peer, p, " ") }
    NF { i++; printf "BENCH %s %s %s %s %s\n", figure, word, items, $1, (i <= n ? p[i] : "-") }'
}

# "best s (median s)" of the times, for the scripts' own lines.
describe_times() {
  set -- $(printf '%s\n' $1 | best_median)
  echo "best $1 s, median $2 s"
}

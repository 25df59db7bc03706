#!/bin/sh
# Benchmark of the GDSII -> PG engine: writes a layout of N elements (default 1000000;
# boundaries, wide and zero-width paths, texts in 100 cells) with the stream writer,
# runs tabreng's counting pass and its translate pass (with libvantor.so) BENCH_RUNS
# times each (default 3), checks that the translate pass on one thread writes the same
# bytes, and, when KLayout is installed, compares each pass with KLayout's load of the
# same file in batch mode.
#
#   bench/tabreng_bench.sh [elements]      (BUILD_DIR selects the build, default build/)
#
# The lines "BENCH <figure> <item word> <items> <seconds> <KLayout seconds or ->", one per
# run, are for bench/run, which collects every benchmark's figures.
# Build targets: tabreng vantor tabreng_bench_layout
set -eu

here=$(cd "$(dirname "$0")" && pwd)
. "$here/bench_lib.sh"
build=$(cd "${BUILD_DIR:-$(dirname "$here")/build}" && pwd)
elements=${1:-1000000}
engine="$build/bin/tabreng"
generator="$build/bench/tabreng_bench_layout"
for program in "$engine" "$generator"; do
  [ -x "$program" ] || { echo "tabreng_bench: $program is not built" >&2; exit 1; }
done

work=$(mktemp -d /tmp/tabreng_bench.XXXXXX)
trap 'rm -rf "$work"' EXIT INT TERM

"$generator" "$work/layout.gds" "$elements"
# The engine wants its support files beside it and pg.cfg in the working directory.
mkdir "$work/bin"
: > "$work/bin/selvar"
: > "$work/bin/libquenrix.so"
: > "$work/bin/mirelt.shx"
printf 'SMALLANGLE\r\n0.1\r\n\r\n' > "$work/pg.cfg"
cd "$work"

# Runs the engine in the working directory; prints its 32-bit result.
run_engine() {
  (KAVRINTH_PROGRAM_DIR="$work/bin" KAVRINTH_RESULT_FD=3 "$engine" "$@" \
     3>&1 > /dev/null 2>&1 < /dev/null | cat)
}
# The same, for timed_runs: fails unless the result is the expected one.
engine_gives() {
  expected=$1
  shift
  [ "$(run_engine "$@")" = "$expected" ]
}

peer=""
if have_klayout; then
  loads=$(klayout_loads "$work/layout.gds" cells)
  peer=$(printf '%s\n' "$loads" | awk '{ printf "%s ", $1 }')
  echo "klayout: loads the $(printf '%s\n' "$loads" | awk 'NR == 1 { print $2 }') cells:" \
    "$(describe_times "$peer")"
else
  echo "klayout is not installed (apt-get install -y klayout): no load ratio"
fi

count=$(run_engine layout.gds 1.0 = = -s1.0 -polycnt)
counting=$(timed_runs engine_gives "$count" layout.gds 1.0 = = -s1.0 -polycnt)
echo "tabreng counting pass: $elements elements: $(describe_times "$counting")" \
  "($count to hand to PG; $(wc -c < layout.gds) bytes)"

# One element in ten is a text, which goes out without strokes (no BLOCK_TEXT): each one
# is a counted warning, and their number the translate pass's result.
texts=$((elements / 10))
# The translate pass on one thread first: what every other run must write.
(
  TABRENG_THREADS=1
  export TABRENG_THREADS
  engine_gives "$texts" layout.gds 1.0 = = -s1.0 "-polycnt:$count" -opost
)
mv layout.gdx single.gdx
mv pg.log single.pg.log
translate=$(timed_runs engine_gives "$texts" layout.gds 1.0 = = -s1.0 "-polycnt:$count" -opost)
cmp -s layout.gdx single.gdx && cmp -s pg.log single.pg.log ||
  { echo "tabreng_bench: the threads wrote other bytes than one thread" >&2; exit 1; }
echo "tabreng translate pass: $elements elements: $(describe_times "$translate")" \
  "($(grep -a '^Trapezoids' pg.log | tr -d '\r') written back; $(wc -c < layout.gdx) bytes out," \
  "the same bytes as on one thread)"

bench_lines tabreng-counting-pass elements "$elements" "$counting" "$peer"
bench_lines tabreng-translate-pass elements "$elements" "$translate" "$peer"

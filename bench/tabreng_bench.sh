#!/bin/sh
# Benchmark of the GDSII -> PG engine: writes a layout of N elements (default 1000000;
# boundaries, wide and zero-width paths, texts in 100 cells) with the stream writer,
# runs tabreng's counting pass and its translate pass (with libvantor.so), prints
# elements per second for each, and, when KLayout is installed, the ratio of each pass
# to the time KLayout takes to load the same file in batch mode.
#
#   bench/tabreng_bench.sh [elements]      (BUILD_DIR selects the build, default build/)
#
# The last lines, "BENCH <figure> <item word> <items> <seconds> <KLayout seconds or ->",
# are for bench/run, which collects every benchmark's figures.
# Build targets: tabreng tabreng_bench_layout
set -eu

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${BUILD_DIR:-$(dirname "$here")/build}" && pwd)
elements=${1:-1000000}
engine="$build/bin/tabreng"
generator="$build/bench/tabreng_bench_layout"
for program in "$engine" "$generator"; do
  [ -x "$program" ] || { echo "tabreng_bench: $program is not built" >&2; exit 1; }
done

work=$(mktemp -d /tmp/tabreng_bench.XXXXXX)
trap 'rm -rf "$work"' EXIT INT TERM

now() { date +%s%N; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", (b - a) / 1e9 }'; }
rate() { awk -v n="$elements" -v t="$1" 'BEGIN { printf "%.0f", n / t }'; }

"$generator" "$work/layout.gds" "$elements"
# The engine wants its support files beside it and pg.cfg in the working directory.
mkdir "$work/bin"
: > "$work/bin/selvar"
: > "$work/bin/libquenrix.so"
: > "$work/bin/mirelt.shx"
printf 'SMALLANGLE\r\n0.1\r\n\r\n' > "$work/pg.cfg"

# Runs the engine in the working directory; prints its 32-bit result.
run_engine() {
  (cd "$work" && KAVRINTH_PROGRAM_DIR="$work/bin" KAVRINTH_RESULT_FD=3 "$engine" "$@" \
     3>&1 > /dev/null 2>&1 < /dev/null | cat)
}

start=$(now)
count=$(run_engine layout.gds 1.0 = = -s1.0 -polycnt)
end=$(now)
counting=$(seconds "$start" "$end")
echo "tabreng counting pass: $elements elements in $counting s, $(rate "$counting") elements/s" \
  "($count to hand to PG; $(wc -c < "$work/layout.gds") bytes)"

start=$(now)
result=$(run_engine layout.gds 1.0 = = -s1.0 "-polycnt:$count" -opost)
end=$(now)
translate=$(seconds "$start" "$end")
[ "$result" = 0 ] || { echo "tabreng_bench: the translate pass gave $result" >&2; exit 1; }
echo "tabreng translate pass: $elements elements in $translate s, $(rate "$translate") elements/s" \
  "($(grep -a '^Trapezoids' "$work/pg.log" | tr -d '\r') written back;" \
  "$(wc -c < "$work/layout.gdx") bytes out)"

load=-
if ! command -v klayout > /dev/null 2>&1; then
  echo "klayout is not installed (apt-get install -y klayout): no load ratio"
else
  # KLayout's own time to read the library, measured inside it so that its start-up does
  # not count.
  cat > "$work/load.rb" << 'RUBY'
started = Time.now
layout = RBA::Layout::new
layout.read($file)
printf("%.3f %d\n", Time.now - started, layout.cells)
RUBY
  set -- $(QT_QPA_PLATFORM=offscreen klayout -b -rd file="$work/layout.gds" -r "$work/load.rb")
  load=$1
  echo "klayout: loads the $2 cells in $load s;" \
    "counting / load = $(awk -v c="$counting" -v l="$load" 'BEGIN { printf "%.2f", c / l }')" \
    "(aim: below 1), translate / load = $(awk -v c="$translate" -v l="$load" \
      'BEGIN { printf "%.2f", c / l }') (aim: at most 2)"
fi
echo "BENCH tabreng-counting-pass elements $elements $counting $load"
echo "BENCH tabreng-translate-pass elements $elements $translate $load"

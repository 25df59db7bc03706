#!/bin/sh
# Benchmark of the output converter ferolt on one large group of touching pieces: a
# GDSII library of a few hundred bytes whose array of houses (a rectangle with an angled
# roof) gives N abutting pieces on one layer (default 80000), flattened into the
# Intermediate file the post-processor writes, converted at scale 1 and at scale 20
# (feature size 0.5 microns), BENCH_RUNS times each (default 3). All pieces touch, so
# ferolt covers them as one shape: the figure shows how the cover grows with the group.
# There is no peer figure: the GDSII file is a single array.
#
#   bench/converter_group_bench.sh [pieces]      (BUILD_DIR selects the build, default build/)
#
# The lines "BENCH <figure> <item word> <items> <seconds> <KLayout seconds or ->", one per
# run, are for bench/run, which collects every benchmark's figures.
# Build targets: ferolt converter_group_bench_layout
set -eu

here=$(cd "$(dirname "$0")" && pwd)
. "$here/bench_lib.sh"
build=$(cd "${BUILD_DIR:-$(dirname "$here")/build}" && pwd)
pieces=${1:-80000}
generator="$build/bench/converter_group_bench_layout"
for program in "$build/bin/ferolt" "$generator"; do
  [ -x "$program" ] || { echo "converter_group_bench: $program is not built" >&2; exit 1; }
done

work=$(mktemp -d /tmp/converter_group_bench.XXXXXX)
trap 'rm -rf "$work"' EXIT INT TERM

# Two pieces a house, as many houses on each side of the square array.
side=$(awk -v n="$pieces" 'BEGIN { s = int(sqrt(n / 2) + 0.5); print s < 1 ? 1 : s }')
made=$("$generator" "$work/houses.gds" "$work/houses.int" "$side" | awk '{ print $1 }')
cd "$work"
printf 'FEATURE\r\n0.500000\r\n\r\n' > pg.cfg

for scale in 1 20; do
  times=$(timed_runs "$build/bin/ferolt" houses.int microns "$scale" -q)
  echo "ferolt: $made touching pieces at scale $scale: $(describe_times "$times")" \
    "($(wc -c < houses.gds) bytes of GDSII, $(wc -c < houses.int) bytes in," \
    "$(wc -c < houses.em) bytes out;" \
    "$(grep -a "^ferolt: [0-9]* flash" pg.log | tail -1 | tr -d '\r' | sed "s/^ferolt: //"))"
  bench_lines "ferolt-group-scale$scale" pieces "$made" "$times" ""
done

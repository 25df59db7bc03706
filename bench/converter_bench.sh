#!/bin/sh
# Benchmark of the output converters: writes N quadrilaterals (default 1000000) as an
# Intermediate PG file and the same boundaries as a GDSII file, converts the Intermediate
# file with ferolt (Electromask) and mistrel (Mann 3000), BENCH_RUNS times each (default
# 3), and, when KLayout is installed, compares each conversion with KLayout's load of the
# GDSII file of the same shapes.
#
#   bench/converter_bench.sh [quadrilaterals]      (BUILD_DIR selects the build, default build/)
#
# The lines "BENCH <figure> <item word> <items> <seconds> <KLayout seconds or ->", one per
# run, are for bench/run, which collects every benchmark's figures.
# Build targets: ferolt mistrel converter_bench_layout
set -eu

here=$(cd "$(dirname "$0")" && pwd)
. "$here/bench_lib.sh"
build=$(cd "${BUILD_DIR:-$(dirname "$here")/build}" && pwd)
count=${1:-1000000}
generator="$build/bench/converter_bench_layout"
for program in "$build/bin/ferolt" "$build/bin/mistrel" "$generator"; do
  [ -x "$program" ] || { echo "converter_bench: $program is not built" >&2; exit 1; }
done

work=$(mktemp -d /tmp/converter_bench.XXXXXX)
trap 'rm -rf "$work"' EXIT INT TERM

"$generator" "$work/bench.int" "$work/bench.gds" "$count"
cd "$work"

peer=""
if have_klayout; then
  loads=$(klayout_loads "$work/bench.gds" "1, 0")
  shapes=$(printf '%s\n' "$loads" | awk 'NR == 1 { print $2 }')
  [ "$shapes" = "$count" ] || { echo "converter_bench: KLayout read $shapes shapes" >&2; exit 1; }
  peer=$(printf '%s\n' "$loads" | awk '{ printf "%s ", $1 }')
  echo "klayout: loads the $count boundaries: $(describe_times "$peer")"
else
  echo "klayout is not installed (apt-get install -y klayout): no load ratio"
fi

for converter in ferolt mistrel; do
  times=$(timed_runs "$build/bin/$converter" bench.int microns 1.0 -q)
  output=$([ $converter = ferolt ] && echo bench.em || echo bench.dwm)
  echo "$converter: $count quadrilaterals: $(describe_times "$times")" \
    "($(wc -c < bench.int) bytes in, $(wc -c < "$output") bytes out;" \
    "$(grep -a "^$converter: [0-9]* flash" pg.log | tail -1 | tr -d '\r' | sed "s/^$converter: //"))"
  bench_lines "$converter-conversion" quadrilaterals "$count" "$times" "$peer"
done

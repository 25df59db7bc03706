#!/bin/sh
# Benchmark of the viewer's WF2 scan: writes a WF2 file of N rectangles (default 1000000)
# with the WF2 writer and scans it into the layout database BENCH_RUNS times (default
# 3). WF2 has no GDSII counterpart, so the figure has no KLayout ratio.
#
#   bench/wf2_scan_bench.sh [polygons]      (BUILD_DIR selects the build, default build/)
#
# The lines "BENCH <figure> <item word> <items> <seconds> -", one per run, are for
# bench/run, which collects every benchmark's figures.
# Build targets: wf2_scan_bench
set -eu

here=$(cd "$(dirname "$0")" && pwd)
. "$here/bench_lib.sh"
build=$(cd "${BUILD_DIR:-$(dirname "$here")/build}" && pwd)
polygons=${1:-1000000}
scanner="$build/bench/wf2_scan_bench"
[ -x "$scanner" ] || { echo "wf2_scan_bench: $scanner is not built" >&2; exit 1; }

work=$(mktemp -d /tmp/wf2_scan_bench.XXXXXX)
trap 'rm -rf "$work"' EXIT INT TERM

"$scanner" "$work/bench.wf2" "$polygons" > /dev/null
# The scanner times the scan alone.
times=""
i=0
while [ "$i" -lt "$runs" ]; do
  set -- $("$scanner" "$work/bench.wf2" scan)
  [ "$1" = "$polygons" ] || { echo "wf2_scan_bench: scanned $1 polygons" >&2; exit 1; }
  times="$times $2"
  i=$((i + 1))
done
echo "vexil WF2 scan: $polygons polygons: $(describe_times "$times")" \
  "($(wc -c < "$work/bench.wf2") bytes)"
bench_lines vexil-wf2-scan polygons "$polygons" "$(printf '%s\n' $times)" ""

#!/bin/sh
# Benchmark of the GDSII scanner selvar: scans the GDSII -> PG engine's benchmark layout
# of N elements (default 1000000; see bench/tabreng_bench.sh) into its scan report,
# BENCH_RUNS times (default 3), and, when KLayout is installed, compares the scan with
# KLayout's load of the same file.
#
#   bench/selvar_bench.sh [elements]      (BUILD_DIR selects the build, default build/)
#
# The lines "BENCH <figure> <item word> <items> <seconds> <KLayout seconds or ->", one per
# run, are for bench/run, which collects every benchmark's figures.
# Build targets: selvar tabreng_bench_layout
set -eu

here=$(cd "$(dirname "$0")" && pwd)
. "$here/bench_lib.sh"
build=$(cd "${BUILD_DIR:-$(dirname "$here")/build}" && pwd)
elements=${1:-1000000}
scanner="$build/bin/selvar"
generator="$build/bench/tabreng_bench_layout"
for program in "$scanner" "$generator"; do
  [ -x "$program" ] || { echo "selvar_bench: $program is not built" >&2; exit 1; }
done

work=$(mktemp -d /tmp/selvar_bench.XXXXXX)
trap 'rm -rf "$work"' EXIT INT TERM

"$generator" "$work/layout.gds" "$elements"
rm -f "$work/layout.ssn"
cd "$work"

peer=""
if have_klayout; then
  loads=$(klayout_loads "$work/layout.gds" cells)
  peer=$(printf '%s\n' "$loads" | awk '{ printf "%s ", $1 }')
  echo "klayout: loads the $(printf '%s\n' "$loads" | awk 'NR == 1 { print $2 }') cells:" \
    "$(describe_times "$peer")"
else
  echo "klayout is not installed (apt-get install -y klayout): no load ratio"
fi

times=$(timed_runs "$scanner" layout.gds)
[ -s layout.ssn ] || { echo "selvar_bench: no scan report" >&2; exit 1; }
echo "selvar: scans $elements elements: $(describe_times "$times")" \
  "($(wc -c < layout.gds) bytes; $(grep -c . layout.ssn) report lines)"
bench_lines selvar-scan elements "$elements" "$times" "$peer"

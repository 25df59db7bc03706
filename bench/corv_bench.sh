#!/bin/sh
# Benchmark of the Electromask -> GDSII engine: converts a generated Electromask file of
# N flashes (default 1000000) with corvitex, BENCH_RUNS times (default 3), and, when
# KLayout is installed, compares the conversion with KLayout's load of the GDSII file
# that was written.
#
#   bench/corv_bench.sh [flashes]      (BUILD_DIR selects the build, default build/)
#
# The lines "BENCH <figure> <item word> <items> <seconds> <KLayout seconds or ->", one per
# run, are for bench/run, which collects every benchmark's figures.
# Build targets: corvitex
set -eu

here=$(cd "$(dirname "$0")" && pwd)
. "$here/bench_lib.sh"
build=$(cd "${BUILD_DIR:-$(dirname "$here")/build}" && pwd)
flashes=${1:-1000000}
engine="$build/bin/corvitex"
[ -x "$engine" ] || { echo "corv_bench: $engine is not built" >&2; exit 1; }

work=$(mktemp -d /tmp/corv_bench.XXXXXX)
trap 'rm -rf "$work"' EXIT INT TERM

awk -v n="$flashes" -f "$here/corv_gen_em.awk" > "$work/bench.em"
printf '[General]\r\nlayers=layer0\r\n[layer0]\r\nlayer=1,bench.em\r\n' > "$work/bench.job"
cd "$work"

convert=$(timed_runs "$engine" @bench.job -o:bench.gds -u:E)
echo "corvitex: $flashes flashes: $(describe_times "$convert")" \
  "($(wc -c < bench.em) bytes in, $(wc -c < bench.gds) bytes out)"

peer=""
if have_klayout; then
  loads=$(klayout_loads "$work/bench.gds" "1, 1")
  shapes=$(printf '%s\n' "$loads" | awk 'NR == 1 { print $2 }')
  [ "$shapes" = "$flashes" ] || { echo "corv_bench: KLayout read $shapes shapes" >&2; exit 1; }
  peer=$(printf '%s\n' "$loads" | awk '{ printf "%s ", $1 }')
  echo "klayout: loads the $shapes boundaries: $(describe_times "$peer")"
else
  echo "klayout is not installed (apt-get install -y klayout): no load ratio"
fi
bench_lines corvitex-conversion flashes "$flashes" "$convert" "$peer"

#!/bin/sh
# Benchmark of the viewer's layout database: loads a generated Electromask file of N
# flashes (default 1000000) into the database BENCH_RUNS times (default 3), prints the
# times and the bytes of database per flash, and, when corvitex is built and KLayout is
# installed, compares the load with KLayout's load of the GDSII file corvitex writes
# from the same flashes.
#
#   bench/viewer_load_bench.sh [flashes]      (BUILD_DIR selects the build, default build/)
#
# The lines "BENCH <figure> <item word> <items> <seconds> <KLayout seconds or ->", one per
# run, are for bench/run, which collects every benchmark's figures.
# Build targets: viewer_load_bench corvitex
set -eu

here=$(cd "$(dirname "$0")" && pwd)
. "$here/bench_lib.sh"
build=$(cd "${BUILD_DIR:-$(dirname "$here")/build}" && pwd)
flashes=${1:-1000000}
loader="$build/bench/viewer_load_bench"
engine="$build/bin/corvitex"
[ -x "$loader" ] || { echo "viewer_load_bench: $loader is not built" >&2; exit 1; }

work=$(mktemp -d /tmp/viewer_load_bench.XXXXXX)
trap 'rm -rf "$work"' EXIT INT TERM

awk -v n="$flashes" -f "$here/corv_gen_em.awk" > "$work/bench.em"
cd "$work"
# The loader times itself (the load alone, as KLayout's time is its read alone).
loads=""
bytes=""
i=0
while [ "$i" -lt "$runs" ]; do
  set -- $("$loader" bench.em)
  [ "$1" = "$flashes" ] || { echo "viewer_load_bench: loaded $1 flashes" >&2; exit 1; }
  loads="$loads $2"
  bytes=$4
  i=$((i + 1))
done
echo "vexil database: $flashes flashes: $(describe_times "$loads"), $bytes bytes per flash" \
  "(aim: under 100)"

peer=""
if [ ! -x "$engine" ]; then
  echo "corvitex is not built: no KLayout ratio"
elif ! have_klayout; then
  echo "klayout is not installed (apt-get install -y klayout): no load ratio"
else
  printf '[General]\r\nlayers=layer0\r\n[layer0]\r\nlayer=1,bench.em\r\n' > bench.job
  "$engine" @bench.job -o:bench.gds -u:E > /dev/null
  kl=$(klayout_loads "$work/bench.gds" "1, 1")
  shapes=$(printf '%s\n' "$kl" | awk 'NR == 1 { print $2 }')
  [ "$shapes" = "$flashes" ] || { echo "viewer_load_bench: KLayout read $shapes shapes" >&2; exit 1; }
  peer=$(printf '%s\n' "$kl" | awk '{ printf "%s ", $1 }')
  echo "klayout: loads the $shapes boundaries: $(describe_times "$peer")"
fi
bench_lines vexil-database-load flashes "$flashes" "$(printf '%s\n' $loads)" "$peer"

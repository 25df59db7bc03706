#!/bin/sh
# Benchmark of the viewer's layout database: loads a generated Electromask file of N
# flashes (default 1000000) into the database, prints the time, flashes per second and
# bytes of database per flash, and, when corvitex is built and KLayout is installed, the
# ratio of the load to the time KLayout takes to load the GDSII file corvitex writes from
# the same flashes.
#
#   bench/viewer_load_bench.sh [flashes]      (BUILD_DIR selects the build, default build/)
#
# The last line, "BENCH <figure> <item word> <items> <seconds> <KLayout seconds or ->", is
# for bench/run, which collects every benchmark's figures.
# Build targets: viewer_load_bench corvitex
set -eu

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${BUILD_DIR:-$(dirname "$here")/build}" && pwd)
flashes=${1:-1000000}
loader="$build/bench/viewer_load_bench"
engine="$build/bin/corvitex"
[ -x "$loader" ] || { echo "viewer_load_bench: $loader is not built" >&2; exit 1; }

work=$(mktemp -d /tmp/viewer_load_bench.XXXXXX)
trap 'rm -rf "$work"' EXIT INT TERM

awk -v n="$flashes" -f "$here/corv_gen_em.awk" > "$work/bench.em"
set -- $("$loader" "$work/bench.em")
[ "$1" = "$flashes" ] || { echo "viewer_load_bench: loaded $1 flashes" >&2; exit 1; }
load=$2
echo "vexil database: $1 flashes in $load s, $3 flashes/s, $4 bytes per flash" \
  "(aim: under 100)"

klayout_load=-
if [ ! -x "$engine" ]; then
  echo "corvitex is not built: no KLayout ratio"
elif ! command -v klayout > /dev/null 2>&1; then
  echo "klayout is not installed (apt-get install -y klayout): no load ratio"
else
  printf '[General]\r\nlayers=layer0\r\n[layer0]\r\nlayer=1,bench.em\r\n' > "$work/bench.job"
  (cd "$work" && "$engine" @bench.job -o:bench.gds -u:E > /dev/null)
  # KLayout's own time to read the library, measured inside it so that its start-up does
  # not count.
  cat > "$work/load.rb" << 'RUBY'
started = Time.now
layout = RBA::Layout::new
layout.read($file)
printf("%.3f %d\n", Time.now - started, layout.top_cell.shapes(layout.layer(1, 1)).size)
RUBY
  set -- $(QT_QPA_PLATFORM=offscreen klayout -b -rd file="$work/bench.gds" -r "$work/load.rb")
  [ "$2" = "$flashes" ] || { echo "viewer_load_bench: KLayout read $2 shapes" >&2; exit 1; }
  klayout_load=$1
  echo "klayout: loads the $2 boundaries in $1 s;" \
    "database load / KLayout load = $(awk -v a="$load" -v b="$1" 'BEGIN { printf "%.2f", a / b }')" \
    "(aim: at most 2)"
fi
echo "BENCH vexil-database-load flashes $flashes $load $klayout_load"

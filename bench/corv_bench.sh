#!/bin/sh
# Benchmark of the Electromask -> GDSII engine: converts a generated Electromask file of
# N flashes (default 1000000) with corvitex, prints flashes per second and, when KLayout
# is installed, the ratio of the conversion time to the time KLayout takes to load the
# GDSII file that was written.
#
#   bench/corv_bench.sh [flashes]      (BUILD_DIR selects the build, default build/)
#
# The last line, "BENCH <figure> <item word> <items> <seconds> <KLayout seconds or ->", is
# for bench/run, which collects every benchmark's figures.
# Build targets: corvitex
set -eu

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${BUILD_DIR:-$(dirname "$here")/build}" && pwd)
flashes=${1:-1000000}
engine="$build/bin/corvitex"
[ -x "$engine" ] || { echo "corv_bench: $engine is not built" >&2; exit 1; }

work=$(mktemp -d /tmp/corv_bench.XXXXXX)
trap 'rm -rf "$work"' EXIT INT TERM

now() { date +%s%N; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", (b - a) / 1e9 }'; }

awk -v n="$flashes" -f "$here/corv_gen_em.awk" > "$work/bench.em"
printf '[General]\r\nlayers=layer0\r\n[layer0]\r\nlayer=1,bench.em\r\n' > "$work/bench.job"

start=$(now)
(cd "$work" && "$engine" @bench.job -o:bench.gds -u:E)
end=$(now)
convert=$(seconds "$start" "$end")
echo "corvitex: $flashes flashes in $convert s," \
  "$(awk -v n="$flashes" -v t="$convert" 'BEGIN { printf "%.0f", n / t }') flashes/s" \
  "($(wc -c < "$work/bench.em") bytes in, $(wc -c < "$work/bench.gds") bytes out)"

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
printf("%.3f %d\n", Time.now - started, layout.top_cell.shapes(layout.layer(1, 1)).size)
RUBY
  set -- $(QT_QPA_PLATFORM=offscreen klayout -b -rd file="$work/bench.gds" -r "$work/load.rb")
  load=$1
  shapes=$2
  [ "$shapes" = "$flashes" ] || { echo "corv_bench: KLayout read $shapes shapes" >&2; exit 1; }
  echo "klayout: loads the $shapes boundaries in $load s;" \
    "conversion / load = $(awk -v c="$convert" -v l="$load" 'BEGIN { printf "%.2f", c / l }')" \
    "(aim: at most 2)"
fi
echo "BENCH corvitex-conversion flashes $flashes $convert $load"

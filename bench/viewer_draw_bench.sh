#!/bin/sh
# Benchmark of the viewer's redraw: loads a generated Electromask file of N flashes (default
# 1000000) and times a full redraw of it after zoom-all into a 1024 x 768 surface; prints
# the redraw time and the extra bytes per flash the drawing took, and, when corvitex is
# built and KLayout is installed, the time KLayout's batch mode takes to render the GDSII
# file corvitex writes from the same flashes to an image of the same size.
#
#   bench/viewer_draw_bench.sh [flashes]      (BUILD_DIR selects the build, default build/)
#
# The last line, "BENCH <figure> <item word> <items> <seconds> <KLayout seconds or ->", is
# for bench/run, which collects every benchmark's figures.
# Build targets: viewer_draw_bench corvitex
set -eu

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${BUILD_DIR:-$(dirname "$here")/build}" && pwd)
flashes=${1:-1000000}
drawer="$build/bench/viewer_draw_bench"
engine="$build/bin/corvitex"
[ -x "$drawer" ] || { echo "viewer_draw_bench: $drawer is not built" >&2; exit 1; }

work=$(mktemp -d /tmp/viewer_draw_bench.XXXXXX)
trap 'rm -rf "$work"' EXIT INT TERM

awk -v n="$flashes" -f "$here/corv_gen_em.awk" > "$work/bench.em"
set -- $("$drawer" "$work/bench.em" 1024 768)
[ "$1" = "$flashes" ] || { echo "viewer_draw_bench: drew $1 flashes" >&2; exit 1; }
draw=$2
echo "vexil redraw: $1 flashes in $draw s ($3 flashes/s) into 1024 x 768, $5 pixels painted," \
  "$4 extra bytes per flash (aim: under 100)"

klayout_draw=-
if [ ! -x "$engine" ]; then
  echo "corvitex is not built: no KLayout ratio"
elif ! command -v klayout > /dev/null 2>&1; then
  echo "klayout is not installed (apt-get install -y klayout): no render ratio"
else
  printf '[General]\r\nlayers=layer0\r\n[layer0]\r\nlayer=1,bench.em\r\n' > "$work/bench.job"
  (cd "$work" && "$engine" @bench.job -o:bench.gds -u:E > /dev/null)
  # KLayout's own time to load the library and render it to an image, measured inside it
  # so that its start-up does not count.
  cat > "$work/render.rb" << 'RUBY'
view = RBA::LayoutView::new
started = Time.now
view.load_layout($file, true)
view.max_hier
view.zoom_fit
view.save_image($image, 1024, 768)
printf("%.3f\n", Time.now - started)
RUBY
  klayout_draw=$(QT_QPA_PLATFORM=offscreen klayout -b -rd file="$work/bench.gds" \
    -rd image="$work/bench.png" -r "$work/render.rb")
  [ -s "$work/bench.png" ] || { echo "viewer_draw_bench: KLayout wrote no image" >&2; exit 1; }
  echo "klayout: loads and renders the same boundaries to 1024 x 768 in $klayout_draw s;" \
    "redraw / KLayout render = $(awk -v a="$draw" -v b="$klayout_draw" 'BEGIN { printf "%.3f", a / b }')" \
    "(aim: at most 0.1)"
fi
echo "BENCH vexil-redraw flashes $flashes $draw $klayout_draw"

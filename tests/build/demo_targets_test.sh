#!/bin/sh
# The two builds of tools/demo.sh: kavrinth_road makes every program, companion and file
# the roads run and compiles no Qt code, so that the results come before the Qt code is
# compiled; kavrinth_demo_windows makes the windowed programs the demo's last lines name
# and what they start and load.
#
#   demo_targets_test.sh <ninja> <build directory>
set -u
ninja=$1
build=$2
failed=0
fail() {
  echo "demo_targets_test: $*" >&2
  failed=1
}

road=$("$ninja" -C "$build" -t commands kavrinth_road) || { fail "no target kavrinth_road"; exit 1; }
for output in bin/selvar bin/tabreng bin/libvantor.so bin/libquenrix.so bin/ferolt bin/mistrel \
              bin/corvitex bin/corvaxen bin/mirelt.shx; do
  printf '%s\n' "$road" | grep -q -- "$output" || fail "kavrinth_road does not make $output"
done
qt=$(printf '%s\n' "$road" | grep -E -- '-DQT_[A-Z]+_LIB|/qt6/|_autogen' | head -3)
[ -z "$qt" ] || fail "kavrinth_road compiles Qt code:
$qt"

windows=$("$ninja" -C "$build" -t commands kavrinth_demo_windows) ||
  { fail "no target kavrinth_demo_windows"; exit 1; }
for output in bin/tabrun bin/vexil bin/pexol bin/libplendo.so bin/liborvisk.so; do
  printf '%s\n' "$windows" | grep -q -- "-o $output" || fail "kavrinth_demo_windows does not make $output"
done
exit $failed

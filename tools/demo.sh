#!/usr/bin/env bash
# Sets up, builds and runs the main job on samples/: the EM/Mann PG -> GDSII road
# (and, once its engine road is complete, GDSII -> PG), leaving the results in
# build/demo/.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
build_dir=${KAVRINTH_BUILD_DIR:-build}
bin=$(cd "$build_dir/bin" && pwd)
out="$build_dir/demo"
rm -rf "$out"
mkdir -p "$out"
cp samples/demo.em samples/demo.dwm samples/demo-em.job samples/demo-mann.job "$out/"
cd "$out"

run() {
  echo "+ $*"
  set +e
  "$@"
  local status=$?
  set -e
  if [ $status -ne 0 ]; then
    echo "demo: '$1' failed with status $status" >&2
    exit 1
  fi
}

# EM/Mann PG -> GDSII: an Electromask file and a Mann 3000 file back to GDSII.
run "$bin/corvitex" @demo-em.job -o:demo-em.gds -u:E
run "$bin/corvaxen" @demo-mann.job -o:demo-mann.gds -u:M -3000 -scale 1.000000

echo
echo "Demo results in $(pwd):"
for f in demo-em.gds demo-em.log demo-mann.gds demo-mann.log; do
  printf '  %-14s %8d bytes\n' "$f" "$(stat -c %s "$f")"
done

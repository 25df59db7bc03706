#!/usr/bin/env bash
# Sets up, builds and runs the main job on samples/ the way the shells drive the programs:
# the GDSII -> PG road on the mask test pattern demo.gds (selvar, tabreng twice, ferolt,
# mistrel) and the EM/Mann PG -> GDSII road on demo.em and demo.dwm (corvitex, corvaxen),
# leaving the results in build/demo/ and naming every file produced.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
# With KAVRINTH_DEMO_PROGRAMS set (e.g. /usr/bin of an installed package) the demo runs
# those programs, without building, in the directory KAVRINTH_DEMO_DIR.
if [ -n "${KAVRINTH_DEMO_PROGRAMS:-}" ]; then
  bin=$KAVRINTH_DEMO_PROGRAMS
  out=${KAVRINTH_DEMO_DIR:?set KAVRINTH_DEMO_DIR to the directory the demo may fill}
else
  # First only the command-line programs and companions the roads run, so that the
  # results come before the Qt code is compiled; the windowed programs named at the end
  # are built after the results. tools/test.sh builds the rest.
  tools/setup.sh kavrinth_road
  build_dir=${KAVRINTH_BUILD_DIR:-build}
  bin=$(cd "$build_dir/bin" && pwd)
  out="$build_dir/demo"
fi
rm -rf "$out"
mkdir -p "$out"
inputs=(demo.gds demo.cfg demo.em demo.dwm demo-em.job demo-mann.job)
for f in "${inputs[@]}"; do cp "samples/$f" "$out/"; done
cd "$out"
work=$(pwd)

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

# Runs a program and prints its full 32-bit result, which the program writes to the
# descriptor named by KAVRINTH_RESULT_FD (the exit status keeps only 8 bits).
result_of() {
  echo "+ $*" >&2
  (KAVRINTH_RESULT_FD=3 "$@" 3>&1 >&2 < /dev/null | cat)
}

# --- GDSII -> PG: the mask test pattern to Electromask and Mann 3000 files ---
# The scan report gives the top structure (the root of the hierarchy) and the layers.
run "$bin/selvar" "$work/demo.gds" -max:8192 -sh -sea -elmcnt "-o:$work/demo.ssn"
top=$(awk '/^HIERARCHY of INDEPENDENT STRUCTURES/ { h = 1; next }
           h && NF && !/\|/ { sub(/\r$/, ""); print; exit }' demo.ssn)
layers=$(awk '/^LAYERS_CONTAINING_DATA/ { getline; getline; sub(/\r$/, ""); print; exit }' demo.ssn)
# The job's settings (feature size 0.5 micron, texts translated) as pg.cfg for the
# PG-writing library and the converters, and as gds.cfg for the engine.
cp demo.cfg pg.cfg
cp demo.cfg gds.cfg
engine_args=("$work/demo.gds" 0.500000 "$layers" "$top" -s1.000000)
count=$(result_of "$bin/tabreng" "${engine_args[@]}" -polycnt)
[ "${count:--1}" -ge 0 ] || { echo "demo: tabreng's counting pass failed ($count)" >&2; exit 1; }
warnings=$(result_of "$bin/tabreng" "${engine_args[@]}" "-polycnt:$count")
[ "${warnings:--1}" -ge 0 ] || { echo "demo: tabreng failed ($warnings); see demo.log" >&2; exit 1; }
# Runs a program whose result counts its warnings, fails the demo when it failed, and
# prints the count.
warnings_of() {
  local result
  result=$(result_of "$@")
  [ "${result:--1}" -ge 0 ] || { echo "demo: '$1' failed ($result)" >&2; exit 1; }
  echo "$result"
}
pg_files=()
converter_warnings=0
for layer in ${layers//,/ }; do
  intermediate=$(printf '%s%02d.int' "${top:0:6}" "$layer")
  [ "$(stat -c %s "$intermediate")" -gt 23 ] || continue  # a layer without data
  w=$(warnings_of "$bin/ferolt" "$intermediate" microns 1.000000 -p -q)
  converter_warnings=$((converter_warnings + w))
  w=$(warnings_of "$bin/mistrel" "$intermediate" microns 1.000000 -p -q -3000)
  converter_warnings=$((converter_warnings + w))
  pg_files+=("${intermediate%.int}.em" "${intermediate%.int}.dwm")
done

# --- EM/Mann PG -> GDSII: an Electromask file and a Mann 3000 file back to GDSII ---
em_warnings=$(warnings_of "$bin/corvitex" @demo-em.job -o:demo-em.gds -u:E)
mann_warnings=$(warnings_of "$bin/corvaxen" @demo-mann.job -o:demo-mann.gds -u:M -3000 -scale 1.000000)

list() {
  for f in "$@"; do printf '  %-16s %8d bytes\n' "$f" "$(stat -c %s "$f")"; done
}
echo
echo "Demo results in $work:"
echo "GDSII -> PG ($top, layers $layers; $count elements counted, $warnings warning(s);"
echo "  the converters' $converter_warnings warning(s) are named in pg.log):"
list demo.ssn pg.cfg gds.cfg demo.log demo.out demo.err "${top:0:6}"*.int "${pg_files[@]}" pg.log
echo "EM/Mann -> GDSII (corvitex $em_warnings warning(s), corvaxen $mann_warnings, named in their logs):"
list demo-em.gds demo-em.log demo-mann.gds demo-mann.log
if [ -n "${build_dir:-}" ]; then
  # A failed build of the windowed programs fails the demo, as a failed road does.
  echo
  echo "Building the windowed programs tabrun and vexil:"
  (cd "$root" && cmake --build "$build_dir" -j "$(nproc)" --target kavrinth_demo_windows) ||
    { echo "demo: building the windowed programs failed" >&2; exit 1; }
fi
[ -x "$bin/tabrun" ] && echo "The same road in the shell's windows: $bin/tabrun $work/demo.gds"
if command -v klayout > /dev/null 2>&1; then
  echo "The GDSII files open in KLayout: cd $work && klayout demo.gds demo-em.gds demo-mann.gds"
fi
echo "Open the PG results in the viewer (one file at a time; a second vexil hands its file to the first): cd $work && $bin/vexil ${pg_files[0]:-demo.em}"
exit 0

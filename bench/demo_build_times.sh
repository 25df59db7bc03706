#!/usr/bin/env bash
# How long a new user waits for tools/demo.sh: on a fresh clone of each commit (default
# HEAD), without ccache, the seconds from the start of tools/demo.sh to its first result
# line ("Demo results in ...", printed once the roads have run) and to its end, with the
# CPU seconds (user + system) of its builds; then the build tools/test.sh adds in the same
# build/ (only what the demo did not build), timed the same way, and how many of the demo's
# build steps it ran again (none, when all is well).
#
#   bench/demo_build_times.sh [-r rounds] [-c cmake-arguments] [-d] [commit ...]
#
# -c passes arguments to the configuring of build/ (as KAVRINTH_CMAKE_ARGS, e.g.
# "-DKAVRINTH_PCH=OFF" to see what a change gives); -d times the demo alone. Each round
# takes the commits in turn, so that other work on the machine weighs on all of them alike;
# the load average is printed with every run. Clones go to a temporary directory and are
# removed afterwards. The packages of tools/setup.sh must be installed. Not one of the
# *_bench.sh that bench/run runs: it builds the whole suite once per commit and round.
set -euo pipefail

rounds=1
cmake_args=
demo_only=0
while getopts "r:c:dh" option; do
  case $option in
    r) rounds=$OPTARG ;;
    c) cmake_args=$OPTARG ;;
    d) demo_only=1 ;;
    *) sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
repo=$(cd "$(dirname "$0")/.." && pwd)
commits=("$@")
[ ${#commits[@]} -gt 0 ] || commits=(HEAD)
# No compiler launcher: every file is compiled.
unset CMAKE_CXX_COMPILER_LAUNCHER CMAKE_C_COMPILER_LAUNCHER KAVRINTH_CMAKE_ARGS KAVRINTH_BUILD_DIR
work=$(mktemp -d /tmp/demo_build_times.XXXXXX)
trap 'rm -rf "$work"' EXIT

# Prints each line of standard input with the seconds since $start before it.
stamp() {
  local line
  while IFS= read -r line; do
    printf '%8.2f %s\n' "$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { print b - a }')" "$line"
  done
}

cpu() { awk -v u="$1" -v s="$2" 'BEGIN { print u + s }'; }

TIMEFORMAT='%R %U %S'
for ((round = 1; round <= rounds; round++)); do
  for commit in "${commits[@]}"; do
    hash=$(git -C "$repo" rev-parse --short "$commit")
    clone=$work/$hash
    rm -rf "$clone"
    git clone --quiet "$repo" "$clone"
    git -C "$clone" checkout --quiet "$hash"
    log=$work/$hash.demo.log
    load=$(cut -d' ' -f1-3 /proc/loadavg)
    start=$EPOCHREALTIME
    times=$({ time (cd "$clone" &&
                    KAVRINTH_CMAKE_ARGS=$cmake_args tools/demo.sh 2>&1 | stamp > "$log") ; } 2>&1) ||
      { tail -20 "$log"; echo "demo_build_times: tools/demo.sh failed at $hash" >&2; exit 1; }
    read -r wall user sys <<< "$times"
    first=$(awk '/ Demo results in / { print $1; exit }' "$log")
    demo_steps=$(grep -vc '^#' "$clone/build/.ninja_log")
    printf 'round %d %s demo: first result %6.1f s, end %6.1f s, CPU %6.1f s, %d build steps (load %s)\n' \
      "$round" "$hash" "$first" "$wall" "$(cpu "$user" "$sys")" "$demo_steps" "$load"
    if [ $demo_only -eq 1 ]; then
      rm -rf "$clone"
      continue
    fi
    # The build of tools/test.sh, without running the tests.
    cp "$clone/build/.ninja_log" "$work/demo.ninja_log"
    load=$(cut -d' ' -f1-3 /proc/loadavg)
    times=$({ time (cd "$clone" && cmake -S . -B build -G Ninja > /dev/null &&
                    cmake --build build -j "$(nproc)" > "$work/$hash.test.log" 2>&1) ; } 2>&1) ||
      { tail -20 "$work/$hash.test.log"; echo "demo_build_times: the test build failed at $hash" >&2; exit 1; }
    read -r wall user sys <<< "$times"
    # Outputs the demo had built that the test build built again.
    again=$(awk -F'\t' 'NR == FNR { if (!/^#/) seen[$4] = 1; next }
                        FNR > n && !/^#/ && seen[$4] { c++ } END { print c + 0 }' \
              n="$(wc -l < "$work/demo.ninja_log")" "$work/demo.ninja_log" "$clone/build/.ninja_log")
    test_steps=$(($(grep -vc '^#' "$clone/build/.ninja_log") - demo_steps))
    printf 'round %d %s test build: %6.1f s, CPU %6.1f s, %d build steps, %d of the demo'"'"'s again (load %s)\n' \
      "$round" "$hash" "$wall" "$(cpu "$user" "$sys")" "$test_steps" "$again" "$load"
    rm -rf "$clone"
  done
done

#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang into build-fuzz/ and runs each (or the
# named ones) for a given time, starting from the seeds in fuzz/corpus/<target>/.
#
#   tools/fuzz.sh [-t seconds] [-j parallel] [target ...]
#
# Needs the Debian packages clang and libclang-rt-14-dev (the libFuzzer runtime). Each
# target's log is build-fuzz/logs/<target>.log, what it learnt build-fuzz/corpus/<target>/
# and a finding build-fuzz/artifacts/<target>/; the summary gives the executions per
# target. The exit status is 1 when any target found something. Once fixed, keep the
# finding as fuzz/regressions/<target>/<name>: every test run replays it (fuzz_replay.*),
# and the fuzzing here starts from it too.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=300
parallel=4
while getopts "t:j:h" option; do
  case $option in
    t) seconds=$OPTARG ;;
    j) parallel=$OPTARG ;;
    *) sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
  esac
done
shift $((OPTIND - 1))

# Absolute: some targets work in a directory of their own.
build_dir=$(pwd)/build-fuzz
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined"
flags+=" -fno-omit-frame-pointer -g -O1"
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DKAVRINTH_FUZZ=ON -DKAVRINTH_BUILD_TESTS=OFF -DKAVRINTH_BUILD_GUI=OFF >/dev/null

if [ $# -eq 0 ]; then
  targets=()
  for source in fuzz/*_fuzz.cpp; do targets+=("$(basename "$source" .cpp)"); done
else
  targets=("$@")
fi
cmake --build "$build_dir" --target "${targets[@]}"

mkdir -p "$build_dir/logs"
# The targets' scratch files, removed at the end even when a target crashed.
scratch_parent=/tmp
[ -d /dev/shm ] && [ -w /dev/shm ] && scratch_parent=/dev/shm
KAVRINTH_FUZZ_SCRATCH=$(mktemp -d "$scratch_parent/kavrinth-fuzz-run.XXXXXX")
export KAVRINTH_FUZZ_SCRATCH
# Findings of undefined behaviour come with the stack that reached them.
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
trap 'rm -rf "$KAVRINTH_FUZZ_SCRATCH"' EXIT

run_target() {
  local target=$1
  local corpus=$build_dir/corpus/$target artifacts=$build_dir/artifacts/$target/
  mkdir -p "$corpus" "$artifacts"
  local seeds=()
  [ -d "fuzz/corpus/$target" ] && seeds=("$(pwd)/fuzz/corpus/$target")
  [ -d "fuzz/regressions/$target" ] && seeds+=("$(pwd)/fuzz/regressions/$target")
  # A hang is a finding too: no input may take ten seconds.
  local code=0
  "$build_dir/fuzz/$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$artifacts" "$corpus" "${seeds[@]}" >"$build_dir/logs/$target.log" 2>&1 ||
    code=$?
  echo "$code" >"$build_dir/logs/$target.status"
}

for target in "${targets[@]}"; do rm -f "$build_dir/logs/$target.status"; done
running=0
for target in "${targets[@]}"; do
  run_target "$target" &
  running=$((running + 1))
  if [ "$running" -ge "$parallel" ]; then
    wait -n || true
    running=$((running - 1))
  fi
done
wait

status=0

printf '%-24s %14s  %s\n' target executions result
for target in "${targets[@]}"; do
  result=ok
  [ "$(cat "$build_dir/logs/$target.status" 2>/dev/null)" = 0 ] ||
    result="FINDING (see $build_dir/logs/$target.log)"
  [ "$result" = ok ] || status=1
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build_dir/logs/$target.log")
  printf '%-24s %14s  %s\n' "$target" "${executions:-?}" "$result"
done
exit $status

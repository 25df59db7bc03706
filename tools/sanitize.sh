#!/usr/bin/env bash
# Builds the libraries, programs and tests, the Qt ones included, with AddressSanitizer
# and UndefinedBehaviorSanitizer into build-asan/ and runs every test there (the CI's
# sanitizer step; the Qt tests on the offscreen platform). The packages come from
# tools/setup.sh; g++'s sanitizer runtimes come with it. tools/lsan.supp and
# tools/asan.supp name the only findings not reported: leaks inside Qt and the system
# libraries, and reports from inside system libraries, each with its reason.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${KAVRINTH_ASAN_BUILD_DIR:-build-asan}
sanitizers="-fsanitize=address,undefined -fno-sanitize-recover=undefined"
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS="$sanitizers -fno-omit-frame-pointer" \
  -DCMAKE_EXE_LINKER_FLAGS="$sanitizers" -DCMAKE_SHARED_LINKER_FLAGS="$sanitizers"
cmake --build "$build_dir" -j "$(nproc)"

# Every finding fails its test: leaks too, and undefined behaviour stops the program.
export ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1:suppressions=$(pwd)/tools/asan.supp
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$(pwd)/tools/lsan.supp:print_suppressions=0
# Libraries of tools/lsan.supp that a test may load and unload (through a plot library
# opened with dlopen): the tests keep them loaded, so that a leak report can name them.
export KAVRINTH_KEEP_LOADED=libgomp.so.1
export QT_QPA_PLATFORM=offscreen
# A hanging test fails after its time limit, and a run that found no test fails too.
ctest --test-dir "$build_dir" --output-on-failure --timeout 120 --no-tests=error -j "$(nproc)"

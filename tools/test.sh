#!/usr/bin/env bash
# Sets up, builds and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
build_dir=${KAVRINTH_BUILD_DIR:-build}
# A hanging test fails after its time limit, and a run that found no test fails too.
ctest --test-dir "$build_dir" --output-on-failure --timeout 120 --no-tests=error -j "$(nproc)"

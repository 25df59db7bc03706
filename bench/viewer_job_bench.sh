#!/bin/sh
# Benchmark of the viewer's job file: writes a job of 1024 layer entries into a job file
# of about 60000 lines (the engine's sections of a Corvane job besides the layer table)
# and reads it back as the viewer opens a job, BENCH_RUNS times (default 3). The job has
# a fixed size, so the items argument of bench/run does not apply; there is no KLayout
# counterpart.
#
#   bench/viewer_job_bench.sh      (BUILD_DIR selects the build, default build/;
#                                   VIEWER_JOB_LINES the job's lines, default 60000)
#
# The lines "BENCH <figure> <item word> <items> <seconds> -", one per run, are for
# bench/run, which collects every benchmark's figures.
# Build targets: viewer_job_bench
set -eu

here=$(cd "$(dirname "$0")" && pwd)
. "$here/bench_lib.sh"
build=$(cd "${BUILD_DIR:-$(dirname "$here")/build}" && pwd)
lines=${VIEWER_JOB_LINES:-60000}
bench="$build/bench/viewer_job_bench"
[ -x "$bench" ] || { echo "viewer_job_bench: $bench is not built" >&2; exit 1; }

work=$(mktemp -d /tmp/viewer_job_bench.XXXXXX)
trap 'rm -rf "$work"' EXIT INT TERM

writes=""
reads=""
i=0
while [ "$i" -lt "$runs" ]; do
  set -- $("$bench" "$work/bench.job" "$lines")
  [ "$1" = 1024 ] || { echo "viewer_job_bench: read $1 entries" >&2; exit 1; }
  writes="$writes $2"
  reads="$reads $3"
  i=$((i + 1))
done
size="$(wc -l < "$work/bench.job") lines"
echo "vexil job write: 1024 layers: $(describe_times "$writes") ($size)"
echo "vexil job read: 1024 layers: $(describe_times "$reads") ($size)"
bench_lines vexil-job-write layers 1024 "$(printf '%s\n' $writes)" ""
bench_lines vexil-job-read layers 1024 "$(printf '%s\n' $reads)" ""

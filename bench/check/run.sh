#!/bin/sh
# Builds and runs the mail check benchmark: N = 1,000 and 10,000 messages
# (or the counts given), against Dovecot, with mpop as the reference.
#   bench/check/run.sh [BUILD_DIR] [N ...]
set -e
src=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$src/build-bench}
[ $# -gt 0 ] && shift
cmake -S "$src" -B "$build" -G Ninja -DVELMORA_BUILD_BENCH=ON >/dev/null
ninja -C "$build" -j2 bench_check
exec "$build/bench/check/bench_check" "$@"

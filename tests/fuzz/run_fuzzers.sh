#!/bin/sh
# Builds the decoder fuzzers with clang under ASan and UBSan, makes the seed
# corpora from the test fixtures and runs every target for a while.
#   tests/fuzz/run_fuzzers.sh [seconds per target, default 60] [build folder]
set -eu
seconds=${1:-60}
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${2:-$root/build-fuzz}
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug \
  -DREPNG_FUZZ=ON -DREPNG_SANITIZE=ON >/dev/null
cmake --build "$build" -j2 --target fuzz_make_seeds fuzz_png fuzz_bmp fuzz_gif fuzz_jpeg fuzz_tiff fuzz_image
seeds=$build/fuzz-seeds
"$build/tests/fuzz/fuzz_make_seeds" "$seeds"
status=0
for target in png bmp gif jpeg tiff image; do
  corpus=$build/fuzz-corpus/$target
  mkdir -p "$corpus" "$build/fuzz-crashes"
  echo "== fuzz_$target for ${seconds}s"
  # Fuzzing builds cap pictures at 4 Mpixels; the limits leave room for the libraries.
  "$build/tests/fuzz/fuzz_$target" "$corpus" "$seeds/$target" "$root/tests/fuzz/regressions" \
    -dict="$root/tests/fuzz/decoders.dict" -max_total_time="$seconds" -rss_limit_mb=4096 \
    -malloc_limit_mb=2048 -max_len=65536 -timeout=20 -print_final_stats=1 \
    -artifact_prefix="$build/fuzz-crashes/${target}-" 2>&1 | tail -n 12 || status=1
done
exit $status

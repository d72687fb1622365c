#!/usr/bin/env bash
# Builds the fuzz targets with clang under ASan and UBSan, makes the seed
# corpora and runs every target for a while. A target that crashes, leaks,
# hangs or runs out of memory is started again for the time it has left, so
# long runs count every failure; the inputs that failed are kept under
# <build>/fuzz-crashes. Ends with one line per target:
#   fuzz_<target>: <inputs executed> inputs, <failures> crashes
# and exits non-zero when any target failed.
#   tests/fuzz/run_fuzzers.sh [seconds per target, default 60] [build folder] [target...]
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${2:-$root/build-fuzz}
shift $(($# < 2 ? $# : 2))
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(png bmp gif jpeg tiff image load roundtrip deflate chunked)

# Debug keeps every check; -O1 runs the instrumented loops a good deal faster.
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_FLAGS_DEBUG="-g -O1" -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
  -DREPNG_FUZZ=ON -DREPNG_SANITIZE=ON >/dev/null
cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}" >/dev/null
mkdir -p "$build/fuzz-crashes" "$build/fuzz-logs" "${targets[@]/#/$build/fuzz-corpus/}"

# Seeds: small pictures in the formats' common variants (seed_recipes.txt),
# made with ImageMagick, each also under image/ for the whole-file targets;
# for the round trip, bitmaps of every shape (see program_fuzzer.cpp) over
# noise.
seeds=$build/fuzz-seeds
rm -rf "$seeds"
mkdir -p "$seeds/image" "$seeds/roundtrip"
while read -r format name options; do
  mkdir -p "$seeds/$format"
  # shellcheck disable=SC2086
  convert -size 13x7 gradient:red-blue -seed 1 -attenuate 0.3 +noise uniform ${options//@/$seeds/$format/$name}
  cp "$seeds/$format/$name" "$seeds/image/${format}_$name"
done < <(grep -v "^#" "$root/tests/fuzz/seed_recipes.txt")
for shape in 0 1 2 3 4 5 13 21 29 33 66 99 128 133 193 225; do
  printf "\\$(printf %o $((shape * 37 % 256)))\\$(printf %o $((shape % 17)))\\$(printf %o "$shape")" |
    cat - <(head -c 6000 /dev/urandom) >"$seeds/roundtrip/shape_$shape"
done

# For deflate: a first byte (effort, segment size) before text, a picture,
# zeros, noise and a short period.
mkdir -p "$seeds/deflate"
{ printf '\104'; head -c 4000 "$root/README.md"; } >"$seeds/deflate/text"
{ printf '\202'; head -c 4000 "$root/samples/glow.png"; } >"$seeds/deflate/png"
{ printf '\301'; head -c 4000 /dev/zero; } >"$seeds/deflate/zeros"
{ printf '\207'; head -c 1800 /dev/urandom; } >"$seeds/deflate/noise"
{ printf '\106'; for i in $(seq 300); do printf 'abcabd'; done; } >"$seeds/deflate/period"

summary=()
for target in "${targets[@]}"; do
  inputs=("$seeds/$target" "$root/tests/fuzz/regressions")
  options=(-dict="$root/tests/fuzz/decoders.dict" -max_len=65536)
  case $target in
    # The round trip reads at most 3 + 256 * 4 + 32 * 32 * 4 bytes: longer
    # inputs only give the mutator bytes that change nothing.
    roundtrip) inputs=("$seeds/roundtrip"); options=(-max_len=5123) ;;
    load) inputs[0]=$seeds/image ;;
    # Long enough to cross three 1 KiB segments; longer inputs only slow
    # the round trips down.
    deflate) inputs=("$seeds/deflate"); options=(-max_len=4096) ;;
    # The same seeds; their first byte picks a level and a chunk size.
    chunked) inputs=("$seeds/deflate"); options=(-max_len=16384) ;;
  esac
  echo "== fuzz_$target for ${seconds}s"
  executed=0; crashes=0; start=$SECONDS
  # At most 20 restarts: a crash found at once would otherwise restart the
  # target without end.
  while left=$((seconds - (SECONDS - start))); [ "$left" -gt 0 ] && [ "$crashes" -lt 20 ]; do
    log=$build/fuzz-logs/$target.log
    # Fuzzing builds cap pictures at 4 Mpixels; the limits leave room for the libraries.
    failed=0
    "$build/tests/fuzz/fuzz_$target" "$build/fuzz-corpus/$target" "${inputs[@]}" "${options[@]}" \
      -max_total_time="$left" -rss_limit_mb=4096 -malloc_limit_mb=2048 -timeout=20 \
      -print_final_stats=1 -artifact_prefix="$build/fuzz-crashes/$target-" >"$log" 2>&1 || failed=1
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    executed=$((executed + ${runs:-0}))
    [ "$failed" = 1 ] || break
    crashes=$((crashes + 1))
    cp "$log" "$build/fuzz-crashes/$target-$crashes.log"
    grep -E '^(==[0-9]+==ERROR|SUMMARY|artifact_prefix|.*runtime error)' "$log" | head -n 5 || true
  done
  summary+=("fuzz_$target: $executed inputs, $crashes crashes")
  echo "${summary[-1]}"
done
echo "== summary"
printf '%s\n' "${summary[@]}"
! printf '%s\n' "${summary[@]}" | grep -qv ' 0 crashes$'

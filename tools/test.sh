#!/usr/bin/env bash
# Installs what is missing, builds repng.exe for Windows (build-windows/),
# then builds repng and its tests twice, plainly (build/) and under
# AddressSanitizer + UndefinedBehaviorSanitizer (build-asan/), and runs the
# whole suite in both; the plain one also runs repng.exe under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
# The Windows program first: the plain build's suite then tests it under Wine.
bash tools/build-windows.sh

jobs=$(nproc)
passed=0
run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" "$@" > /dev/null
  cmake --build "$dir" -j"$jobs"
  ctest --test-dir "$dir" --output-on-failure -j"$jobs" --timeout 600 | tee "$dir/ctest-summary.log"
  # ctest has failed the script already if any test failed.
  passed=$((passed + $(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$dir/ctest-summary.log")))
}

run_suite build -DCMAKE_BUILD_TYPE=Release
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DREPNG_SANITIZE=ON

# A short run of every fuzz target (clang, ASan + UBSan, build-fuzz/); a
# crash, leak or hang in any of them fails.
bash tests/fuzz/run_fuzzers.sh 40

echo "all suites: $passed passed, 0 failed"

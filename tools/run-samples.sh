#!/usr/bin/env bash
# Installs what is missing, builds build/repng, and runs it on a copy of the
# bundled sample images (the originals in samples/ are never touched).
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build build -j"$(nproc)" --target repng

work=$(mktemp -d /tmp/repng-samples.XXXXXX)
cp samples/* "$work"/
echo "Sample copies in $work; repng's report (code page 936, shown here as UTF-8):"
set +e
build/repng "$work"/* | iconv -f GBK -t UTF-8
status=${PIPESTATUS[0]}
set -e
echo
echo "exit status $status"
ls -l "$work"

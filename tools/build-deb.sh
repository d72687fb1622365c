#!/usr/bin/env bash
# Installs what is missing, builds repng and packs it as
# build/repng_<version>_amd64.deb.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build build -j"$(nproc)"
(cd build && cpack -G DEB > /dev/null)
ls "$PWD"/build/repng_*_amd64.deb

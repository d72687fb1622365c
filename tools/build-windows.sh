#!/usr/bin/env bash
# Builds build-windows/repng.exe on Debian 12. Run as root from anywhere.
#
# The codec libraries are Debian's own sources of the very versions the Linux
# build links, cross-built as static libraries with mingw-w64, so that both
# builds decode with the same code. Each library is built once into
# $REPNG_MINGW_CACHE/<package>-<version>/ and reused from then on; the
# folder's .source-version tells which Debian revision was built.
set -Eeuo pipefail
shopt -s inherit_errexit
trap 'echo "build-windows: failed${build:+ (log: $build.log)}" >&2' ERR
cd "$(dirname "$0")/.."
top=$PWD

cache=${REPNG_MINGW_CACHE:-/var/cache/repng-mingw}
host=x86_64-w64-mingw32
sysroot=/usr/$host
toolchain=$top/cmake/mingw-w64-x86_64.cmake
jobs=2

# The Linux libraries tell which versions to build.
bash tools/install-deps.sh

# locales: the tests under Wine make a Chinese locale of their own.
packages=(g++-mingw-w64-x86-64-posix mingw-w64-tools libz-mingw-w64-dev wine64 nasm make locales)
bash tools/apt-install-missing.sh "${packages[@]}"

# apt-get source needs deb-src entries. Ours mirror the machine's own entries
# for Debian 12, so no archive address is written down anywhere but there.
deb_src_list=/etc/apt/sources.list.d/repng-deb-src.list
deb_src_sources=/etc/apt/sources.list.d/repng-deb-src.sources
AddDebSrcEntries() {
  local legacy=() f
  [ -f /etc/apt/sources.list ] && legacy+=(/etc/apt/sources.list)
  for f in /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] && [ "$f" != "$deb_src_list" ] && legacy+=("$f")
  done
  if [ ${#legacy[@]} -gt 0 ]; then
    # One-line form: "deb [options] URI SUITE COMPONENT..."
    sed -n -E 's/^[[:space:]]*deb([[:space:]].*[[:space:]]bookworm[^[:space:]]*[[:space:]].*)$/deb-src\1/p' \
      "${legacy[@]}" > "$deb_src_list.new"
  else
    : > "$deb_src_list.new"
  fi
  local deb822=()
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && [ "$f" != "$deb_src_sources" ] && deb822+=("$f")
  done
  if [ ${#deb822[@]} -gt 0 ]; then
    # deb822 form: copy each enabled "Types: deb" stanza for bookworm.
    awk '
      function flush() {
        if (types ~ /(^|[[:space:]])deb([[:space:]]|$)/ && suites ~ /bookworm/ && enabled !~ /^[[:space:]]*no/) {
          print "Types: deb-src"; printf "%s", body; print ""
        }
        types = ""; suites = ""; enabled = ""; body = ""
      }
      /^[[:space:]]*$/ { flush(); next }
      /^#/ { next }
      /^Types:/ { types = substr($0, 7); next }
      /^Suites:/ { suites = substr($0, 8) }
      /^Enabled:/ { enabled = substr($0, 9) }
      { body = body $0 "\n" }
      END { flush() }
    ' "${deb822[@]}" > "$deb_src_sources.new"
  else
    : > "$deb_src_sources.new"
  fi
  if [ ! -s "$deb_src_list.new" ] && [ ! -s "$deb_src_sources.new" ]; then
    rm -f "$deb_src_list.new" "$deb_src_sources.new"
    echo "build-windows: no Debian 12 (bookworm) entry in the apt sources to copy" >&2
    exit 1
  fi
  local f2
  for f2 in "$deb_src_list" "$deb_src_sources"; do
    if [ -s "$f2.new" ]; then mv "$f2.new" "$f2"; else rm -f "$f2.new" "$f2"; fi
  done
  apt-get update -qq
}

# The installed version of the source package behind a Linux -dev package.
SourceOf() { dpkg-query -W -f='${source:Package}' "$1"; }
SourceVersionOf() { dpkg-query -W -f='${source:Version}' "$1"; }

# Unpacks one source version under $cache/src; fails when it cannot be had.
UnpackSource() {
  local name=$1 version=$2
  local upstream=${version#*:}
  upstream=${upstream%-*}
  local parent=$cache/src/${name}_${version//:/_}
  local dir=$parent/$name-$upstream
  if [ ! -d "$dir" ]; then
    rm -rf "$parent"
    mkdir -p "$parent"
    if ! (cd "$parent" && apt-get -o APT::Sandbox::User=root source -qq "$name=$version" > /dev/null 2>&1); then
      rm -rf "$parent"
      return 1
    fi
  fi
  echo "$dir"
}

# Prints the folder of the sources of exactly the Linux version. Where the
# archive no longer has them, or serves that version's binaries but not its
# sources (a security update, on some mirrors), falls back to the newest
# Debian revision of the same upstream release that it does serve, and says
# so loudly.
FetchSource() {
  local name=$1 version=$2
  [ -f "$deb_src_list" ] || [ -f "$deb_src_sources" ] || AddDebSrcEntries
  if UnpackSource "$name" "$version"; then
    return 0
  fi
  local upstream=${version%-*} candidate
  for candidate in $(apt-cache showsrc "$name" | sed -n 's/^Version: //p' | sort -rVu); do
    [ "${candidate%-*}" = "$upstream" ] && [ "$candidate" != "$version" ] || continue
    if UnpackSource "$name" "$candidate"; then
      echo "build-windows: WARNING: the sources of $name $version cannot be downloaded;" \
        "built $candidate instead" >&2
      echo "$candidate" > "$prefix/.source-version"
      return 0
    fi
  done
  echo "build-windows: no sources of $name $upstream can be downloaded" >&2
  return 1
}

# Sets the globals name, version and prefix (the package's install folder)
# for the source package behind a Linux -dev package.
SelectPackage() {
  name=$(SourceOf "$1")
  version=$(SourceVersionOf "$1")
  prefix=$cache/$name-${version//:/_}
  prefixes+=("$prefix")
}
NeedsBuild() { [ ! -f "$prefix/.built" ]; }
# Unpacks the sources (global src) and makes a fresh build folder (build).
BeginPackage() {
  echo "build-windows: cross-building $name $version" >&2
  build=$cache/build/$name
  rm -rf "$build" "$prefix"
  mkdir -p "$build" "$prefix"
  echo "$version" > "$prefix/.source-version"
  src=$(FetchSource "$name" "$version")
}
EndPackage() {
  rm -rf "$build"
  touch "$prefix/.built"
}

cmake_cross=(
  -DCMAKE_TOOLCHAIN_FILE="$toolchain"
  -DCMAKE_BUILD_TYPE=Release
  -DBUILD_SHARED_LIBS=OFF
  -DZLIB_INCLUDE_DIR="$sysroot/include"
  -DZLIB_LIBRARY="$sysroot/lib/libz.a"
)
CMakePackage() {
  cmake -S "$src${cmake_subdir:-}" -B "$build" "${cmake_cross[@]}" -DCMAKE_INSTALL_PREFIX="$prefix" "$@" > "$build.log"
  cmake --build "$build" -j"$jobs" >> "$build.log"
  cmake --install "$build" >> "$build.log"
}

prefixes=()

SelectPackage libdeflate-dev
if NeedsBuild; then
  BeginPackage
  # Its Makefile builds in the source folder and, knowing mingw by the
  # compiler, names the static library the MSVC way.
  cp -a "$src/." "$build/"
  make -C "$build" -j"$jobs" CC="$host-gcc-posix" AR="$host-ar" \
    CFLAGS="-O2" libdeflatestatic.lib > "$build.log"
  mkdir -p "$prefix/include" "$prefix/lib"
  cp "$build/libdeflate.h" "$prefix/include/"
  cp "$build/libdeflatestatic.lib" "$prefix/lib/libdeflate.a"
  EndPackage
fi
deflate_prefix=$prefix

SelectPackage libjpeg62-turbo-dev
if NeedsBuild; then
  BeginPackage
  CMakePackage -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF \
    -DWITH_JPEG8=OFF -DWITH_JPEG7=OFF -DREQUIRE_SIMD=ON
  EndPackage
fi
jpeg_prefix=$prefix

SelectPackage libpng-dev
if NeedsBuild; then
  BeginPackage
  CMakePackage -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF
  EndPackage
fi

SelectPackage libspng-dev
if NeedsBuild; then
  BeginPackage
  # One C file; built as Debian builds it (no architecture-specific code).
  # Its users must define SPNG_STATIC.
  mkdir -p "$prefix/include" "$prefix/lib"
  "$host-gcc-posix" -O2 -DSPNG_STATIC -DSPNG_DISABLE_OPT=1 -I"$sysroot/include" \
    -c "$src/spng/spng.c" -o "$build/spng.o"
  "$host-ar" rcs "$prefix/lib/libspng.a" "$build/spng.o"
  cp "$src/spng/spng.h" "$prefix/include/"
  EndPackage
fi

SelectPackage libgif-dev
if NeedsBuild; then
  BeginPackage
  # Only the library; its Makefile also wants to build tools and documents.
  mkdir -p "$prefix/include" "$prefix/lib"
  for c in dgif_lib egif_lib gifalloc gif_err gif_font gif_hash openbsd-reallocarray; do
    "$host-gcc-posix" -O2 -c "$src/$c.c" -o "$build/$c.o"
  done
  "$host-ar" rcs "$prefix/lib/libgif.a" "$build"/*.o
  cp "$src/gif_lib.h" "$prefix/include/"
  EndPackage
fi

# The compressions Debian's libtiff reads besides zlib and JPEG: a TIFF that
# the Linux build can read must be readable here too.
SelectPackage libzstd-dev
if NeedsBuild; then
  BeginPackage
  cmake_subdir=/build/cmake CMakePackage -DZSTD_BUILD_PROGRAMS=OFF -DZSTD_BUILD_TESTS=OFF \
    -DZSTD_BUILD_SHARED=OFF -DZSTD_BUILD_STATIC=ON -DZSTD_MULTITHREAD_SUPPORT=OFF
  EndPackage
fi
zstd_prefix=$prefix

SelectPackage liblzma-dev
if NeedsBuild; then
  BeginPackage
  CMakePackage
  EndPackage
fi
lzma_prefix=$prefix

SelectPackage libwebp-dev
if NeedsBuild; then
  BeginPackage
  CMakePackage -DWEBP_BUILD_ANIM_UTILS=OFF -DWEBP_BUILD_CWEBP=OFF -DWEBP_BUILD_DWEBP=OFF \
    -DWEBP_BUILD_GIF2WEBP=OFF -DWEBP_BUILD_IMG2WEBP=OFF -DWEBP_BUILD_VWEBP=OFF \
    -DWEBP_BUILD_WEBPINFO=OFF -DWEBP_BUILD_WEBPMUX=OFF -DWEBP_BUILD_EXTRAS=OFF
  EndPackage
fi
webp_prefix=$prefix

SelectPackage libjbig-dev
if NeedsBuild; then
  BeginPackage
  mkdir -p "$prefix/include" "$prefix/lib"
  for c in jbig jbig_ar; do
    "$host-gcc-posix" -O2 -c "$src/libjbig/$c.c" -o "$build/$c.o"
  done
  "$host-ar" rcs "$prefix/lib/libjbig.a" "$build"/*.o
  cp "$src/libjbig/jbig.h" "$src/libjbig/jbig_ar.h" "$prefix/include/"
  EndPackage
fi
jbig_prefix=$prefix

SelectPackage liblerc-dev
if NeedsBuild; then
  BeginPackage
  CMakePackage
  EndPackage
fi
lerc_prefix=$prefix

SelectPackage libtiff-dev
if NeedsBuild; then
  BeginPackage
  # The codecs of Debian's build; the static liblzma and Lerc headers
  # declare DLL imports unless told otherwise.
  CMakePackage -Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-contrib=OFF -Dtiff-docs=OFF \
    -Dcxx=OFF -Dzlib=ON -Djpeg=ON -Dlibdeflate=ON -Dold-jpeg=ON -Djpeg12=OFF \
    -Dlzma=ON -Dzstd=ON -Dwebp=ON -Djbig=ON -Dlerc=ON -Dpixarlog=ON \
    -DCMAKE_C_FLAGS="-DLZMA_API_STATIC -DLERC_STATIC" \
    -DCMAKE_PREFIX_PATH="$jpeg_prefix;$deflate_prefix;$zstd_prefix;$lzma_prefix;$webp_prefix;$jbig_prefix;$lerc_prefix"
  grep -q 'ZSTD support:.*Support:TRUE' "$build.log"
  grep -q 'LZMA2 support:.*Support:TRUE' "$build.log"
  grep -q 'WEBP support:.*Support:TRUE' "$build.log"
  grep -q 'ISO JBIG support:.*Support:TRUE' "$build.log"
  grep -q 'LERC support:.*Support:TRUE' "$build.log"
  EndPackage
fi

prefix_path=$(IFS=';'; echo "${prefixes[*]}")
build=
# Libraries found in another cache folder would stay in CMake's cache.
if [ -f build-windows/CMakeCache.txt ] &&
   ! grep -qxF "CMAKE_PREFIX_PATH:UNINITIALIZED=$prefix_path" build-windows/CMakeCache.txt; then
  rm -f build-windows/CMakeCache.txt
fi
cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DREPNG_BUILD_TESTS=OFF -DCMAKE_PREFIX_PATH="$prefix_path"
# The small Windows programs that the tests under Wine use come along.
cmake --build build-windows -j"$jobs" --target repng repng_windows_test_helpers
echo "build-windows: $top/build-windows/repng.exe"

#!/usr/bin/env bash
# Runs build/deflate_bench on PNG files' filtered data, in groups: the
# samples that are PNGs, every sample as build/repng rewrites it, and
# pictures made here with ImageMagick (screenshot-like, icon-like and
# photo-like), as made and as build/repng rewrites them. The rewritten
# files carry the filtered data that the encoder's search chose.
#   bench/deflate_bench.sh [deflate_bench options...]
# With --corpus, the groups are instead the categories of compare_peers'
# corpus, each file encoded by build/encoder_bench (its winning finalist's
# filtered data, whether or not the file would be rewritten); the large
# categories give only their subset's pictures up to 2560 x 1600, on which
# zopfli's 15 rounds take minutes each:
#   bench/deflate_bench.sh --corpus [CORPUS_DIR] [deflate_bench options...]
# Prints the Markdown tables; the inputs stay under $DEFLATE_BENCH_DIR
# (default a temporary folder, removed at the end).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=${DEFLATE_BENCH_DIR:-$(mktemp -d)}
[ -n "${DEFLATE_BENCH_DIR:-}" ] || trap 'rm -rf "$work"' EXIT

if [ "${1:-}" = --corpus ]; then
  shift
  corpus=${XDG_CACHE_HOME:-/var/cache}/repng-bench/corpus
  if [ -n "${1:-}" ] && [ "${1#--}" = "$1" ]; then corpus=$1; shift; fi
  groups=()
  for category in $(/usr/bin/python3 -c 'import json, sys
print(" ".join(json.load(open(sys.argv[1]))["categories"]))' "$corpus/manifest.json"); do
    mkdir -p "$work/$category"
    /usr/bin/python3 -c 'import json, sys
for f in json.load(open(sys.argv[1]))["categories"][sys.argv[2]]:
    if f["category"] not in ("wallpapers", "screenshots") or (f["subset"] and f["width"] * f["height"] <= 2560 * 1600):
        print(sys.argv[3] + "/" + f["category"] + "/" + f["name"])' "$corpus/manifest.json" "$category" "$corpus" \
      | xargs -d '\n' "$root/build/encoder_bench" --out="$work/$category" > /dev/null
    groups+=("$work/$category")
  done
  "$root/build/deflate_bench" "$@" "${groups[@]}"
  exit
fi
mkdir -p "$work"/{samples,samples-repng,screenshots,icons,photos}

cp "$root"/samples/*.png "$work/samples/"
cp "$root"/samples/* "$work/samples-repng/"

# Screenshot-like: flat panels, a title bar, lines of small text.
for n in 1 2 3; do
  args=()
  for line in $(seq 0 38); do
    args+=(-draw "text $((20 + n * 7)),$((70 + line * 18)) 'Line $line of window $n: the quick brown fox jumps over the lazy dog, 0123456789 $((line * n * 7919))'")
  done
  convert -size 1024x768 xc:'#f3f3f3' -fill '#2b579a' -draw 'rectangle 0,0 1024,32' \
    -fill '#ffffff' -draw "rectangle 10,50 $((600 + n * 40)),760" -fill '#e1e8f0' -draw 'rectangle 700,50 1014,760' \
    -font DejaVu-Sans -pointsize 12 -fill '#202020' "${args[@]}" -depth 8 "$work/screenshots/screen$n.png"
done

# Icon-like: small pictures with alpha, shading and outlines.
size_index=0
for size in 16 24 32 48 64 96 128 256; do
  size_index=$((size_index + 1))
  convert -size ${size}x${size} xc:none \
    -fill "radial-gradient:#ffd040-#c04000" -draw "circle $((size / 2)),$((size / 2)) $((size / 2)),$((size / 10))" \
    -depth 8 "$work/icons/ball$size.png"
  convert -size ${size}x${size} xc:none -fill '#3a7bd5' -stroke '#103060' -strokewidth $((size / 16 + 1)) \
    -draw "roundrectangle $((size / 8)),$((size / 8)) $((size * 7 / 8)),$((size * 7 / 8)) $((size / 6)),$((size / 6))" \
    -fill white -stroke none -draw "polygon $((size / 3)),$((size / 4)) $((size / 3)),$((size * 3 / 4)) $((size * 3 / 4)),$((size / 2))" \
    -depth 8 "$work/icons/play$size.png"
  convert -size ${size}x${size} gradient:'#80ff80-#004000' -seed $size_index -attenuate 0.2 +noise Gaussian \
    -alpha set -channel A -fx "hypot(i-w/2,j-h/2)<w/2.2" +channel -depth 8 "$work/icons/leaf$size.png"
done

# Photo-like: fractal plasma, smoothed, at a camera-like noise level.
for n in 1 2 3; do
  convert -size 640x480 -seed $n plasma:fractal -blur 0x2 -attenuate 0.25 +noise Gaussian -depth 8 "$work/photos/photo$n.png"
done

mkdir -p "$work/screenshots-repng" "$work/icons-repng" "$work/photos-repng"
for group in screenshots icons photos; do cp "$work/$group"/*.png "$work/$group-repng/"; done
# repng rewrites the files in place and waits for a key at the end.
for group in samples-repng screenshots-repng icons-repng photos-repng; do
  "$root/build/repng" "$work/$group"/* </dev/null >/dev/null 2>&1 || true
done
echo "Inputs: $(ls "$work" | tr '\n' ' ')"
"$root/build/deflate_bench" "$@" "$work/samples" "$work/samples-repng" "$work/screenshots" \
  "$work/screenshots-repng" "$work/icons" "$work/icons-repng" "$work/photos" "$work/photos-repng"

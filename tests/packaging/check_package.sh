#!/usr/bin/env bash
# Builds the Debian package from a finished build tree, unpacks it into a
# scratch folder and checks what it installs: files, dependencies, desktop
# entry, man page, lintian, the installed program on a sample picture, and
# the desktop entry's command in a terminal.
set -euo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/out" > "$work/cpack.log") || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/out/repng_*_amd64.deb) || fail "no repng_<version>_amd64.deb"

# Every shared library the programs link must be a dependency, and each
# dependency must be a real package.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libstdc++6 libspng0 libdeflate0 libjpeg62-turbo libgif7 libtiff6; do
  grep -q "\b$lib\b" <<<"$depends" || fail "Depends lacks $lib: $depends"
done

dpkg -x "$deb" "$work/root"
root=$work/root/usr
for f in bin/repng bin/repng-gbk-view share/applications/repng.desktop share/man/man1/repng.1.gz \
         share/man/man1/repng-gbk-view.1.gz \
         share/icons/hicolor/scalable/apps/repng.svg share/doc/repng/copyright \
         share/doc/repng/changelog.gz; do
  [ -f "$root/$f" ] || fail "missing /usr/$f"
done
[ -x "$root/bin/repng" ] && [ -x "$root/bin/repng-gbk-view" ] || fail "repng or its launcher not executable"

desktop-file-validate "$root/share/applications/repng.desktop" || fail "desktop entry"
grep -q '^Terminal=true$' "$root/share/applications/repng.desktop" || fail "desktop Terminal"

# The man page renders without warnings, names every report line, what a
# rewrite drops and what a kill can leave.
man_text=$(zcat "$root/share/man/man1/repng.1.gz" | groff -man -Tutf8 -ww -k -P-cbou 2>"$work/groff.err")
[ -s "$work/groff.err" ] && { cat "$work/groff.err"; fail "man page warnings"; }
for phrase in 不是图片 不处理 新大小 写入失败 文件已损坏 新图片在 "EXIT STATUS" FILES "~repng0" repng-original tEXt iconv repng-gbk-view; do
  grep -q "$phrase" <<<"$man_text" || fail "man page lacks $phrase"
done

if command -v lintian > /dev/null; then
  lintian --fail-on error --suppress-tags-from-file /dev/null "$deb" > "$work/lintian.log" 2>&1 \
    || { cat "$work/lintian.log"; fail "lintian errors"; }
fi

# The installed program rewrites a BMP as a smaller PNG.
cp "$src/samples/landscape.bmp" "$work/pic.bmp"
before=$(stat -c %s "$work/pic.bmp")
"$root/bin/repng" "$work/pic.bmp" < /dev/null > "$work/report" || true
after=$(stat -c %s "$work/pic.bmp")
[ "$after" -lt "$before" ] || fail "installed repng did not shrink the BMP ($before -> $after)"
head -c 8 "$work/pic.bmp" | cmp -s - <(printf '\x89PNG\r\n\x1a\n') || fail "rewritten file is not PNG"
grep -q "$(printf 'pic.bmp\xa3\xac\xd4\xad\xb4\xf3\xd0\xa1')" "$work/report" || fail "report line"
bash "$src/tests/packaging/check_launcher.sh" "$root" "$src" || fail "desktop launcher"
echo "package ok: $(basename "$deb")"

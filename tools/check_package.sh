#!/usr/bin/env bash
# Builds the Debian package from a build tree (cpack -G DEB) and checks it:
# its file list, its dependencies (found by dpkg-shlibdeps), the desktop entry
# and AppStream file (desktop-file-validate, appstreamcli validate), the man
# page (man --warnings), that every command of `velmora --help` is described in
# the man page and the manual, that the installed language files pass
# `velmora --check-language` with nothing missing, and that the program
# unpacked into a throwaway root (dpkg -x) runs: `velmora --version`.
# Usage: tools/check_package.sh [BUILD_DIR]   (default: $VELMORA_BUILD_DIR or build)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=$(cd "${1:-${VELMORA_BUILD_DIR:-build}}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
bad() { echo "check_package: $*" >&2; fail=1; }

cmake --build "$BUILD_DIR" --target velmora velmora_desktop_files >/dev/null
(cd "$BUILD_DIR" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || {
  cat "$work/cpack.log" >&2
  exit 1
}
deb=$(ls "$work"/out/velmora_*.deb)
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/files"

for f in /usr/bin/velmora /usr/share/applications/velmora.desktop \
  /usr/share/metainfo/org.velmora.Velmora.metainfo.xml /usr/share/icons/hicolor/scalable/apps/velmora.svg \
  /usr/share/man/man1/velmora.1.gz /usr/share/doc/velmora/manual/index.html \
  /usr/share/doc/velmora/manual/manual.css /usr/share/velmora/lang/english.lng \
  /usr/share/velmora/lang/polish.lng /usr/share/velmora/lang/german.lng; do
  grep -qxF "$f" "$work/files" || bad "missing $f"
done
for s in 16 22 24 32 48 64 128 256; do
  grep -qxF "/usr/share/icons/hicolor/${s}x${s}/apps/velmora.png" "$work/files" || bad "missing ${s}x${s} icon"
done
# Nothing of the build or the tests is shipped.
if grep -E '^/usr/(include|lib)/|test_|\.a$' "$work/files"; then bad "build or test files in the package"; fi

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for d in libc6 libqt6core6 libqt6widgets6 libqt6webenginewidgets6 libgmime-3.0-0 libssl3 libqt6webenginecore6-bin; do
  [[ ",$depends" == *", $d"* || "$depends" == "$d"* ]] || bad "Depends lacks $d"
done
[ "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)" ] || bad "wrong architecture"

root="$work/root"
dpkg -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/velmora.desktop" || bad "desktop entry does not validate"
appstreamcli validate --no-net --explain "$root/usr/share/metainfo/org.velmora.Velmora.metainfo.xml" >"$work/as.log" 2>&1 ||
  { cat "$work/as.log" >&2; bad "metainfo does not validate"; }
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/velmora.1.gz" 2>&1 >/dev/null || true)
[ -z "$warnings" ] || bad "man page warnings: $warnings"
for s in 16 256; do
  file "$root/usr/share/icons/hicolor/${s}x${s}/apps/velmora.png" | grep -q "PNG image data, $s x $s" || bad "icon ${s}x${s} is not a ${s}-pixel PNG"
done

# The unpacked program runs from its throwaway root (no display needed).
version=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/velmora" --version) || bad "velmora --version failed"
echo "installed program: $version"
[[ "$version" == *"$(dpkg-deb -f "$deb" Version)"* ]] || bad "version '$version' is not the package's"

# The installed language files are complete translations the program accepts.
for f in "$root"/usr/share/velmora/lang/*.lng; do
  report=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/velmora" --check-language "$f") ||
    bad "$(basename "$f") is not accepted"
  grep -q '^Complete:' <<<"$report" || bad "$(basename "$f") lacks texts: $report"
done

# Every command of the program is described in the man page and the manual.
man=$(zcat "$root/usr/share/man/man1/velmora.1.gz" | sed 's/\\-/-/g')
manual=$(cat "$root/usr/share/doc/velmora/manual/index.html")
for c in $("$root/usr/bin/velmora" --help | grep -oE '^  --[a-z-]+' | sort -u) --data-dir --demo --version -startup; do
  grep -qF -- "$c" <<<"$man" || bad "man page lacks $c"
  grep -qF -- "<code>$c" <<<"$manual" || bad "manual lacks $c"
done

[ $fail -eq 0 ] && echo "check_package: $(basename "$deb") ok ($(du -k "$deb" | cut -f1) KiB, $(wc -l <"$work/files") entries)"
exit $fail

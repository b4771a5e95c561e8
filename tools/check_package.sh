#!/usr/bin/env bash
# Builds the Debian package from a build tree (cpack -G DEB) and checks it:
# its file list, its dependencies (found by dpkg-shlibdeps) and recommended
# packages, lintian (every tag it still reports is overridden, with the
# reason, in debian/velmora.lintian-overrides), the machine-readable copyright
# file and the change log, the desktop entry and AppStream file
# (desktop-file-validate, appstreamcli validate), the man page (man
# --warnings), that every command of `velmora --help` is described in the man
# page and the manual, and that the program unpacked into a throwaway root
# (dpkg -x) runs: `velmora --version`, `--help`, and `--demo` offscreen for a
# few seconds, ended by SIGTERM.
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
  /usr/share/doc/velmora/manual/manual.css /usr/share/doc/velmora/copyright \
  /usr/share/doc/velmora/changelog.Debian.gz /usr/share/lintian/overrides/velmora \
  /usr/share/velmora/lang/english.lng /usr/share/velmora/lang/polish.lng \
  /usr/share/velmora/lang/german.lng; do
  grep -qxF "$f" "$work/files" || bad "missing $f"
done
for s in 16 22 24 32 48 64 128 256; do
  grep -qxF "/usr/share/icons/hicolor/${s}x${s}/apps/velmora.png" "$work/files" || bad "missing ${s}x${s} icon"
done
# Nothing of the build or the tests is shipped.
if grep -E '^/usr/(include|lib)/|test_|\.a$' "$work/files"; then bad "build or test files in the package"; fi

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for d in libc6 libqt6core6 libqt6widgets6 libqt6webenginewidgets6 libgmime-3.0-0 libssl3 libqt6webenginecore6-bin libsecret-1-0; do
  [[ ",$depends" == *", $d"* || "$depends" == "$d"* ]] || bad "Depends lacks $d"
done
# The fonts that draw mail in every script and the fixed-pitch views.
recommends=$(dpkg-deb -f "$deb" Recommends)
echo "Recommends: $recommends"
for r in xdg-utils fonts-dejavu-core fonts-noto-core fonts-noto-mono fonts-noto-cjk fonts-noto-color-emoji; do
  [[ ", $recommends," == *", $r,"* ]] || bad "Recommends lacks $r"
done
[[ "$recommends" == *"gnome-keyring"* ]] || bad "Recommends lacks a Secret Service (gnome-keyring)"
for r in xdg-utils fonts-noto-core fonts-noto-cjk fonts-noto-color-emoji fonts-dejavu-core; do
  [[ ", $recommends," == *", $r,"* ]] || bad "Recommends lacks $r"
done
version=$(dpkg-deb -f "$deb" Version)
[[ "$version" == *-* ]] || bad "version $version has no Debian revision (changelog.Debian.gz is for non-native packages)"

# lintian, on the package as built; the overrides shipped in it explain what
# it still reports. Info tags count too: a new one needs a fix or a reason.
lintian --display-info --show-overrides "$deb" >"$work/lintian.log" 2>&1 || true
if grep -E '^[EWIX]: ' "$work/lintian.log" >&2; then bad "lintian reports tags"; fi
grep -qE '^O: ' "$work/lintian.log" || { cat "$work/lintian.log" >&2; bad "lintian did not run"; }
grep '^O: ' "$work/lintian.log"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)" ] || bad "wrong architecture"

root="$work/root"
dpkg -x "$deb" "$root"
# The change log's newest entry is the package's version.
zcat "$root/usr/share/doc/velmora/changelog.Debian.gz" >"$work/changelog"
logversion=$(dpkg-parsechangelog -l "$work/changelog" -S Version)
[ "$logversion" = "$version" ] || bad "changelog.Debian.gz is at $logversion, the package at $version"
# The copyright file in the machine-readable format: the format line, every
# Files paragraph with Copyright and License, every licence named there
# spelled out in a License paragraph of its own, and this project's licence.
python3 - "$root/usr/share/doc/velmora/copyright" <<'PY' || bad "copyright file is not machine-readable (DEP-5)"
import re, sys
paras = [p for p in re.split(r"\n\s*\n", open(sys.argv[1], encoding="utf-8").read().strip()) if p]
def fields(p):
    out, key = {}, None
    for line in p.split("\n"):
        if line[:1] in (" ", "\t") and key:
            out[key] += "\n" + line.strip()
        else:
            key, _, value = line.partition(":")
            assert value or line.endswith(":"), "not a field: " + line
            out[key] = value.strip()
    return out
ps = [fields(p) for p in paras]
assert ps[0].get("Format") == "https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/", "format line"
files = [p for p in ps[1:] if "Files" in p]
assert files and all("Copyright" in p and "License" in p for p in files), "Files paragraphs"
named = {p["License"].split("\n")[0] for p in files}
spelled = {p["License"].split("\n")[0] for p in ps[1:] if "Files" not in p and "\n" in p.get("License", "")}
assert named <= spelled, "licences without text: %s" % (named - spelled)
assert [p for p in files if p["Files"] == "*"][0]["License"] == "GPL-3+", "the project's licence"
PY
desktop-file-validate "$root/usr/share/applications/velmora.desktop" || bad "desktop entry does not validate"
appstreamcli validate --no-net --explain "$root/usr/share/metainfo/org.velmora.Velmora.metainfo.xml" >"$work/as.log" 2>&1 ||
  { cat "$work/as.log" >&2; bad "metainfo does not validate"; }
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/velmora.1.gz" 2>&1 >/dev/null || true)
[ -z "$warnings" ] || bad "man page warnings: $warnings"
for s in 16 256; do
  file "$root/usr/share/icons/hicolor/${s}x${s}/apps/velmora.png" | grep -q "PNG image data, $s x $s" || bad "icon ${s}x${s} is not a ${s}-pixel PNG"
done

# The unpacked program runs from its throwaway root (no display needed). It
# links only system libraries, so no LD_LIBRARY_PATH is needed.
said=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/velmora" --version) || bad "velmora --version failed"
echo "installed program: $(head -1 <<<"$said")"
[ "$(head -1 <<<"$said")" = "Velmora ${version%-*}" ] || bad "version '$said' is not the package's (${version%-*})"
grep -qF "License GPL-3.0-or-later" <<<"$said" || bad "velmora --version does not name the licence"
help=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/velmora" --help) || bad "velmora --help failed"
[[ "$help" == "Usage: velmora "* ]] || bad "velmora --help does not start with its usage"

# The demo, offscreen, with a home and XDG folders of its own: it makes its
# throwaway data directory under TMPDIR and fills it (its lock, the language
# file and the two demo mailbox files); still running a few seconds after
# that, it is ended by SIGTERM and must exit with 0 and remove that directory.
demo="$work/demo"
mkdir -p "$demo"/{home,config,data,cache,tmp}
mkdir -m 700 "$demo/runtime"
env -u DISPLAY -u WAYLAND_DISPLAY -u DBUS_SESSION_BUS_ADDRESS -u VELMORA_HOME \
  HOME="$demo/home" XDG_CONFIG_HOME="$demo/config" XDG_DATA_HOME="$demo/data" \
  XDG_CACHE_HOME="$demo/cache" XDG_RUNTIME_DIR="$demo/runtime" TMPDIR="$demo/tmp" \
  QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 \
  "$root/usr/bin/velmora" --demo >"$work/demo.log" 2>&1 &
pid=$!
started=0
for _ in $(seq 120); do
  kill -0 "$pid" 2>/dev/null || break
  dir=$(ls -d "$demo"/tmp/velmora-demo-* 2>/dev/null | head -1 || true)
  if [ -n "$dir" ] && [ -s "$dir/velmora.lock" ] && [ -s "$dir/english.lng" ] &&
    [ "$(ls "$dir"/*.mbx 2>/dev/null | wc -l)" -ge 2 ]; then
    started=1
    break
  fi
  sleep 0.5
done
if [ $started -eq 1 ]; then
  sleep 3 # a few seconds of running: the first mail check of the demo accounts
  kill -0 "$pid" 2>/dev/null || { started=0; bad "velmora --demo ended on its own"; }
else
  bad "velmora --demo did not fill its data directory within 60 s"
fi
if kill -0 "$pid" 2>/dev/null; then
  kill -TERM "$pid" 2>/dev/null || true
  for _ in $(seq 60); do kill -0 "$pid" 2>/dev/null || break; sleep 0.5; done
  if kill -0 "$pid" 2>/dev/null; then
    kill -KILL "$pid" 2>/dev/null || true
    bad "velmora --demo did not end within 30 s of SIGTERM"
  fi
fi
rc=0
wait "$pid" || rc=$?
if [ $started -eq 1 ]; then
  [ $rc -eq 0 ] || bad "velmora --demo exited with $rc after SIGTERM"
  [ -z "$(ls -d "$demo"/tmp/velmora-demo-* 2>/dev/null)" ] || bad "velmora --demo left its data directory"
fi
[ "$fail" -eq 0 ] || cat "$work/demo.log" >&2

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

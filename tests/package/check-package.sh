#!/usr/bin/env bash
# The Debian package, made from the build tree with cpack into a temporary
# folder: its name, its file list against expected-files.txt, its control
# fields, lintian without errors, the desktop entry, the AppStream metadata
# and the manual page valid, and the packaged program answering --version.
# Usage: check-package.sh BUILD_DIR SOURCE_DIR VERSION
set -euo pipefail
build=$1 source=$2 version=$3
here="$source/tests/package"

missing=()
for tool in cpack dpkg-deb dpkg-shlibdeps lintian appstreamcli desktop-file-validate man; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "missing: ${missing[*]} (Debian packages dpkg-dev, lintian, appstream, desktop-file-utils, man-db)" >&2
  [ "${CI:-}" = true ] && exit 1
  exit 77
fi

work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack could not make the package"; }
arch=$(dpkg --print-architecture)
deb="$work/out/velmora-sentrova_${version}_${arch}.deb"
[ -f "$deb" ] || fail "no $(basename "$deb") in: $(ls "$work/out")"

# The file list: paths (and link targets) only.
dpkg-deb -c "$deb" | awk '{ $1 = $2 = $3 = $4 = $5 = ""; sub(/^ +/, ""); sub(/^\./, ""); print }' | sort >"$work/files.txt"
sort "$here/expected-files.txt" | diff -u - "$work/files.txt" || fail "the package's files differ from expected-files.txt"
# Owned by root, the program executable, the rest not.
dpkg-deb -c "$deb" | awk '$2 != "root/root" { print; bad = 1 } END { exit bad }' || fail "files not owned by root"
dpkg-deb -c "$deb" | grep '^-rwxr-xr-x .*/usr/lib/velmora-sentrova/sentrova$' >/dev/null || fail "the program is not executable"

# Control fields: the run-time packages next to those dpkg-shlibdeps found.
depends=$(dpkg-deb -f "$deb" Depends)
for p in libqt6sql6-psql libqt6sql6-odbc unixodbc sound-theme-freedesktop libcanberra0 libqt6widgets6; do
  [[ ", $depends," == *", $p"[\ ,]* ]] || fail "Depends lacks $p: $depends"
done
[ "$(dpkg-deb -f "$deb" Package)" = velmora-sentrova ] || fail "Package field"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "Version field"

# lintian: no errors (warnings are shown, not fatal).
lintian --fail-on error --no-tag-display-limit "$deb" >"$work/lintian.txt" 2>&1 ||
  { cat "$work/lintian.txt" >&2; fail "lintian reports errors"; }
cat "$work/lintian.txt"

dpkg-deb -x "$deb" "$work/root"
desktop-file-validate "$work/root/usr/share/applications/sentrova.desktop" | grep -v ': hint: ' && fail "desktop-file-validate"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/com.velmora.Sentrova.metainfo.xml" ||
  fail "appstreamcli validate"
warnings=$(MANWIDTH=80 man --warnings -l "$work/root/usr/share/man/man1/sentrova.1.gz" 2>&1 >/dev/null || true)
[ -z "$warnings" ] || fail "the manual page: $warnings"
[ "$(gzip -dc "$work/root/usr/share/man/man1/sentrova.1.gz" | head -c 3)" = ".TH" ] || fail "the manual page is not troff"

# The packaged program itself (its folder is where dpkg-deb put it).
got=$(env -u DISPLAY QT_QPA_PLATFORM=xcb "$work/root/usr/lib/velmora-sentrova/sentrova" --version)
[ "$got" = "Velmora Sentrova $version" ] || fail "--version said: $got"
echo "package $(basename "$deb") checked"

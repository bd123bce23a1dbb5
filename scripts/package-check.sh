#!/usr/bin/env bash
# Builds the Debian package from a configured build folder and checks it as a new
# user's machine would see it: its files, the desktop entry, the AppStream metainfo,
# lintian, the manual pages, and the installed programs run from an unpacked root.
#
#   bash scripts/package-check.sh BUILD_DIR
#
# The package is left in BUILD_DIR/package/.
set -euo pipefail
build=${1:?usage: scripts/package-check.sh BUILD_DIR}
build=$(cd "$build" && pwd)
src=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

step() { printf '== %s\n' "$*"; }
fail() { printf 'package-check: FAILED: %s\n' "$*" >&2; exit 1; }

step "building the package"
cmake --build "$build" -j "${ORVANE_JOBS:-2}" >/dev/null
rm -rf "$build/package"
(cd "$build" && cpack -G DEB -B "$build/package") >"$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log"
  fail "cpack -G DEB"
}
debs=("$build"/package/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single .deb in $build/package"
deb=${debs[0]}
echo "$deb"
dpkg-deb --info "$deb" | sed -n '/Package:/,$p'

step "its files"
dpkg-deb --contents "$deb" | tee "$work/contents"
app=io.github.orvane.OrvanePortLinewright
for f in usr/bin/OrvanePort usr/bin/linewright usr/bin/orvane-portd usr/bin/orvane-reg usr/bin/orvane-modemsim \
  usr/lib/systemd/user/orvane-portd@.service usr/share/man/man1/orvane-portd.1.gz \
  usr/bin/OrvaneInstaller usr/bin/orvane-appmgr \
  usr/share/orvane-port-linewright/OrvanePortCmd.htm \
  usr/lib/orvane-port-linewright/handheld/OrvanePortCmd.ini \
  usr/lib/orvane-port-linewright/handheld/OrvanePort.pkg \
  usr/lib/orvane-port-linewright/handheld/OrvanePort \
  usr/lib/orvane-port-linewright/handheld/OrvanePortCmd.htm \
  usr/share/applications/$app.desktop usr/share/metainfo/$app.metainfo.xml \
  usr/share/icons/hicolor/16x16/apps/$app.png usr/share/icons/hicolor/48x48/apps/$app.png \
  usr/share/icons/hicolor/128x128/apps/$app.png \
  usr/share/doc/orvane-port-linewright/copyright usr/share/doc/orvane-port-linewright/changelog.gz \
  usr/share/man/man1/OrvanePort.1.gz usr/share/man/man1/OrvaneInstaller.1.gz \
  usr/share/man/man1/linewright.1.gz usr/share/man/man1/orvane-reg.1.gz \
  usr/share/man/man1/orvane-modemsim.1.gz usr/share/man/man1/orvane-appmgr.1.gz; do
  grep -q " \./$f\$" "$work/contents" || fail "the package lacks /$f"
done
if grep -E '^[^d]' "$work/contents" | grep -Ev '^(-rwxr-xr-x|-rw-r--r--) root/root ' >&2; then
  fail "files above are not root-owned 0755 or 0644"
fi

root=$work/root
dpkg-deb -x "$deb" "$root"

step "desktop-file-validate"
desktop-file-validate "$root/usr/share/applications/$app.desktop"

step "appstreamcli validate"
# --no-net: CI has no network, so the screenshot and homepage addresses are not fetched.
appstreamcli validate --no-net "$root/usr/share/metainfo/$app.metainfo.xml"

step "lintian"
lintian --fail-on error --display-info "$deb" || fail "lintian found errors"

step "manual pages"
for page in "$root"/usr/share/man/man1/*.1.gz; do
  MANWIDTH=80 man --warnings -l "$page" >"$work/page.txt" 2>"$work/warnings" || fail "man -l $page"
  [ ! -s "$work/warnings" ] || { cat "$work/warnings" >&2; fail "$page renders with warnings"; }
  grep -q 'NAME' "$work/page.txt" || fail "$page has no NAME section"
  echo "$(basename "$page"): $(sed -n '/^NAME/{n;p;q}' "$work/page.txt" | sed 's/^ *//')"
done

step "no path of the build or source tree in the programs"
for exe in "$root"/usr/bin/* "$root"/usr/lib/orvane-port-linewright/handheld/OrvanePort; do
  if grep -q -a -F -e "$build" -e "$src" "$exe"; then fail "$exe names a build or source path"; fi
done

step "the installed programs run from the unpacked root"
bin=$root/usr/bin
export XDG_DATA_HOME=$work/xdg
mkdir -p "$XDG_DATA_HOME"
"$bin/linewright" --help | head -n 1
"$bin/linewright" --version
"$bin/orvane-reg" --help | head -n 1
"$bin/orvane-modemsim" --help | head -n 1
"$bin/orvane-appmgr" --help | head -n 1
"$bin/OrvanePort" --version
help_line=$("$bin/OrvanePort" --help | grep '^Help page')
echo "$help_line"
[ "$help_line" = "Help page (Port > Help): $root/usr/share/orvane-port-linewright/OrvanePortCmd.htm" ] ||
  fail "the installed OrvanePort does not find its help page in its data folder"

# The window program starts offscreen and stays up until it is stopped: it ends on its
# own only when start-up fails.
set +e
QT_QPA_PLATFORM=offscreen timeout 5 "$bin/OrvanePort" >"$work/port.log" 2>&1
rc=$?
set -e
[ "$rc" -eq 124 ] || { cat "$work/port.log" >&2; fail "OrvanePort ended by itself (status $rc)"; }
[ -f "$XDG_DATA_HOME/orvane-port-linewright/handheld.hive" ] || fail "OrvanePort made no settings hive"
echo "OrvanePort started offscreen and kept running"

# The installed handheld package installs: the application manager, registered from the
# unpacked root, puts the program and its help page on a handheld folder, where the
# program finds the page beside itself.
"$bin/orvane-appmgr" --register "$work/handheld" >/dev/null
(cd "$root/usr/lib/orvane-port-linewright/handheld" && "$bin/orvane-appmgr" OrvanePortCmd.ini)
handheld_port="$work/handheld/Program Files/Orvane Port Linewright/OrvanePort"
[ -x "$handheld_port" ] || fail "the handheld package did not install OrvanePort"
"$handheld_port" --help | grep -q -F "Help page (Port > Help): $work/handheld/Program Files/Orvane Port Linewright/OrvanePortCmd.htm" ||
  fail "OrvanePort on the handheld does not find its help page"
"$bin/orvane-appmgr" --unregister >/dev/null

echo "package-check: all checks passed: $deb"

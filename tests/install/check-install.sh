#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks that a user gets the
# programs, their resources, the menu entry and the icon, and that the
# installed programs run from there.
#   check-install.sh BUILD_DIR
set -euo pipefail
build="$1"
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "check-install: $*" >&2; exit 1; }
for f in bin/orvane bin/orvane-render bin/orvane-timeline \
         share/applications/orvane.desktop \
         share/icons/hicolor/scalable/apps/orvane.svg \
         share/orvane/resources/backgrounds/obg_01.jpg \
         share/orvane/resources/backgrounds/obg_27.jpg \
         share/orvane/resources/cursors/cursor-arrow.pdf \
         share/orvane/resources/cursors/cursor-pointer.pdf \
         share/orvane/resources/icons/play.fill.svg; do
  [ -e "$prefix/$f" ] || fail "missing $f"
done
grep -q '^Exec=orvane$' "$prefix/share/applications/orvane.desktop" || fail "desktop entry has no Exec"
grep -q '^Icon=orvane$' "$prefix/share/applications/orvane.desktop" || fail "desktop entry has no Icon"
"$prefix/bin/orvane-timeline" --help >/dev/null || fail "installed orvane-timeline does not run"
"$prefix/bin/orvane-render" --help >/dev/null || fail "installed orvane-render does not run"
# Without a display the application says so instead of aborting.
out="$(env -u DISPLAY "$prefix/bin/orvane" 2>&1 || true)"
echo "$out" | grep -q "no X11 display" || fail "orvane without a display said: $out"
echo "check-install: ok ($prefix)"

#!/usr/bin/env bash
# Installs the build into a throwaway DESTDIR and checks what a desktop gets:
# exactly the expected files, a desktop entry and metainfo that their
# validators accept without remarks, a man page groff reads without
# warnings, icons of the right sizes with transparency, and a binary that runs.
# Usage: check_install.sh <build dir>. Exit 77 (skipped) when a validator is missing.
set -euo pipefail

build=$1
skip() { echo "SKIP: $*"; exit 77; }
for tool in desktop-file-validate:desktop-file-utils appstreamcli:appstream identify:imagemagick groff:groff-base; do
  command -v "${tool%%:*}" >/dev/null 2>&1 || skip "${tool%%:*} is not installed (package ${tool##*:})"
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

DESTDIR="$work/root" cmake --install "$build" --prefix /usr >/dev/null
root="$work/root/usr"
share="$root/share"

icon_sizes=(16 22 24 32 48 64 128 256)
expected=(bin/veltrano share/applications/veltrano.desktop
  share/metainfo/org.veltrano.editor.metainfo.xml share/man/man1/veltrano.1
  share/icons/hicolor/scalable/apps/veltrano.svg)
for size in "${icon_sizes[@]}"; do
  expected+=("share/icons/hicolor/${size}x${size}/apps/veltrano.png")
done
installed=$(cd "$root" && find . -type f | sed 's|^\./||' | sort)
wanted=$(printf '%s\n' "${expected[@]}" | sort)
if [ "$installed" != "$wanted" ]; then
  fail "installed files differ from the expected ones:"
  diff <(echo "$wanted") <(echo "$installed") || true
fi

# The desktop entry: valid without even a hint, and pointing at what was installed.
desktop="$share/applications/veltrano.desktop"
remarks=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate rejects the desktop entry"
[ -z "$remarks" ] || fail "desktop-file-validate remarks: $remarks"
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
[ "$exec_line" = "veltrano %f" ] || fail "Exec is '$exec_line'"
[ -x "$root/bin/${exec_line%% *}" ] || fail "Exec names no installed program"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "$share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "Icon=$icon names no installed icon"
grep -qx 'MimeType=application/octet-stream;' "$desktop" || fail "the desktop entry does not take any file"

# The metainfo, and that it launches this desktop entry.
metainfo="$share/metainfo/org.veltrano.editor.metainfo.xml"
appstreamcli validate --no-net --pedantic "$metainfo" >"$work/appstream.txt" 2>&1 \
  || { fail "appstreamcli rejects the metainfo:"; cat "$work/appstream.txt"; }
grep -q '<launchable type="desktop-id">veltrano.desktop</launchable>' "$metainfo" \
  || fail "the metainfo does not launch veltrano.desktop"

# The man page: no groff warnings, and it documents the command line.
man_page="$share/man/man1/veltrano.1"
warnings=$(groff -man -ww -z "$man_page" 2>&1)
[ -z "$warnings" ] || fail "groff warns about the man page: $warnings"
for word in FILE '\\-\\-help' '\\-\\-version'; do
  grep -q -- "$word" "$man_page" || fail "the man page does not mention $word"
done

# Icons: square at their folder's size, with an alpha channel, and
# transparent in the corner the rounded square leaves free.
for size in "${icon_sizes[@]}"; do
  png="$share/icons/hicolor/${size}x${size}/apps/veltrano.png"
  [ -f "$png" ] || continue
  facts=$(identify -format '%w %h %A' "$png")
  [ "$facts" = "$size $size Blend" ] || [ "$facts" = "$size $size True" ] \
    || fail "${size}x${size} icon is '$facts' (width height alpha)"
  corner=$(convert "$png" -format '%[fx:p{0,0}.a]' info:)
  [ "$corner" = "0" ] || fail "${size}x${size} icon is not transparent in its corner (alpha $corner)"
done

# The installed program answers without a display.
version=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/bin/veltrano" --version) \
  || fail "the installed program fails on --version"
[ "$version" = "Veltrano Editor 1.01" ] || fail "--version prints '$version'"

# Installed without DESTDIR, as to the live system (here a throwaway prefix),
# the desktop database and the icon cache are refreshed: a file manager
# offers the editor for any file at once. A staged install (above) leaves
# both to the package, as the exact list of its files shows.
if command -v update-desktop-database >/dev/null 2>&1 && command -v gtk-update-icon-cache >/dev/null 2>&1; then
  live="$work/live"
  env -u DESTDIR cmake --install "$build" --prefix "$live" >/dev/null
  grep -qx 'application/octet-stream=veltrano.desktop;' "$live/share/applications/mimeinfo.cache" 2>/dev/null \
    || fail "a live install leaves the desktop database without the editor"
  [ -s "$live/share/icons/hicolor/icon-theme.cache" ] || fail "a live install leaves no icon cache"
else
  echo "note: update-desktop-database or gtk-update-icon-cache missing; the live install is not checked"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "PASS: the installed tree is complete and valid"

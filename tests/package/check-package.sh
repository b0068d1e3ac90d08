#!/usr/bin/env bash
# Usage: check-package.sh CPACK_CONFIG LIBHEIF_PLUGIN_DIR
# Makes the Debian package from an already built tree (cpack, no build) and checks
# it without installing it: every library its programs link, every QML module and
# Qt plugin the application loads when its window opens, and libheif's HEVC decoder
# plugin belong to a package that Depends names, directly or through the packages
# those depend on (first alternative only: what apt would pick), or to an installed one
# that Recommends names (or those reach); lintian finds no error. The application is
# started on a virtual X display and on a headless Wayland compositor.
set -uo pipefail

if [ "${1:-}" = --probe ]; then
  # (On the virtual display) starts the application, waits until its window is up,
  # the drop area's SVG icon being among the last things loaded, and saves its maps.
  "$2" 2>"$3/trace.log" &
  pid=$!
  for _ in $(seq 100); do
    grep -q imageformats/libqsvg.so "/proc/$pid/maps" 2>/dev/null && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.2
  done
  sleep 0.5
  cat "/proc/$pid/maps" >"$3/maps" 2>/dev/null
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  exit 0
fi

config=$1 heif_plugins=$2

for tool in cpack dpkg-deb dpkg-shlibdeps lintian xvfb-run weston; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (scripts/setup installs it)"
    exit 77
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

if ! cpack --config "$config" -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  echo "FAIL: cpack did not make the package"
  exit 1
fi
deb=$(echo "$work"/out/pictavo_*.deb)
[ -f "$deb" ] || { echo "FAIL: no pictavo_*.deb in cpack's output"; exit 1; }
root=$work/root
dpkg-deb -x "$deb" "$root"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"

# lintian: errors fail the test; warnings and notes are shown.
lintian "$deb" 2>/dev/null || fail "lintian reports errors"

# The packages a list of relations reaches on this machine's package database: a
# breadth-first walk over Depends and Pre-Depends, with virtual packages resolved
# through Provides; "MISSING name" for each one not installed.
reach() {
  dpkg-query -W -f='${db:Status-Abbrev}\t${Package}\t${Provides}\t${Depends}, ${Pre-Depends}\n' |
  awk -F'\t' -v roots="$1" '
    function names(list, out, first,   n, parts, i, alt, name) {
      n = split(list, parts, ",")
      for (i = 1; i <= n; i++) {
        alt = parts[i]
        if (first) sub(/\|.*/, "", alt)
        gsub(/\([^)]*\)|\[[^]]*\]|:[a-z0-9]+/, "", alt)
        gsub(/[ \t]/, "", alt)
        if (alt != "") out[++out[0]] = alt
      }
    }
    $1 ~ /^ii/ {
      deps[$2] = $4
      delete provided; provided[0] = 0; names($3, provided, 0)
      for (i = 1; i <= provided[0]; i++) providers[provided[i]] = providers[provided[i]] " " $2
    }
    END {
      queue[0] = 0; names(roots, queue, 1)
      for (head = 1; head <= queue[0]; head++) {
        p = queue[head]
        if (p in seen) continue
        seen[p] = 1
        if (p in deps) { print p; names(deps[p], queue, 1) }
        else if (p in providers) { n = split(providers[p], alts, " "); for (i = 1; i <= n; i++) queue[++queue[0]] = alts[i] }
        else print "MISSING " p
      }
    }'
}
reached=$(reach "$depends")
for missing in $(echo "$reached" | sed -n 's/^MISSING //p'); do
  fail "$missing, which Depends reaches, is not installed here, so the check cannot follow it"
done
# What Recommends names (the desktop portal's dialogs) is loaded where it is installed.
reached+=$'\n'$(reach "$(dpkg-deb -f "$deb" Recommends)" | grep -v '^MISSING ')

# What the application loads: its libraries, plugins (mapped in memory once the window
# is up, the SVG icon of the drop area being among the last) and the QML modules it
# imports (Qt's import trace), with the packaged binary on a virtual X display.
HOME=$work XDG_RUNTIME_DIR=$work LC_ALL=C.UTF-8 QT_QPA_PLATFORM=xcb QML_IMPORT_TRACE=1 \
  xvfb-run -a "$0" --probe "$root/usr/bin/pictavo" "$work"
# Once more as in a Wayland session, natively. (Without a seat, Qt 6.4's text
# input crashes under the headless compositor: no input method is asked for.)
mkdir -p "$work/wayland"
socket=pictavo-probe-$$
XDG_RUNTIME_DIR=$work weston --backend=headless-backend.so --socket="$socket" --idle-time=0 --no-config \
  >"$work/weston.log" 2>&1 &
weston=$!
for _ in $(seq 50); do [ -S "$work/$socket" ] && break; sleep 0.1; done
HOME=$work XDG_RUNTIME_DIR=$work LC_ALL=C.UTF-8 WAYLAND_DISPLAY=$socket QT_QPA_PLATFORM=wayland \
  QT_IM_MODULE=none QML_IMPORT_TRACE=1 "$0" --probe "$root/usr/bin/pictavo" "$work/wayland"
kill "$weston" 2>/dev/null
wait "$weston" 2>/dev/null
echo "on Wayland: $(grep -o 'platforms/libqwayland[^ ]*' "$work/wayland/maps" 2>/dev/null | sort -u | tr '\n' ' ')"
for expected in platforms/libqwayland imageformats/libqsvg.so; do
  grep -q "$expected" "$work/wayland/maps" 2>/dev/null ||
    fail "on Wayland, the probe did not see $expected loaded: $(tail -5 "$work/wayland/trace.log" "$work/weston.log")"
done
loaded=$(
  {
    for program in "$root"/usr/bin/* "$root"/usr/libexec/pictavo/*; do
      ldd "$program" | awk '$2 == "=>" && $3 ~ /^\// {print $3} $1 ~ /^\// {print $1}'
    done
    awk '$6 ~ /\.so/ {print $6}' "$work/maps" "$work/wayland/maps" 2>/dev/null
    sed -n 's/.*qmldir found at "\(\/[^"]*\)".*/\1/p' "$work/trace.log"
    ls "$heif_plugins"/*libde265*.so
  } | grep -v "^$root/" | sort -u)
for expected in platforms/libqxcb.so imageformats/libqsvg.so QtQuick/Controls/qmldir QtQuick/Shapes/qmldir libde265; do
  grep -q "$expected" <<<"$loaded" || fail "the probe did not see $expected loaded: $(tail -5 "$work/trace.log")"
done
# The window converts nothing itself, so it leaves libavcodec and the libraries it needs unloaded.
grep -q libavcodec "$work/maps" "$work/wayland/maps" 2>/dev/null && fail "the window loaded libavcodec"
# Where the portal's platform theme is installed, the application asks Qt for it.
if dpkg-query -W -f='${db:Status-Abbrev}' qt6-xdgdesktopportal-platformtheme 2>/dev/null | grep -q '^ii'; then
  grep -q platformthemes/libqxdgdesktopportal.so <<<"$loaded" || fail "the installed portal theme was not loaded"
fi

# Each file's package, by its path or its other name under merged /usr (/lib, /usr/lib).
loaded=$(sed 's|^/lib|/usr/lib|' <<<"$loaded" | sort -u)
owners=$(xargs dpkg -S <<<"$loaded"$'\n'"$(sed 's|^/usr||' <<<"$loaded")" 2>/dev/null)
count=0
while read -r file; do
  count=$((count + 1))
  packages=$(awk -v f="$file" -v g="${file#/usr}" -F': ' '$2 == f || $2 == g {print $1}' <<<"$owners" |
    tr ',' '\n' | sed 's/:.*//; s/ //g' | sort -u)
  if [ -z "$packages" ]; then
    fail "$file belongs to no Debian package"
  elif ! grep -qxFf <(echo "$packages") <<<"$reached"; then
    fail "$file ($(echo $packages)) is not reached from Depends"
  fi
done <<<"$loaded"
echo "$count files loaded at run time, in $(grep -vc '^MISSING' <<<"$reached") packages reached from Depends and Recommends"

if [ $failures -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "package made; its dependencies cover what the application loads; lintian finds no error"

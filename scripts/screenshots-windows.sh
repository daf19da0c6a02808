#!/usr/bin/env bash
# Screenshots of the Windows window under Wine on a virtual X display: the
# ready page (the default database in the Wine prefix), the not-found page and
# the Finish page (after a real run on a copy of tessdata-2009.mdb), at 96 and
# at 120 dpi, as PNGs in BUILD/screenshots/:
#   ready.png not-found.png finish.png                      96 dpi
#   ready-120dpi.png not-found-120dpi.png finish-120dpi.png  120 dpi
# Each picture is the whole window, frame included, drawn by Wine's virtual
# desktop. The client area is measured on the screen (the run of the dialog
# colour across its bottom row and down its left edge, less the frame's
# innermost line, which has the same colour) and must be 455 x 199 pixels at
# 96 dpi and 569 x 249 at 120, as the system reports it too; and at each DPI
# the path box must show a long path compacted to its own text rectangle,
# file name whole (the window's test of it, when the tests are built). The
# script fails otherwise.
#   scripts/screenshots-windows.sh [BUILD]     (BUILD defaults to build-windows)
# Installs what is missing first (scripts/bootstrap.sh).
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-windows}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac
"$root/scripts/bootstrap.sh" --tests
out="$build/screenshots"
wine=/usr/lib/wine/wine64  # all our programs are 64-bit
wineserver="$(dirname "$wine")/wineserver"
fixture="$root/../shared/fixtures/tessdata-2009.mdb"

if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DTESSALY_BUILD_TESTS=OFF -DTESSALY_BUILD_BENCH=OFF
fi
ninja -C "$build" tessaly-window-shots

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
export WINEDEBUG=-all

# A Windows path for a Linux one, through Wine's Z: drive.
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

# Pictures of the three pages at one DPI, taken inside one X session.
cat > "$work/shoot.sh" <<'EOF'
set -euo pipefail
wine="$1" helper="$2" database="$3" work="$4" suffix="$5" out="$6"
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
for page in ready not-found finish; do
  rm -f "$work/report" "$work/stop"
  "$wine" "$helper" "$page" "$database" "$(winpath "$work/report")" "$(winpath "$work/stop")" &
  helper_pid=$!
  for _ in $(seq 300); do [ -s "$work/report" ] && break; sleep 0.1; done
  [ -s "$work/report" ] || { echo "screenshots-windows.sh: no $page page" >&2; exit 1; }
  sleep 0.5  # let the X server take in what Wine has drawn
  import -window root "$work/$page$suffix-screen.png"
  cp "$work/report" "$work/$page$suffix.report"
  touch "$work/stop"
  wait "$helper_pid"
done
EOF

status=0
for dpi in 96 120; do
  suffix=""; [ "$dpi" = 96 ] || suffix="-${dpi}dpi"
  export WINEPREFIX="$build/wine-screenshots-$dpi"
  if [ ! -d "$WINEPREFIX/drive_c/windows" ]; then
    "$wine" wineboot -i >/dev/null 2>&1
  fi
  # Wine's own fonts (Tahoma for the dialog font, Marlett for the caption
  # buttons) where the prefix's programs look for them.
  cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  "$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
  # Every program of the prefix on one virtual desktop, which draws the frames.
  "$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null
  "$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null
  "$wineserver" -w

  # The calendar where the program looks for it, fresh for each DPI.
  calendar_dir="$WINEPREFIX/drive_c/Program Files/Tessaly Desktop Calendar"
  mkdir -p "$calendar_dir"
  cp "$fixture" "$calendar_dir/tessdata.mdb"
  chmod u+w "$calendar_dir/tessdata.mdb"
  cp "$build/bin/tessaly-window-shots.exe" "$work/"  # error.log, if any, lands there

  xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/shoot.sh" "$wine" \
    "$(winpath "$work/tessaly-window-shots.exe")" \
    'C:\Program Files\Tessaly Desktop Calendar\tessdata.mdb' "$work" "$suffix" "$out"
  "$wineserver" -w
  # The path box at this DPI: a long path compacted to the box's own text
  # rectangle, its file name whole (the window's test, at this prefix's DPI).
  if [ -f "$build/bin/win32_window_test.exe" ]; then
    if ! xvfb-run -a -s "-screen 0 1024x768x24" "$wine" "$build/bin/win32_window_test.exe" \
        --gtest_filter='MainWindowTest.ThePathBoxShowsTheFileNameWhole*' >"$work/path-box.log" 2>&1 ||
       ! grep -q "path box at $dpi dpi" "$work/path-box.log"; then
      cat "$work/path-box.log"
      status=1
    fi
    grep "path box at" "$work/path-box.log" || true
    "$wineserver" -w
  fi

  for page in ready not-found finish; do
    read -r _ got_dpi _ cw ch _ cx cy _ wx wy ww wh < "$work/$page$suffix.report"
    screen="$work/$page$suffix-screen.png"
    convert "$screen" -crop "${ww}x${wh}+${wx}+${wy}" +repage "$out/$page$suffix.png"
    # The client area on the screen: from a point inside it near its bottom
    # left corner, the run of the same colour along the row and the column.
    convert "$screen" -depth 8 rgb:"$work/screen.rgb"
    measured="$(python3 - "$work/screen.rgb" "$((cx + 2))" "$((cy + ch - 3))" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
width = 1024
x0, y0 = int(sys.argv[2]), int(sys.argv[3])
at = lambda x, y: data[3 * (y * width + x):3 * (y * width + x) + 3]
face = at(x0, y0)
left = x0
while left > 0 and at(left - 1, y0) == face: left -= 1
right = x0
while right < width - 1 and at(right + 1, y0) == face: right += 1
top = y0
while top > 0 and at(x0, top - 1) == face: top -= 1
bottom = y0
while bottom < 767 and at(x0, bottom + 1) == face: bottom += 1
# The frame's innermost line is drawn in the same colour, one pixel on each
# side (a caption window's 3-pixel frame: two lines of raised edge, one of
# face); the check at the start of the row shows it is there.
assert at(left - 1, y0) != face and at(left - 2, y0) != face, "no frame left of the client area"
print(right - left + 1 - 2, bottom - top + 1 - 2)
PY
)"
    case "$dpi" in 96) expected="455 199" ;; 120) expected="569 249" ;; esac
    echo "$page at $got_dpi dpi: client area $cw x $ch by the system, ${measured/ / x } on the screen (expected ${expected/ / x })"
    if [ "$measured" != "$expected" ] || [ "$cw $ch" != "$expected" ]; then status=1; fi
  done
done
ls -l "$out"/*.png
exit "$status"

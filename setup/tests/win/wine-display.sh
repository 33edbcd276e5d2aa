#!/bin/sh
# Runs a Windows test program under Wine on a display of its own:
#   wine-display.sh <dpi> <shortcut maker.exe> <program.exe> [arguments...]
#
# An Xvfb server (it picks a free display number itself, -displayfd) whose
# screen is also a file in XWD format that the test reads
# (MORVANE_TEST_FRAMEBUFFER), and a fresh Wine prefix (testkit/wine) made on
# that display, with the screen's dots per inch at <dpi> (96 is 100 %, 144 is
# 150 %; MORVANE_TEST_DPI) and Wine drawing the windows' captions and frames
# itself, since no window manager runs. Everything is ended and removed
# afterwards; the program's exit code is the script's.
set -u
. "$(dirname "$0")/../../../testkit/wine/wine-env.sh"

dpi=$1
maker=$2
shift 2

dir=$(mktemp -d "${TMPDIR:-/tmp}/morvane-wine-display.XXXXXX") || exit 1
server=""
cleanup() {
  wine_prefix_remove "$dir"
  if [ -n "$server" ]; then
    kill "$server" 2>/dev/null
    wait "$server" 2>/dev/null
  fi
  rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 143' TERM INT HUP

mkdir -p "$dir/screen"
Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp -noreset -fbdir "$dir/screen" \
  3>"$dir/display" 2>"$dir/xvfb.log" &
server=$!
tries=0
while [ ! -s "$dir/display" ]; do
  if ! kill -0 "$server" 2>/dev/null || [ "$tries" -ge 200 ]; then
    echo "wine-display.sh: Xvfb did not start:" >&2
    cat "$dir/xvfb.log" >&2
    exit 1
  fi
  tries=$((tries + 1))
  sleep 0.05
done
DISPLAY=":$(head -n 1 "$dir/display")"
export DISPLAY

wine_prefix_make "$dir" "$maker" || exit 1
cat >"$dir/display.reg" <<REG
REGEDIT4

[HKEY_CURRENT_USER\\Control Panel\\Desktop]
"LogPixels"=dword:$(printf '%08x' "$dpi")

[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]
"Decorated"="N"
REG
wine regedit /S "Z:$(printf '%s' "$dir/display.reg" | tr / '\\')" >/dev/null 2>&1 || exit 1
wineserver -w

export MORVANE_TEST_DPI="$dpi"
export MORVANE_TEST_FRAMEBUFFER="$dir/screen/Xvfb_screen0"
wine "$@"

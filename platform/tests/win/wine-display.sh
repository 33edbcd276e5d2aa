#!/bin/sh
# Runs a Windows test program under Wine on the display that with_xvfb.sh
# gives it:
#   with_xvfb.sh wine-display.sh <dpi> <shortcut maker.exe> <program.exe> [arguments...]
#
# A fresh Wine prefix (testkit/wine) made on that display, with the screen's
# dots per inch at <dpi> (96 is 100 %, 144 is 150 %; MORVANE_TEST_DPI) and
# Wine drawing the windows' captions and frames itself, since no window
# manager runs. The prefix is ended and removed afterwards; the program's exit
# code is the script's. A run that is killed has its prefix ended and removed
# all the same (testkit/wine/wine-env.sh's guard).
set -u
if [ -z "${DISPLAY:-}" ]; then
  echo "wine-display.sh: no display; run it under with_xvfb.sh" >&2
  exit 1
fi
display=$DISPLAY
wine_env="$(dirname "$0")/../../../testkit/wine/wine-env.sh"
. "$wine_env"
DISPLAY=$display
export DISPLAY

dpi=$1
maker=$2
shift 2

dir=$(mktemp -d "${TMPDIR:-/tmp}/morvane-wine-display.XXXXXX") || exit 1
wine_prefix_guard "$dir" $$
trap 'wine_prefix_remove "$dir"' EXIT
trap 'exit 143' TERM INT HUP

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
wine "$@"

#!/bin/sh
# Runs a command against a private Xvfb server of its own and ends the server
# afterwards; the command's exit code is the script's. The screen is
# MORVANE_XVFB_SCREEN (width x height x depth, 1280x800x24 unless given), and
# also a file in XWD format that the command can read, named by
# MORVANE_TEST_FRAMEBUFFER.
#
# Xvfb picks a free display number itself (-displayfd) and holds it from the
# moment it takes it, so any number of these can start at once (ctest
# --parallel) without two of them racing for the same display.
set -u

dir=$(mktemp -d "${TMPDIR:-/tmp}/morvane-xvfb.XXXXXX") || exit 1
server=""
cleanup() {
  if [ -n "$server" ]; then
    kill "$server" 2>/dev/null
    wait "$server" 2>/dev/null
  fi
  rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 143' TERM INT HUP

mkdir "$dir/screen" || exit 1
Xvfb -displayfd 3 -screen 0 "${MORVANE_XVFB_SCREEN:-1280x800x24}" -nolisten tcp -noreset -fbdir "$dir/screen" \
  3>"$dir/display" 2>"$dir/log" &
server=$!

tries=0
while [ ! -s "$dir/display" ]; do
  if ! kill -0 "$server" 2>/dev/null || [ "$tries" -ge 200 ]; then
    echo "with_xvfb.sh: Xvfb did not start:" >&2
    cat "$dir/log" >&2
    exit 1
  fi
  tries=$((tries + 1))
  sleep 0.05
done

DISPLAY=":$(head -n 1 "$dir/display")"
export DISPLAY
export MORVANE_TEST_FRAMEBUFFER="$dir/screen/Xvfb_screen0"
# No session bus or accessibility bus of the desktop's: the engine runs alone.
export NO_AT_BRIDGE=1
"$@"
status=$?
exit "$status"

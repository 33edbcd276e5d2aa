#!/bin/sh
# The Wine prefix of one test run, made and removed by ctest's fixture
# "wine_prefix":
#   wine-prefix.sh setup <state folder> <shortcut maker.exe>
#   wine-prefix.sh cleanup <state folder>
# The prefix lives in a temporary folder; <state folder>/prefix names that
# folder for wine-run.sh. Its wineserver and services stay up between the
# tests, which saves starting them for each of them, until the cleanup, or
# until the process that ran the setup (ctest) has ended, should the cleanup
# never come.
# The wineserver makes the sockets of the Windows programs, so it must run in
# the network namespace of the Linux peers that the tests start: the fixture
# runs in the one of the ctest run that it belongs to.
set -u
wine_env="$(dirname "$0")/wine-env.sh"
. "$wine_env"

state=$2
case "$1" in
  setup)
    mkdir -p "$state" || exit 1
    if [ -s "$state/prefix" ]; then wine_prefix_remove "$(cat "$state/prefix")"; fi
    folder=$(mktemp -d "${TMPDIR:-/tmp}/morvane-wine.XXXXXX") || exit 1
    wine_prefix_make "$folder" "$3" || { wine_prefix_remove "$folder"; exit 1; }
    echo "$folder" >"$state/prefix"
    wine_prefix_guard "$folder" "$PPID"
    ;;
  cleanup)
    if [ -s "$state/prefix" ]; then wine_prefix_remove "$(cat "$state/prefix")"; fi
    rm -f "$state/prefix"
    ;;
  *)
    echo "usage: wine-prefix.sh setup|cleanup <state folder> [<shortcut maker.exe>]" >&2
    exit 2
    ;;
esac

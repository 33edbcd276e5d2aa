#!/bin/sh
# Runs a Windows test program under Wine (the build's
# CMAKE_CROSSCOMPILING_EMULATOR):
#   wine-run.sh <state folder> <shortcut maker.exe> <program.exe> [arguments...]
# in the prefix that the fixture "wine_prefix" made (wine-prefix.sh). Run
# without it (a test started by hand), it makes a prefix of its own for the
# one program and removes it afterwards, even when the script is killed. The
# program's exit code is the script's.
set -u
wine_env="$(dirname "$0")/wine-env.sh"
. "$wine_env"

state=$1
maker=$2
shift 2
own=""
if [ -s "$state/prefix" ]; then
  folder=$(cat "$state/prefix")
  export WINEPREFIX="$folder/prefix" HOME="$folder/home"
else
  own=$(mktemp -d "${TMPDIR:-/tmp}/morvane-wine.XXXXXX") || exit 1
  wine_prefix_guard "$own" $$
  wine_prefix_make "$own" "$maker" || { wine_prefix_remove "$own"; exit 1; }
  trap 'wine_prefix_remove "$own"' EXIT
  trap 'exit 143' TERM INT HUP
fi
# What the program writes goes through a file: a process that it leaves
# behind (Wine's own servers, a process of a run that a test cut off) holds
# that file, not ctest's pipe, and ctest sees the end of the output when the
# program ends.
output=$(mktemp "${TMPDIR:-/tmp}/morvane-wine-output.XXXXXX") || exit 1
wine "$@" >"$output" 2>&1
code=$?
cat "$output"
rm -f "$output"
exit $code

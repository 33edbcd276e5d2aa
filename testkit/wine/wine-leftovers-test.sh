#!/bin/sh
# Checks that a Wine run of the tests leaves no Windows process behind, when
# it ends as it should and when it is killed part-way:
#   wine-leftovers-test.sh <shortcut maker.exe>
# Each run leaves a process of its own behind on purpose (a ping of ten
# minutes that cmd started and did not wait for). Every prefix is made below
# a temporary folder of this script's own, so that the processes of other
# runs on the machine are never looked at.
set -u
here=$(cd "$(dirname "$0")" && pwd)
wine_env="$here/wine-env.sh"
. "$wine_env"
maker=$1

top=$(mktemp -d "${TMPDIR:-/tmp}/morvane-wine-leftovers.XXXXXX") || exit 1
export TMPDIR="$top/tmp"
mkdir -p "$TMPDIR"
failed=0

# The Wine processes of every prefix below the folder.
leftovers() {
  for environ in $(grep -lszF "WINEPREFIX=$TMPDIR/" /proc/[0-9]*/environ); do
    dir=${environ%/environ}
    case "$(readlink "$dir/exe" 2>/dev/null)" in
      */wine*) echo "${dir#/proc/} $(tr '\0' ' ' <"$dir/cmdline" 2>/dev/null)" ;;
    esac
  done
}

# Waits until a process of the folder's prefixes runs `what` (a minute at most).
wait_for() {
  tries=0
  until leftovers | grep -q "$1"; do
    tries=$((tries + 1))
    if [ "$tries" -ge 600 ]; then return 1; fi
    sleep 0.1
  done
}

# The prefixes' folders that are left (not Wine's own folder of its
# servers' sockets, which it keeps in TMPDIR).
prefixes() { ls -d "$TMPDIR"/morvane-wine.* 2>/dev/null; }

# check <case>: no process of any prefix below the folder is left, and no
# prefix either, within the given seconds (the guard looks once a second).
check() {
  tries=0
  while [ -n "$(leftovers)" ] || [ -n "$(prefixes)" ]; do
    tries=$((tries + 1))
    if [ "$tries" -ge "$2" ]; then
      echo "FAILED: $1: left behind:" >&2
      leftovers >&2
      prefixes >&2
      failed=1
      # What this script made, it ends.
      for pid in $(leftovers | cut -d' ' -f1); do kill -KILL "$pid" 2>/dev/null; done
      prefixes | xargs rm -rf
      return
    fi
    sleep 1
  done
  echo "ok: $1"
}

lingering='start /b ping -n 600 127.0.0.1'
state="$top/state"

# A program run with a prefix of its own, to its end.
sh "$here/wine-run.sh" "$top/no-state" "$maker" cmd /c "$lingering" >/dev/null 2>&1
check "a run in a prefix of its own" 5

# The same, killed while its program runs.
sh "$here/wine-run.sh" "$top/no-state" "$maker" cmd /c "ping -n 600 127.0.0.1" >/dev/null 2>&1 &
run=$!
if wait_for "ping[.a-z]* -n 600"; then kill -KILL "$run"; else echo "FAILED: the killed run never started" >&2; failed=1; fi
wait "$run" 2>/dev/null
check "a run in a prefix of its own, killed" 30

# The run's shared prefix, to its cleanup.
sh "$here/wine-prefix.sh" setup "$state" "$maker" || { echo "FAILED: no prefix" >&2; exit 1; }
sh "$here/wine-run.sh" "$state" "$maker" cmd /c "$lingering" >/dev/null 2>&1
sh "$here/wine-prefix.sh" cleanup "$state"
check "the shared prefix, cleaned up" 5

# The shared prefix of a run (ctest, here a shell) that is killed before its
# cleanup.
sh -c '
  sh "$1/wine-prefix.sh" setup "$2" "$3" || exit 1
  sh "$1/wine-run.sh" "$2" "$3" cmd /c "$4" >/dev/null 2>&1
  exec sleep 300
' sh "$here" "$state" "$maker" "$lingering" </dev/null >/dev/null 2>&1 &
owner=$!
if wait_for "ping[.a-z]* -n 600"; then sleep 1; kill -KILL "$owner"; else echo "FAILED: the killed run never started" >&2; failed=1; fi
wait "$owner" 2>/dev/null
check "the shared prefix of a run killed before its cleanup" 30

rm -rf "$top"
exit "$failed"

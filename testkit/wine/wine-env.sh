# What every Wine run of the tests shares (sourced by wine-prefix.sh,
# wine-run.sh and wine-display.sh, each of which sets wine_env to this
# file's name first): no Mono or Gecko prompts, no menu entries written into
# the Linux desktop for the shortcuts that tests make, our shortcut maker in
# place of Wine's powershell, no debug output, and no display, so that no
# window can open on the machine that runs the tests.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;powershell.exe=n"
export WINEDEBUG=-all
unset DISPLAY WAYLAND_DISPLAY

# wine_prefix_make <folder> <shortcut maker>: a fresh prefix in
# <folder>/prefix, with <folder>/home as the Linux home that Wine links the
# prefix's Desktop and Documents to. Its wineserver and Wine's own services
# are started here, with no standard streams of the caller's, and stay up
# until wine_prefix_remove: a service started by a test's program would hold
# that program's output open, and ctest would wait for it to end.
# The DLL overrides above are written into the prefix's registry as well: a
# program started with an environment of its own making (as the tests start
# the setup program) no longer carries WINEDLLOVERRIDES.
wine_prefix_make() {
  mkdir -p "$1/home" || return 1
  export WINEPREFIX="$1/prefix" HOME="$1/home"
  wineserver -p </dev/null >/dev/null 2>&1
  wineboot -i </dev/null >"$1/wineboot.log" 2>&1 || { cat "$1/wineboot.log" >&2; return 1; }
  cat >"$1/overrides.reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\DllOverrides]
"mscoree"=""
"mshtml"=""
"winemenubuilder.exe"=""
"winemenubuilder"=""
"powershell.exe"="native"
REG
  wine regedit /S "Z:$(printf '%s' "$1/overrides.reg" | tr / '\\')" </dev/null >/dev/null 2>&1 || return 1
  cp "$2" "$WINEPREFIX/drive_c/windows/system32/WindowsPowerShell/v1.0/powershell.exe" || return 1
}

# wine_prefix_processes <prefix>: the process ids of the Wine processes of
# that prefix, the wineserver among them. Wine gives every process it starts
# WINEPREFIX, whatever environment its parent gave it.
wine_prefix_processes() {
  for environ in $(grep -lszxF "WINEPREFIX=$1" /proc/[0-9]*/environ); do
    dir=${environ%/environ}
    case "$(readlink "$dir/exe" 2>/dev/null)" in
      */wine*) echo "${dir#/proc/}" ;;
    esac
  done
}

# wine_prefix_remove <folder>: ends the prefix's processes and removes it.
# After the wineserver's own end of them, any process of the prefix that is
# left (one that the server did not know of yet) is killed.
wine_prefix_remove() {
  WINEPREFIX="$1/prefix" HOME="$1/home" wineserver -k 2>/dev/null
  WINEPREFIX="$1/prefix" HOME="$1/home" wineserver -w 2>/dev/null
  tries=0
  while left=$(wine_prefix_processes "$1/prefix") && [ -n "$left" ] && [ "$tries" -lt 50 ]; do
    # shellcheck disable=SC2086
    kill -KILL $left 2>/dev/null
    tries=$((tries + 1))
    sleep 0.1
  done
  rm -rf "$1"
}

# wine_prefix_guard <folder> <pid>: once process <pid> has ended, however it
# ended (a run that ctest or CI killed included), the prefix in <folder> is
# ended and removed, unless it is gone already. The guard runs in a session
# of its own, away from the standard streams of the caller, so that neither
# ctest's end of a test's processes nor its wait for their output takes it.
wine_prefix_guard() {
  setsid -f sh -c '
    . "$0"
    while kill -0 "$2" 2>/dev/null && [ -d "$1" ]; do sleep 1; done
    if [ -d "$1" ]; then wine_prefix_remove "$1"; fi
  ' "$wine_env" "$1" "$2" </dev/null >/dev/null 2>&1
}

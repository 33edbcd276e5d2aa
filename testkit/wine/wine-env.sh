# What every Wine run of the tests shares (sourced by wine-prefix.sh and
# wine-run.sh): no Mono or Gecko prompts, no menu entries written into the
# Linux desktop for the shortcuts that tests make, our shortcut maker in
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
wine_prefix_make() {
  mkdir -p "$1/home" || return 1
  export WINEPREFIX="$1/prefix" HOME="$1/home"
  wineserver -p </dev/null >/dev/null 2>&1
  wineboot -i </dev/null >"$1/wineboot.log" 2>&1 || { cat "$1/wineboot.log" >&2; return 1; }
  cp "$2" "$WINEPREFIX/drive_c/windows/system32/WindowsPowerShell/v1.0/powershell.exe" || return 1
}

# wine_prefix_remove <folder>: ends the prefix's processes and removes it.
wine_prefix_remove() {
  WINEPREFIX="$1/prefix" HOME="$1/home" wineserver -k 2>/dev/null
  WINEPREFIX="$1/prefix" HOME="$1/home" wineserver -w 2>/dev/null
  rm -rf "$1"
}

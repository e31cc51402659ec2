# Shell functions that run the Windows build of the updater under Wine on an X display,
# shared by scripts/demo.sh --windows and the Windows real-window tests. Source this file.
#
# Facts these functions rely on (measured with Wine 8 on Xvfb, no window manager):
#  - A wineserver started without DISPLAY sends every later window of the prefix to a
#    null driver, where nothing appears: the server is started here with DISPLAY set, and
#    one left over from an earlier run is stopped first.
#  - Sockets are made by the wineserver, so it must run in the network of the caller (a
#    private network of a test among them): one server per run, stopped at its end.
#  - Managed=N in HKCU\Software\Wine\X11 Driver gives override-redirect windows whose frame
#    (title bar, border) Wine draws itself, so screenshots show the whole dialog. The client
#    area then starts 3 pixels right of and 22 pixels below the X window's corner.
#  - Wine reads the fonts of its own (MS Sans Serif, Tahoma, ...) only from the prefix's
#    windows/Fonts folder; without them every face becomes Liberation Sans.

source "$(dirname "${BASH_SOURCE[0]}")/wine-loader.sh"
wine_loader_setup

WN_CLIENT_DX=3
WN_CLIENT_DY=22
WN_FRAME_WIDTH=6
WN_FRAME_HEIGHT=25

# Prepares (the first time, about 20 s) and starts the Wine prefix $1 on $DISPLAY.
wn_start() {
  export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
  # The old server must be gone before the new one starts: one still ending would take the
  # new programs' connections and drop them.
  wineserver -k </dev/null >/dev/null 2>&1 || true
  wineserver -w </dev/null >/dev/null 2>&1 || true
  mkdir -p "$WINEPREFIX"
  wineserver -p </dev/null >/dev/null 2>&1 || return 1
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i </dev/null >/dev/null 2>&1 || return 1
  fi
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 ||
    return 1
  local fonts=$WINEPREFIX/drive_c/windows/Fonts font
  mkdir -p "$fonts"
  for font in /usr/share/wine/fonts/*; do
    [ -e "$fonts/$(basename "$font")" ] || ln -s "$font" "$fonts/"
  done
}

wn_stop() {
  [ -n "${WINEPREFIX:-}" ] && wineserver -k </dev/null >/dev/null 2>&1
  return 0
}

# The Windows name of a path on this machine (Wine's drive Z: is the root folder).
wn_path() {
  printf 'Z:%s' "$(printf '%s' "$1" | tr / '\\')"
}

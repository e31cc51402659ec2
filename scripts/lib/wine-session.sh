# Sourced by the scripts that run Windows tests: `wine_session_start BUILD` readies a Wine
# prefix inside the build folder BUILD (and a virtual X display unless there is one);
# `wine_session_end` stops its server. The caller's EXIT trap should stop the display
# (xd_stop_xvfb).
source "$(dirname "${BASH_SOURCE[0]}")/xdrive.sh"
source "$(dirname "${BASH_SOURCE[0]}")/wine-loader.sh"
wine_loader_setup

wine_session_start() {
  local build=$1
  # The dialog tests need real windows, and Wine makes windows only when its server starts
  # on an X display: a virtual one unless there is a display already.
  xd_display_usable || XD_XVFB_LOG=$build/xvfb.log xd_start_xvfb || true
  export WINEPREFIX=$PWD/$build/wineprefix WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
  # Wine's helper processes inherit the standard streams of whoever starts them first; kept
  # away from CTest's pipes, they cannot make CTest wait for them after every test. A
  # persistent server and one warm-up run leave every test a started Wine to use.
  # The server must be made persistent before anything else starts one: a server that Wine
  # starts itself ends as soon as its last program does, so it would stop whenever no test
  # happens to run, and a test starting at that moment fails with "Connection reset by peer".
  wineserver -k </dev/null >/dev/null 2>&1 || true
  wineserver -w </dev/null >/dev/null 2>&1 || true
  mkdir -p "$WINEPREFIX"
  wineserver -p </dev/null >/dev/null 2>&1
  wineboot -i </dev/null >/dev/null 2>&1
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

wine_session_end() {
  wineserver -k </dev/null >/dev/null 2>&1 || true
}

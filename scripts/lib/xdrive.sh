# Shell functions that run the updater's real windows on a virtual X display and drive them
# with xdotool, shared by scripts/demo.sh and the real-window tests. Source this file.
#
# There is no window manager on the virtual display: windows are found by their exact
# title among the mapped ones, the keyboard focus is set explicitly, and clicks go to
# positions inside the dialog's client area. The dialogs are 494 x 362 pixels; control
# positions are kept here in twips (15 twips a pixel), as the dialog layouts give them.

XD_TIMEOUT=${XD_TIMEOUT:-40}

xd_log() { printf '[%s] %s\n' "$(date +%H:%M:%S)" "$*"; }

# Starts Xvfb on a display number that Xvfb itself finds free, and exports DISPLAY.
# Sets XD_XVFB_PID. Returns non-zero, with the reason on stderr, when Xvfb cannot start.
xd_start_xvfb() {
  local numberfile
  if ! command -v Xvfb >/dev/null; then
    echo "Xvfb is not installed (package xvfb)" >&2
    return 1
  fi
  numberfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 "${XD_SCREEN:-1024x768x24}" -nolisten tcp -noreset \
    3>"$numberfile" >"${XD_XVFB_LOG:-/dev/null}" 2>&1 &
  XD_XVFB_PID=$!
  local tries=0
  while [ ! -s "$numberfile" ]; do
    if ! kill -0 "$XD_XVFB_PID" 2>/dev/null || [ $tries -ge 100 ]; then
      echo "Xvfb did not start${XD_XVFB_LOG:+ (see $XD_XVFB_LOG)}" >&2
      kill "$XD_XVFB_PID" 2>/dev/null
      XD_XVFB_PID=
      rm -f "$numberfile"
      return 1
    fi
    sleep 0.1
    tries=$((tries + 1))
  done
  DISPLAY=:$(head -n1 "$numberfile")
  export DISPLAY
  rm -f "$numberfile"
}

xd_stop_xvfb() {
  if [ -n "${XD_XVFB_PID:-}" ]; then
    kill "$XD_XVFB_PID" 2>/dev/null
    wait "$XD_XVFB_PID" 2>/dev/null
    XD_XVFB_PID=
  fi
}

# True when $DISPLAY names an X display that answers.
xd_display_usable() {
  [ -n "${DISPLAY:-}" ] && xdotool getdisplaygeometry >/dev/null 2>&1
}

xd_title_regex() {
  printf '^%s$' "$(printf '%s' "$1" | sed 's/[][\.*^$?+(){}|/]/\\&/g')"
}

# Prints the id of a mapped window titled exactly $1, if there is one.
xd_find_window() {
  xdotool search --onlyvisible --name "$(xd_title_regex "$1")" 2>/dev/null | head -n1
}

# Titles of the updater's message boxes that report a failure.
XD_ERROR_TITLES=("Oops ..." "No Version Info ..." "Cannot UnCompress ..." "Cannot Install Files ..."
  "Cannot Delete Files ..." "Cannot Markup ..." "Already Running ...")

# Prints the title of a mapped failure message box, if there is one.
xd_error_box() {
  local title
  for title in "${XD_ERROR_TITLES[@]}"; do
    if [ -n "$(xd_find_window "$title")" ]; then
      echo "$title"
      return 0
    fi
  done
  return 1
}

# Waits until a window titled $1 is mapped and prints its id. Gives up after $2 seconds
# (default XD_TIMEOUT), or at once when process $3 (if given) has ended.
xd_wait_window() {
  local title=$1 timeout=${2:-$XD_TIMEOUT} pid=${3:-} window deadline
  deadline=$((SECONDS + timeout))
  while [ $SECONDS -lt $deadline ]; do
    window=$(xd_find_window "$title")
    if [ -n "$window" ]; then
      echo "$window"
      return 0
    fi
    if [ -n "$pid" ] && ! kill -0 "$pid" 2>/dev/null; then
      echo "no window \"$title\": the program has ended" >&2
      return 2
    fi
    sleep 0.1
  done
  echo "no window \"$title\" within ${timeout}s" >&2
  return 1
}

# Waits until no window titled $1 is mapped any more; gives up after $2 seconds.
xd_wait_window_gone() {
  local title=$1 timeout=${2:-$XD_TIMEOUT} deadline
  deadline=$((SECONDS + timeout))
  while [ $SECONDS -lt $deadline ]; do
    [ -z "$(xd_find_window "$title")" ] && return 0
    sleep 0.1
  done
  echo "window \"$title\" still shown after ${timeout}s" >&2
  return 1
}

# Prints "X Y WIDTH HEIGHT" of window $1 (the client area: no frame without a manager).
xd_geometry() {
  local X Y WIDTH HEIGHT
  eval "$(xdotool getwindowgeometry --shell "$1" | grep -E '^(X|Y|WIDTH|HEIGHT)=')"
  echo "$X $Y $WIDTH $HEIGHT"
}

# Gives window $1 the keyboard focus. Windows that take the focus themselves (Wine's
# override-redirect windows) set XD_NO_FOCUS=1.
xd_focus() {
  [ "${XD_NO_FOCUS:-0}" = 1 ] && return 0
  timeout 5 xdotool windowfocus --sync "$1" 2>/dev/null || xdotool windowfocus "$1"
  sleep 0.2
}

# Focuses window $1 and types the key names that follow ("Return", "Escape", "alt+f").
xd_key() {
  local window=$1
  shift
  xd_focus "$window"
  xdotool key --delay 80 "$@"
}

# Clicks at pixel ($2, $3) of window $1's client area. XD_CLIENT_DX and XD_CLIENT_DY give
# where the client area lies in the X window when that has a frame drawn by its program.
xd_click() {
  xdotool mousemove --window "$1" $(($2 + ${XD_CLIENT_DX:-0})) $(($3 + ${XD_CLIENT_DY:-0}))
  sleep 0.2
  xdotool click 1
}

# Clicks the middle of a control given in twips: left top width height, relative to its
# container, and the container's left and top within the dialog (0 0 for the dialog).
xd_click_twips() {
  local window=$1 left=$2 top=$3 width=$4 height=$5 container_left=${6:-0} container_top=${7:-0}
  xd_click "$window" $(((container_left + left + width / 2) / 15)) \
    $(((container_top + top + height / 2) / 15))
}

# Clicks a control of the dialogs by name: the choice buttons of "Download Update"
# (cmdIRN, cmdSIL, cmdDRN) and "Needs No Update" (cmdDIA, cmdCRL, cmdDNU), all inside the
# white panel Frame1 at 2650, 180; and cmdCancel (also "&Finish") of every dialog.
xd_click_control() {
  local window=$1 frame="2650 180"
  case $2 in
    cmdIRN | cmdDIA) xd_click_twips "$window" 90 2025 4425 435 $frame ;;
    cmdSIL | cmdCRL) xd_click_twips "$window" 90 2565 4425 435 $frame ;;
    cmdDRN | cmdDNU) xd_click_twips "$window" 90 3105 4425 435 $frame ;;
    cmdCancel) xd_click_twips "$window" 6075 4905 1125 345 ;;
    *)
      echo "xd_click_control: unknown control $2" >&2
      return 1
      ;;
  esac
}

# Saves window $1 alone (as much of it as lies on the screen) as the PNG file $2, for
# pictures that show a dialog without the empty screen around it.
xd_screenshot_window() {
  local x y width height
  read -r x y width height <<<"$(xd_geometry "$1")"
  import -display "$DISPLAY" -window root -crop "${width}x$height+$x+$y" +repage "$2" 2>/dev/null
}

# Saves the whole screen as a PNG file.
xd_screenshot() {
  if command -v import >/dev/null; then
    import -display "$DISPLAY" -window root "$1" 2>/dev/null && return 0
  fi
  xwd -display "$DISPLAY" -root -silent | convert xwd:- "png:$1"
}

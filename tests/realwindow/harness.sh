# Common part of the real-window tests: each test script sources this file and calls
# rw_init with its command line:
#
#   <test>.sh --updater FILE --server FILE --standin FILE --base-url URL
#             --updater-version VERSION --work DIR [--wine-prefix DIR]
#
# With --wine-prefix the updater and the stand-in are the Windows programs, run under Wine
# in that prefix (scripts/lib/wine.sh); everything else is the same test.
#
# rw_init moves the test into a private network (so that the demo server can take the
# updater's compiled-in port whatever else runs on this machine), empties the test's own
# folder DIR, starts a virtual X display, and arranges that everything the test started
# is stopped when it ends. Exit status: 0 passed, 1 failed, 77 skipped (no X display can
# be started here, no Wine, or no demo server for the Windows build). Screenshots and logs
# stay in DIR.

RW_REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# shellcheck source=../../scripts/lib/xdrive.sh
source "$RW_REPO/scripts/lib/xdrive.sh"
# shellcheck source=../../scripts/lib/localnet.sh
source "$RW_REPO/scripts/lib/localnet.sh"
# shellcheck source=../../scripts/lib/wine.sh
source "$RW_REPO/scripts/lib/wine.sh"

RW_PIDS=()

rw_fail() {
  xd_log "FAILED: $*"
  [ -n "${DISPLAY:-}" ] && [ -n "${RW_WORK:-}" ] && xd_screenshot "$RW_WORK/failure.png" 2>/dev/null
  exit 1
}

# QZ_REALWINDOW_REQUIRED=1 (continuous integration, which installs everything) turns a
# skip into a failure, so that a missing display, Wine or demo server cannot pass unseen.
rw_skip() {
  [ "${QZ_REALWINDOW_REQUIRED:-0}" = 1 ] && rw_fail "cannot run: $*"
  xd_log "SKIPPED: $*"
  exit 77
}

rw_cleanup() {
  local pid
  for pid in "${RW_PIDS[@]}"; do kill -9 "$pid" 2>/dev/null; done
  ln_stop_server
  [ -n "$RW_WINE_PREFIX" ] && wn_stop
  xd_stop_xvfb
  [ -n "${RW_WORK:-}" ] && xd_log "screenshots and logs: $RW_WORK"
}

rw_init() {
  local script=$0 args=("$@")
  RW_UPDATER='' RW_SERVER='' RW_STANDIN='' RW_BASE_URL='' RW_WORK='' RW_UPDATER_VERSION=''
  RW_WINE_PREFIX=''
  while [ $# -gt 0 ]; do
    case $1 in
      --updater) RW_UPDATER=$2 ;;
      --server) RW_SERVER=$2 ;;
      --standin) RW_STANDIN=$2 ;;
      --base-url) RW_BASE_URL=$2 ;;
      --updater-version) RW_UPDATER_VERSION=$2 ;;
      --work) RW_WORK=$2 ;;
      --wine-prefix) RW_WINE_PREFIX=$2 ;;
      *) rw_fail "unknown argument $1" ;;
    esac
    shift 2
  done
  if [ -n "$RW_WINE_PREFIX" ] && [ ! -x "$RW_SERVER" ]; then
    rw_skip "no demo server at $RW_SERVER: build the Linux tree first"
  fi
  [ -f "$RW_UPDATER" ] && [ -x "$RW_SERVER" ] && [ -f "$RW_STANDIN" ] && [ -n "$RW_WORK" ] ||
    rw_fail "usage: $script --updater FILE --server FILE --standin FILE --base-url URL" \
      "--updater-version VERSION --work DIR"
  command -v xdotool >/dev/null || rw_fail "xdotool is missing (scripts/install-deps.sh)"
  ln_parse_base_url "$RW_BASE_URL" || rw_fail "bad base address"

  if ! ln_enter_private_network "$script" "${args[@]}"; then
    xd_log "no private network here: the server needs port $LN_PORT free on this machine"
  fi
  ln_setup_private_loopback || rw_fail "cannot set up the private network"
  ln_no_proxy

  rm -rf "$RW_WORK"
  mkdir -p "$RW_WORK/home" "$RW_WORK/tmp" "$RW_WORK/runtime"
  RW_WORK=$(cd "$RW_WORK" && pwd -P)
  chmod 700 "$RW_WORK/runtime"
  # Whatever the updater keeps per user (its previous-instance mark among them) stays
  # within this test.
  export HOME=$RW_WORK/home TMPDIR=$RW_WORK/tmp XDG_RUNTIME_DIR=$RW_WORK/runtime
  unset QT_QPA_PLATFORM
  RW_INSTALL=$RW_WORK/install
  # The installation's folder as the updater names it.
  RW_INSTALL_NAME=$RW_INSTALL
  RW_UPDATER_NAME=qzupdate RW_RUN=()
  RW_DIALOG_WIDTH=494 RW_DIALOG_HEIGHT=362
  RW_STAGING=$RW_INSTALL/QzUFiles
  RW_SERVER_FOLDER=$RW_WORK/server$LN_PATH/Vq
  RW_SHOT=0

  trap rw_cleanup EXIT
  XD_XVFB_LOG=$RW_WORK/xvfb.log xd_start_xvfb || rw_skip "no virtual X display: Xvfb cannot start"
  if [ -n "$RW_WINE_PREFIX" ]; then
    command -v wine >/dev/null || rw_skip "Wine is not installed (scripts/install-deps.sh --windows)"
    wn_start "$RW_WINE_PREFIX" || rw_fail "cannot start Wine in $RW_WINE_PREFIX"
    RW_UPDATER_NAME=qzupdate.exe RW_RUN=(wine) RW_INSTALL_NAME=$(wn_path "$RW_INSTALL")
    # The X window is the dialog with the frame Wine draws; clicks go to the client area.
    RW_DIALOG_WIDTH=$((494 + WN_FRAME_WIDTH)) RW_DIALOG_HEIGHT=$((362 + WN_FRAME_HEIGHT))
    export XD_CLIENT_DX=$WN_CLIENT_DX XD_CLIENT_DY=$WN_CLIENT_DY XD_NO_FOCUS=1
  fi
  xd_log "display $DISPLAY, work folder $RW_WORK"
}

# Makes the sample installation and server files in the work folder (make-demo.sh options).
rw_make_install() {
  "$RW_REPO/scripts/make-demo.sh" --out "$RW_WORK" --updater "$RW_UPDATER" \
    --standin "$RW_STANDIN" --base-path "$LN_PATH" ${RW_WINE_PREFIX:+--windows} "$@" >/dev/null ||
    rw_fail "cannot make the sample installation"
  cp -a "$RW_INSTALL" "$RW_WORK/original"
}

# Puts the update into the staging folder as an earlier run that saved it would have left it.
rw_stage_saved_download() {
  mkdir -p "$RW_STAGING"
  cp "$RW_SERVER_FOLDER/VQ.Zip" "$RW_STAGING/VQ.Zip"
  cp "$RW_SERVER_FOLDER/Data.TXT" "$RW_STAGING/Data.Mdb"
  cp "$RW_SERVER_FOLDER/Version.INF" "$RW_STAGING/Version.INF"
}

rw_start_server() {
  ln_start_server "$RW_SERVER" "$RW_WORK/server" "$RW_WORK/server.log" "${1:-0}" ||
    rw_fail "cannot start the demo server"
  RW_PIDS+=("$LN_SERVER_PID")
}

# Requests the server has answered, one "METHOD PATH STATUS BYTES" line each.
rw_requests() { grep -v '^serving ' "$RW_WORK/server.log" 2>/dev/null || true; }

# Starts the installed updater with the given arguments from a folder of its own (the
# updater finds its files by its executable's folder, not the current one). Sets RW_PID.
rw_start_updater() {
  local log=$RW_WORK/updater-$((${#RW_PIDS[@]} + 1)).log
  (cd "$RW_WORK/tmp" && exec "${RW_RUN[@]}" "$RW_INSTALL/$RW_UPDATER_NAME" "$@") >"$log" 2>&1 &
  RW_PID=$!
  RW_PIDS+=("$RW_PID")
  xd_log "started qzupdate $(printf '"%s" ' "$@")(process $RW_PID)"
}

# Starts the installed Vq (the stand-in), which holds Config.ldb, and waits until it does.
# Sets RW_VQ to its process.
rw_start_vq() {
  local ready=$RW_WORK/vq.ready deadline
  rm -f "$ready"
  local ready_name=$ready
  [ -n "$RW_WINE_PREFIX" ] && ready_name=$(wn_path "$ready")
  "${RW_RUN[@]}" "$RW_INSTALL/Vq.exe" --ready-file "$ready_name" >"$RW_WORK/vq.log" 2>&1 </dev/null &
  RW_VQ=$!
  RW_PIDS+=("$RW_VQ")
  deadline=$((SECONDS + 20))
  until [ -s "$ready" ]; do
    [ $SECONDS -lt $deadline ] && kill -0 "$RW_VQ" 2>/dev/null || rw_fail "Vq did not start"
    sleep 0.1
  done
}

# What the installed Vq.exe says it is ("Vq stand-in 1.3.0").
rw_vq_version() {
  "${RW_RUN[@]}" "$RW_INSTALL/Vq.exe" --version </dev/null 2>/dev/null | tr -d '\r'
}

# Waits up to $2 seconds for process $1 to end; sets RW_STATUS to its exit status.
rw_wait_exit() {
  local pid=$1 timeout=${2:-$XD_TIMEOUT} deadline
  deadline=$((SECONDS + timeout))
  while kill -0 "$pid" 2>/dev/null; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.1
  done
  wait "$pid"
  RW_STATUS=$?
  return 0
}

# The process ended by itself, without a crash.
rw_expect_clean_exit() {
  rw_wait_exit "$1" "${2:-$XD_TIMEOUT}" || rw_fail "qzupdate (process $1) did not end"
  [ "$RW_STATUS" -lt 128 ] || rw_fail "qzupdate (process $1) crashed with status $RW_STATUS"
}

# Waits for a window titled $1 shown by updater process $2 (for at most $3 seconds);
# sets RW_WINDOW to its id.
rw_window() {
  RW_WINDOW=$(xd_wait_window "$1" "${3:-$XD_TIMEOUT}" "$2") || rw_fail "expected the window \"$1\""
  xd_log "window \"$1\" is shown"
}

# Saves a screenshot named NN-$1.png.
rw_shot() {
  RW_SHOT=$((RW_SHOT + 1))
  local file
  file=$RW_WORK/$(printf '%02d' $RW_SHOT)-$1.png
  xd_screenshot "$file" && xd_log "screenshot $file"
}

# The dialog has the fixed client size of the design.
rw_expect_dialog_size() {
  local x y width height
  read -r x y width height <<<"$(xd_geometry "$1")"
  [ "$width" = "$RW_DIALOG_WIDTH" ] && [ "$height" = "$RW_DIALOG_HEIGHT" ] ||
    rw_fail "dialog \"$2\" is ${width}x${height}, expected ${RW_DIALOG_WIDTH}x$RW_DIALOG_HEIGHT"
}

# Names of the ordinary files directly in folder $1, one a line, sorted.
rw_files_in() {
  [ -d "$1" ] || return 0
  find "$1" -mindepth 1 -maxdepth 1 -type f -printf '%f\n' | sort
}

# The file in folder $1 named $2 without regard to case (the updater may write Vq.Exe).
rw_find() {
  find "$1" -mindepth 1 -maxdepth 1 -iname "$2" -print -quit 2>/dev/null
}

rw_expect_same() {  # <actual file> <expected file> <what>
  [ -f "$1" ] || rw_fail "$3: $1 is missing"
  cmp -s "$1" "$2" || rw_fail "$3: $1 differs from $2"
}

rw_expect_no_files() {  # <folder> <what>
  local files
  files=$(rw_files_in "$1")
  [ -z "$files" ] || rw_fail "$2: expected no files in $1, found: $(echo "$files" | tr '\n' ' ')"
}

# The installation folder holds exactly what it held at the start (apart from $@ names).
rw_expect_install_unchanged() {
  local name
  for name in $(rw_files_in "$RW_WORK/original"); do
    case " $* " in *" $name "*) continue ;; esac
    rw_expect_same "$RW_INSTALL/$name" "$RW_WORK/original/$name" "installation unchanged"
  done
}

# Extracts the new Vq.exe from the archive on the server into RW_NEW_EXE.
rw_extract_new_executable() {
  RW_NEW_EXE=$RW_WORK/new-Vq.exe
  unzip -p "$RW_SERVER_FOLDER/VQ.Zip" Vq.exe >"$RW_NEW_EXE" || rw_fail "cannot read VQ.Zip"
}

# Presses the finished install dialog's "&Finish" by its access key, else by Return.
rw_press_finish() {
  local window=$1 pid=$2
  xd_key "$window" alt+f
  if ! rw_wait_exit "$pid" 5; then
    xd_log "Alt+F did not end the updater; pressing Return on the dialog"
    xd_key "$window" Return
  fi
  rw_expect_clean_exit "$pid" 10
}

# Waits until the installation has got to its last step: no file left directly in the
# staging folder and the new executable kept in After. The install dialog shows "&Finish"
# right after that.
rw_wait_install_finished() {
  local pid=$1 deadline
  deadline=$((SECONDS + ${2:-60}))
  while [ $SECONDS -lt $deadline ]; do
    if [ -z "$(rw_files_in "$RW_STAGING")" ] && [ -n "$(rw_find "$RW_STAGING/After" Vq.exe)" ]; then
      sleep 1
      return 0
    fi
    rw_no_error_box
    kill -0 "$pid" 2>/dev/null || rw_fail "qzupdate ended before the installation finished"
    sleep 0.2
  done
  rw_fail "the installation did not finish"
}

# Fails at once when the updater shows a message box that reports a failure.
rw_no_error_box() {
  local title
  if title=$(xd_error_box); then
    rw_fail "the updater shows \"$title\""
  fi
}

rw_pass() {
  xd_log "PASSED"
  exit 0
}

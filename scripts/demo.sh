#!/usr/bin/env bash
# The QzUpdate demo, in one command on a fresh machine:
#
#   scripts/demo.sh
#
# It installs the packages (scripts/install-deps.sh), builds the updater in Release into
# build-demo/, makes a sample installation of Vq 1.2.0 in demo-output/install and the
# update server's files for Vq 1.3.0 in demo-output/server, starts the demo update server
# where the updater's compiled-in base address points, and runs `qzupdate /Verbose` in
# the installation, as Vq does.
#
# With an X display ($DISPLAY set and answering) you click through the dialogs yourself:
# "Install it right now", then "Finish". Without one (a server, CI) the demo starts a
# virtual display, clicks through the same way by itself, and saves a picture of each
# dialog into demo-output/screenshots; after the walk it starts the updater twice more for
# the two dialogs the walk does not meet ("Needs No Update" now that the update is
# installed, and "Not Allowed ..." without a command line). Either way it shows what changed
# in the installation.
#
# With --windows the same demo runs the Windows build (qzupdate.exe, unzip32.dll and the
# Windows stand-in, cross-built into build-demo-windows/) under Wine; the demo server is
# still the Linux one. Its output goes to demo-output-windows/.
#
# Environment:
#   QZ_DEMO_SKIP_DEPS=1    skip scripts/install-deps.sh (the packages are there already)
#   QZ_DEMO_HEADLESS=1     use the virtual display and drive the dialogs even with a display
#   QZ_DEMO_VQ_RUNNING=1   keep Vq (the stand-in) running, so that the updater asks to close
#                          it ("Already Running ..."); it is closed before "Retry"
#   QZ_DEMO_WITH_MDF=1     the installation also has the SQL Server data file VqData.Mdf
#   QZ_DEMO_BUILD=DIR      the build folder (default build-demo)
#   QZ_DEMO_SIGNED=1       signed updates (or the argument --signed): makes a vendor key with
#                          qzupdate-sign, builds the updater with its public key and signs
#                          the demo release, so the updater installs it only because it is
#                          signed by that key
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=lib/xdrive.sh
source "$repo/scripts/lib/xdrive.sh"
# shellcheck source=lib/localnet.sh
source "$repo/scripts/lib/localnet.sh"

# shellcheck source=lib/wine.sh
source "$repo/scripts/lib/wine.sh"

windows=0
[ "${1:-}" = --windows ] && windows=1
out=$repo/demo-output
build=${QZ_DEMO_BUILD:-$repo/build-demo}
win_build=$repo/build-demo-windows
run=()
updater_name=qzupdate
if [ $windows = 1 ]; then
  out=$repo/demo-output-windows
  run=(wine)
  updater_name=qzupdate.exe
fi
install=$out/install
shots=$out/screenshots
vq_running=${QZ_DEMO_VQ_RUNNING:-0}
with_mdf=${QZ_DEMO_WITH_MDF:-0}
signed=${QZ_DEMO_SIGNED:-0}
for arg in "$@"; do [ "$arg" = --signed ] && signed=1; done
vendor_key=$out/vendor.key
pids=()

step() { printf '\n==> %s\n' "$*"; }

cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  ln_stop_server
  [ $windows = 1 ] && wn_stop
  xd_stop_xvfb
}
trap cleanup EXIT

build_everything() {
  if [ "${QZ_DEMO_SKIP_DEPS:-0}" != 1 ]; then
    step "Installing the packages (set QZ_DEMO_SKIP_DEPS=1 to skip)"
    "$repo/scripts/install-deps.sh" $([ $windows = 1 ] && echo --windows)
  fi
  step "Building the updater, the demo server and the Vq stand-in (Release) in $build"
  cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DQZUPDATE_BUILD_TESTS=OFF -DQZUPDATE_BUILD_BENCH=OFF \
    -DQZUPDATE_SIGNING_KEY= -DQZUPDATE_SIGNING_KEY2= >/dev/null
  [ "$signed" = 1 ] && make_vendor_key
  cmake --build "$build" -j2
  if [ $windows = 1 ]; then
    step "Cross-building the updater, unzip32.dll and the Vq stand-in for Windows in $win_build"
    cmake -S "$repo" -B "$win_build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-x86_64.cmake" \
      -DQZUPDATE_BUILD_TESTS=OFF -DQZUPDATE_BUILD_BENCH=OFF >/dev/null
    cmake --build "$win_build" -j2
  fi
}

# The vendor's first command: a fresh key pair; the updater is then built with its
# public key, as the vendor's own build would be.
make_vendor_key() {
  local printed
  step "Making a vendor key with qzupdate-sign keygen and building the updater with it"
  cmake --build "$build" -j2 --target qzupdate-sign
  mkdir -p "$out"
  rm -f "$vendor_key"
  printed=$("$build/bin/qzupdate-sign" keygen "$vendor_key")
  echo "$printed" | sed 's/^/  /'
  echo "$printed" | sed -n 's/.*-DQZUPDATE_SIGNING_KEY=//p' >"$out/vendor.pub"
  cmake -S "$repo" -B "$build" -DQZUPDATE_SIGNING_KEY="$(cat "$out/vendor.pub")" >/dev/null
}

# The vendor's other two commands: sign the release folder, then check it as the updater will.
sign_release() {
  local folder=$out/server${LN_PATH%/}/Vq
  step "Signing the release in $folder with qzupdate-sign sign, then checking it"
  "$build/bin/qzupdate-sign" sign --key "$vendor_key" --days 30 "$folder" | sed 's/^/  /'
  "$build/bin/qzupdate-sign" verify --public-key "$(cat "$out/vendor.pub")" --name Vq \
    "$folder" | sed 's/^/  /'
}

base_url() {
  sed -n 's/^QZUPDATE_BASE_URL:STRING=//p' "$build/CMakeCache.txt"
}

# Lists the files directly in $1, with sizes and checksums; with $2 (a copy of the folder
# as it was before) marks what is new, changed or gone.
show_folder() {
  local folder=$1 before=${2:-} file name mark
  echo "  $folder"
  if [ ! -d "$folder" ]; then
    echo "    (no such folder)"
    return 0
  fi
  for file in "$folder"/* "${before:-/nonexistent}"/*; do
    [ -f "$file" ] || continue
    name=$(basename "$file")
    if [ "$file" != "$folder/$name" ]; then
      [ -e "$folder/$name" ] || printf '    %-16s %10s  %-16s  removed\n' "$name" "" ""
      continue
    fi
    mark=
    if [ -n "$before" ]; then
      if [ ! -e "$before/$name" ]; then
        mark=new
      elif ! cmp -s "$file" "$before/$name"; then
        mark=changed
      fi
    fi
    printf '    %-16s %10s  %-16s  %s\n' "$name" "$(stat -c %s "$file")" \
      "$(sha256sum "$file" | cut -c1-16)" "$mark"
  done
}

show_result() {
  step "What the update server was asked"
  grep -v '^serving ' "$out/server.log" | sed 's/^/  /' || echo "  (nothing)"
  awk -v size="$(stat -c %s "$out/server${LN_PATH%/}/Vq/VQ.Zip" 2>/dev/null || echo 0)" \
    '$2 ~ /\/VQ.Zip$/ && ($3 == 200 || $3 == 206) { fetched += $4 }
     END { printf "  VQ.Zip: %d bytes fetched of the archive'"'"'s %d\n", fetched, size }' "$out/server.log"
  step "What changed in the installation (size in bytes, start of the SHA-256)"
  echo "Installation folder (compared with before the run):"
  show_folder "$install" "$out/before"
  echo "Backups of the replaced files:"
  show_folder "$install/QzUFiles/Before"
  echo "Copies of the installed files:"
  show_folder "$install/QzUFiles/After"
  echo "Staging folder (no files once an update is installed):"
  show_folder "$install/QzUFiles"
  printf '\nVq.exe before: %s\nVq.exe now:    %s\n' \
    "$("${run[@]}" "$out/before/Vq.exe" --version 2>/dev/null | tr -d '\r')" \
    "$("${run[@]}" "$install/Vq.exe" --version 2>/dev/null | tr -d '\r' || echo "(cannot run)")"
}

start_vq() {
  rm -f "$out/vq.ready"
  local ready=$out/vq.ready
  [ $windows = 1 ] && ready=$(wn_path "$ready")
  "${run[@]}" "$install/Vq.exe" --ready-file "$ready" >"$out/vq.log" 2>&1 </dev/null &
  vq_pid=$!
  pids+=("$vq_pid")
  until [ -s "$out/vq.ready" ]; do sleep 0.1; done
  echo "Vq (the stand-in) is running and holds $install/Config.ldb"
}

stop_vq() {
  kill "$vq_pid" 2>/dev/null || true
  wait "$vq_pid" 2>/dev/null || true
  echo "Vq (the stand-in) has been closed"
}

run_interactive() {
  step "Running qzupdate /Verbose on your display $DISPLAY"
  echo "Click \"Install it right now\", wait for the installation, then click \"Finish\"."
  "${run[@]}" "$install/$updater_name" /Verbose &
  local updater=$!
  pids+=("$updater")
  if [ "$vq_running" = 1 ]; then
    echo "When the updater says \"Already Running ...\", press Enter here to close Vq,"
    echo "then click \"Retry\"."
    read -r </dev/tty || true
    stop_vq
  fi
  wait "$updater" || true
}

# True unless the updater shows a message box that reports a failure.
no_error_box() {
  local title
  if title=$(xd_error_box); then
    xd_log "the updater shows \"$title\""
    return 1
  fi
}

# Waits for a dialog of the updater, sets `window` to it and saves a picture of it.
expect_dialog() {  # <title> <screenshot name> [timeout]
  window=$(xd_wait_window "$1" "${3:-$XD_TIMEOUT}" "$updater") || { no_error_box; return 1; }
  xd_log "the updater shows \"$1\""
  # A window is mapped before it has painted itself.
  sleep 0.3
  xd_screenshot_window "$window" "$shots/$2.png"
}

wait_updater_ended() {
  for _ in $(seq 100); do kill -0 "$updater" 2>/dev/null || return 0; sleep 0.1; done
  xd_log "the updater did not end"
  return 1
}

# Waits until all files have been downloaded: the server has answered every request.
wait_downloads() {
  local last=Data.TXT deadline=$((SECONDS + 60))
  [ "$with_mdf" = 1 ] && last=VqData.TXT
  # The files come in order; VQ.Zip's answers are 206 when only its changed members come.
  until grep -q "/$last 200 " "$out/server.log"; do
    no_error_box || return 1
    [ $SECONDS -lt $deadline ] && kill -0 "$updater" 2>/dev/null || return 1
    sleep 0.2
  done
  sleep 1.5
}

wait_installed() {
  local deadline=$((SECONDS + 90))
  until [ -z "$(find "$install/QzUFiles" -maxdepth 1 -type f)" ] &&
    [ -n "$(find "$install/QzUFiles/After" -maxdepth 1 -iname Vq.exe 2>/dev/null)" ]; do
    no_error_box || return 1
    [ $SECONDS -lt $deadline ] && kill -0 "$updater" 2>/dev/null || return 1
    sleep 0.2
  done
  sleep 1
}

drive_dialogs() {
  local window
  expect_dialog "Check for Online Updates" 01-check || return 1
  expect_dialog "Download Update" 02-downloading || return 1
  wait_downloads || return 1
  expect_dialog "Download Update" 03-choices || return 1
  xd_log "choosing \"Install it right now\""
  xd_click_control "$window" cmdIRN
  expect_dialog "Install Update" 04-installing || return 1
  if [ "$vq_running" = 1 ]; then
    expect_dialog "Already Running ..." 05-already-running || return 1
    stop_vq
    xd_log "choosing \"Retry\""
    xd_key "$window" Return
    xd_wait_window_gone "Already Running ..." 10 || return 1
  fi
  wait_installed || return 1
  expect_dialog "Install Update" 06-finished || return 1
  xd_log "pressing \"Finish\" (Alt+F)"
  xd_key "$window" alt+f
  for _ in $(seq 50); do kill -0 "$updater" 2>/dev/null || return 0; sleep 0.1; done
  xd_log "Alt+F did not end the updater; pressing Return"
  xd_key "$window" Return
}

# The two dialogs that the walk above does not pass through: a second check, now that the
# update is installed, and a start by hand with no command line.
drive_other_dialogs() {
  local window published
  step "Starting qzupdate /Verbose again, now that Vq says it is the published version"
  # The host, not the updater, keeps Version.INF up to date: the new Vq would write it.
  published=$(grep -o 'ApplicationVersion=[^"]*' "$out/server${LN_PATH%/}/Vq/Version.INF")
  sed -i "s/ApplicationVersion=[^\"]*/$published/" "$install/Version.INF"
  # The pointer still rests where "Install it right now" was, over "Download and Install anyway".
  xdotool mousemove 0 0
  "${run[@]}" "$install/$updater_name" /Verbose >>"$out/updater.log" 2>&1 &
  updater=$!
  pids+=("$updater")
  expect_dialog "Needs No Update" 07-needs-no-update || return 1
  xd_log "pressing \"Cancel\" (Esc)"
  xd_key "$window" Escape
  wait_updater_ended || return 1
  step "Starting qzupdate by hand, without a command line"
  "${run[@]}" "$install/$updater_name" >>"$out/updater.log" 2>&1 &
  updater=$!
  pids+=("$updater")
  expect_dialog "Not Allowed ..." 08-not-allowed || return 1
  xd_log "pressing \"OK\" (Return)"
  xd_key "$window" Return
  wait_updater_ended
}

run_headless() {
  step "Running qzupdate /Verbose on a virtual display, driving the dialogs"
  rm -rf "$shots"
  mkdir -p "$shots"
  "${run[@]}" "$install/$updater_name" /Verbose >"$out/updater.log" 2>&1 &
  updater=$!
  pids+=("$updater")
  local status=0
  if ! drive_dialogs; then
    status=1
    xd_screenshot "$shots/failure.png" || true
    xd_log "the run did not go as expected; the screen is in $shots/failure.png"
    [ -s "$out/updater.log" ] && sed 's/^/  updater: /' "$out/updater.log"
  fi
  kill "$updater" 2>/dev/null || true
  wait "$updater" 2>/dev/null || true
  return $status
}

# The virtual display when there is no usable one, and Wine on the display in use: both
# before the stand-in starts, since starting Wine stops every program of an earlier server.
start_display() {
  if [ $headless = 1 ]; then
    XD_XVFB_LOG=$out/xvfb.log xd_start_xvfb || exit 1
    unset QT_QPA_PLATFORM
  fi
  if [ $windows = 1 ]; then
    start_wine
    export XD_CLIENT_DX=$WN_CLIENT_DX XD_CLIENT_DY=$WN_CLIENT_DY XD_NO_FOCUS=1
  fi
}

# Wine in a prefix of the demo's own, on the display in use (scripts/lib/wine.sh).
start_wine() {
  step "Starting Wine in $win_build/wineprefix (the first time takes about 20 s)"
  wn_start "$win_build/wineprefix" || { echo "cannot start Wine" >&2; exit 1; }
}

if [ -z "${QZ_DEMO_BUILT:-}" ]; then
  build_everything
  export QZ_DEMO_BUILT=1
fi
ln_parse_base_url "$(base_url)"
headless=1
[ "${QZ_DEMO_HEADLESS:-0}" != 1 ] && xd_display_usable && headless=0
if [ $headless = 1 ]; then
  # A network of its own, so that the server gets the compiled-in port even when another
  # program on this machine has it.
  ln_enter_private_network "$0" "$@" || true
  ln_setup_private_loopback
fi
ln_no_proxy

step "Making the sample installation and the update server's files in $out"
programs=(--updater "$build/bin/qzupdate" --standin "$build/bin/vq-standin")
if [ $windows = 1 ]; then
  programs=(--windows --updater "$win_build/bin/qzupdate.exe" --standin "$win_build/bin/vq-standin.exe")
fi
"$repo/scripts/make-demo.sh" --out "$out" "${programs[@]}" --base-path "$LN_PATH" --stale-lock \
  $([ "$with_mdf" = 1 ] && echo --with-mdf)
[ "$signed" = 1 ] && sign_release
rm -rf "$out/before"
cp -a "$install" "$out/before"
echo "(Config.ldb is a lock file left by a Vq that crashed: the updater removes it.)"

step "Starting the demo update server on http://$LN_HOST:$LN_PORT (log: $out/server.log)"
ln_start_server "$build/bin/qzupdate-demo-server" "$out/server" "$out/server.log" 700
start_display
[ "$vq_running" = 1 ] && start_vq

status=0
if [ $headless = 1 ]; then
  run_headless || status=1
else
  run_interactive
fi
show_result
if [ $headless = 1 ]; then
  if [ $status = 0 ] && ! drive_other_dialogs; then
    status=1
    xd_screenshot "$shots/failure.png" || true
  fi
  echo "Screenshots: $shots"
fi
exit $status

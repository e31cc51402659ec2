#!/usr/bin/env bash
# A slow download keeps its window alive: covered by another window and uncovered again,
# the download dialog shows its text as before and its bar has moved on; Cancel ends the
# updater at once, and what had arrived is never offered as a complete update.
source "$(dirname "$0")/harness.sh"
rw_init "$@"
rw_make_install
# Only downloaded, never installed: 30 MB at 2 MB/s last well beyond the checks below.
head -c 30000000 /dev/urandom >"$RW_SERVER_FOLDER/VQ.Zip"
ln_start_server "$RW_SERVER" "$RW_WORK/server" "$RW_WORK/server.log" 0 --rate 2000000 ||
  rw_fail "cannot start the demo server"
RW_PIDS+=("$LN_SERVER_PID")

# The window's own pixels; $2 is a region WxH+X+Y of it.
window_image() { xwd -display "$DISPLAY" -silent -id "$1" | convert xwd:- png:"$2"; }
same_region() {
  [ "$(compare -metric AE -crop "$3" "$1" "$2" null: 2>&1)" = 0 ]
}

rw_start_updater /Verbose
pid=$RW_PID
rw_window "Download Update" "$pid"
dialog=$RW_WINDOW
sleep 3
window_image "$dialog" "$RW_WORK/before.png"

# A second start only shows "Its On ..."; put that box over the dialog's message.
rw_start_updater /Verbose
second=$RW_PID
rw_window "Its On ..." "$second"
box=$RW_WINDOW
read -r x y _ _ < <(xd_geometry "$dialog")
xdotool windowmove "$box" "$x" "$y"
sleep 1
rw_shot covered
xd_key "$box" Return
rw_expect_clean_exit "$second" 20
sleep 1
window_image "$dialog" "$RW_WORK/after.png"
rw_shot uncovered

message=280x40+183+25
bar=290x16+184+150
same_region "$RW_WORK/before.png" "$RW_WORK/after.png" "$message" ||
  rw_fail "the dialog's message was not painted again after it was uncovered"
same_region "$RW_WORK/before.png" "$RW_WORK/after.png" "$bar" &&
  rw_fail "the bar did not move during the download"

xd_click_control "$dialog" cmdCancel
rw_wait_exit "$pid" 5 || rw_fail "Cancel did not end the download at once"
[ -e "$RW_STAGING/VQ.Zip" ] && rw_fail "a cancelled download left VQ.Zip"
[ -s "$RW_STAGING/Partial/VQ.Zip" ] || rw_fail "the cancelled download kept nothing to resume"
rw_pass

#!/usr/bin/env bash
# A second instance: with "/Verbose" it says "Its On ..." and ends once that is dismissed;
# with "/Silent" or plain text it ends at once without a word, writing nothing and without
# the silent start's wait. The first instance goes on undisturbed.
source "$(dirname "$0")/harness.sh"
rw_init "$@"
rw_make_install
rw_stage_saved_download
cp -a "$RW_STAGING" "$RW_WORK/staged"

# The first instance finds the saved download and waits at the choices.
rw_start_updater /Verbose
first=$RW_PID
rw_window "Download Update" "$first"
first_window=$RW_WINDOW
rw_shot first-instance

rw_start_updater /Verbose
second=$RW_PID
rw_window "Its On ..." "$second"
rw_shot its-on
sleep 1
kill -0 "$second" 2>/dev/null || rw_fail "the second instance ended before the message was dismissed"
xd_key "$RW_WINDOW" Return
rw_expect_clean_exit "$second" 10

for mode in /Silent "now please"; do
  rw_start_updater "$mode"
  # A silent start that got past the instance test would write QzUpdate.INF and wait 30 s.
  rw_expect_clean_exit "$RW_PID" 10
done
[ ! -e "$RW_INSTALL/QzUpdate.INF" ] || rw_fail "a second silent instance wrote QzUpdate.INF"

kill -0 "$first" 2>/dev/null || rw_fail "the first instance ended"
[ "$(xd_find_window "Download Update")" = "$first_window" ] ||
  rw_fail "the first instance's dialog is gone"

# Esc is the first instance's Cancel: it ends and keeps the saved download.
xd_key "$first_window" Escape
rw_expect_clean_exit "$first" 10
diff -r -x Log "$RW_WORK/staged" "$RW_STAGING" >/dev/null || rw_fail "the staging folder changed"
rw_expect_install_unchanged
rw_pass

#!/usr/bin/env bash
# Installing while Vq runs: "Already Running ..." comes before any file is touched, comes
# back after Retry for as long as Vq holds Config.ldb, and once Vq has ended, Retry goes
# on with the installation (removing the lock file Vq left).
source "$(dirname "$0")/harness.sh"
rw_init "$@"
rw_make_install
rw_stage_saved_download
cp -a "$RW_STAGING" "$RW_WORK/staged"
rw_extract_new_executable

rw_start_vq
vq=$RW_VQ

rw_start_updater /Verbose
pid=$RW_PID
rw_window "Download Update" "$pid"
xd_click_control "$RW_WINDOW" cmdIRN
rw_window "Already Running ..." "$pid"
rw_shot already-running
[ -n "$(xd_find_window "Install Update")" ] || rw_fail "the install dialog is not shown"
[ ! -e "$RW_STAGING/Before" ] && [ ! -e "$RW_STAGING/After" ] ||
  rw_fail "Before or After was made while Vq runs"
diff -r -x Log "$RW_WORK/staged" "$RW_STAGING" >/dev/null || rw_fail "the staging folder changed"
rw_expect_install_unchanged

xd_key "$RW_WINDOW" Return
xd_wait_window_gone "Already Running ..." 10 || rw_fail "Retry did not close the question"
rw_window "Already Running ..." "$pid" 15
rw_shot asked-again

kill -TERM "$vq"
wait "$vq"
[ -e "$RW_INSTALL/Config.ldb" ] || rw_fail "the stand-in should leave its lock file behind"
xd_key "$RW_WINDOW" Return
xd_wait_window_gone "Already Running ..." 10 || rw_fail "Retry did not close the question"
rw_wait_install_finished "$pid" 60
rw_window "Install Update" "$pid"
rw_shot finished
rw_press_finish "$RW_WINDOW" "$pid"

[ ! -e "$RW_INSTALL/Config.ldb" ] || rw_fail "the lock file left by Vq is still there"
rw_expect_same "$RW_INSTALL/Vq.exe" "$RW_NEW_EXE" "installed executable"
rw_expect_same "$RW_INSTALL/Data.Mdb" "$RW_SERVER_FOLDER/Data.TXT" "installed Jet database"
rw_expect_no_files "$RW_STAGING" "staging folder after the installation"
rw_pass

#!/usr/bin/env bash
# "/Silent" with a download saved by an earlier run: QzUpdate.INF is written, the silent
# start waits its 30 seconds, and then the choices open for the saved update without any
# request to the server. "Save it to be installed later on" keeps everything for next time.
source "$(dirname "$0")/harness.sh"
rw_init "$@"
rw_make_install
rw_stage_saved_download
cp -a "$RW_STAGING" "$RW_WORK/staged"
rw_start_server

rw_start_updater /Silent
pid=$RW_PID
deadline=$((SECONDS + 10))
until [ -e "$RW_INSTALL/QzUpdate.INF" ]; do
  [ $SECONDS -lt $deadline ] || rw_fail "QzUpdate.INF was not written"
  sleep 0.2
done
sleep 5
[ -z "$(xd_find_window "Download Update")" ] || rw_fail "the choices opened before the 30-second wait"

rw_window "Download Update" "$pid" 60
rw_shot saved-download
[ -z "$(rw_requests)" ] || rw_fail "a saved download must not ask the server: $(rw_requests)"

expected_inf=$(printf '"%s"\r\n' "[Source Information]" DeveloperName= ApplicationName= \
  "ApplicationVersion=$RW_UPDATER_VERSION" "ApplicationPath=$RW_INSTALL_NAME" "[End Of File]")
actual_inf=$(sed -e 's/^"DeveloperName=.*"\r$/"DeveloperName="\r/' \
  -e 's/^"ApplicationName=.*"\r$/"ApplicationName="\r/' "$RW_INSTALL/QzUpdate.INF")
[ "$actual_inf" = "$expected_inf" ] ||
  rw_fail "QzUpdate.INF reads: $(cat -A "$RW_INSTALL/QzUpdate.INF")"

xd_click_control "$RW_WINDOW" cmdSIL
rw_window "Saved ..." "$pid"
rw_shot saved
xd_key "$RW_WINDOW" Return
rw_expect_clean_exit "$pid" 10

diff -r -x Log "$RW_WORK/staged" "$RW_STAGING" >/dev/null || rw_fail "saving changed the staging folder"
rw_expect_install_unchanged QzUpdate.INF
rw_pass

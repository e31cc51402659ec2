#!/usr/bin/env bash
# An update that carries the updater itself and its extraction library beside the new
# Vq.exe, installed by the very updater it replaces while that runs (on Windows a running
# program and a loaded library cannot be overwritten, only renamed): the whole update
# installs, the next start runs the new updater, and that start deletes the set-aside
# copies, which nothing holds any more.
source "$(dirname "$0")/harness.sh"
rw_init "$@"
rw_make_install
library=libunzip32.so
[ -n "$RW_WINE_PREFIX" ] && library=unzip32.dll

# The new updater and library: copies of the installed ones with a last line that tells
# them apart (the loader ignores bytes after the program image).
content=$RW_WORK/content
mkdir -p "$content"
unzip -q "$RW_SERVER_FOLDER/VQ.Zip" -d "$content"
for name in "$RW_UPDATER_NAME" "$library"; do
  cp "$RW_INSTALL/$name" "$content/$name"
  printf '\nQZ-SELF-UPDATE\n' >>"$content/$name"
done
rm "$RW_SERVER_FOLDER/VQ.Zip"
(cd "$content" && zip -q -X -D -r "$RW_SERVER_FOLDER/VQ.Zip" .)
rw_stage_saved_download

rw_start_updater /Verbose
pid=$RW_PID
rw_window "Download Update" "$pid"
xd_click_control "$RW_WINDOW" cmdIRN
rw_window "Install Update" "$pid"
rw_wait_install_finished "$pid" 90
rw_no_error_box
rw_press_finish "$RW_WINDOW" "$pid"
for name in "$RW_UPDATER_NAME" "$library" Vq.exe VqReports.dll; do
  rw_expect_same "$(rw_find "$RW_INSTALL" "$name")" "$content/$name" "installed"
done
rw_expect_same "$RW_INSTALL/WhatsNew.txt" "$content/Docs/WhatsNew.txt" "installed"
rw_expect_same "$RW_INSTALL/Data.Mdb" "$RW_SERVER_FOLDER/Data.TXT" "installed Jet database"

# The next start is the new updater's; without a server it ends quietly in plain mode.
rw_start_updater /Update
rw_expect_clean_exit "$RW_PID" 60
rw_expect_same "$RW_INSTALL/$RW_UPDATER_NAME" "$content/$RW_UPDATER_NAME" "the updater that ran"
left=$(find "$RW_INSTALL" \( -name '.*.qztmp' -o -name '.qzunzip-*.tmp' \) -print)
[ -z "$left" ] || rw_fail "set-aside or temporary files left after the next start: $left"
rw_pass

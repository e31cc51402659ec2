#!/usr/bin/env bash
# The typical verbose run from start to "&Finish" on an installation with both database
# files and a lock file left by a crashed Vq: check, download of the three update files,
# "Install it right now", installation, and then every file where it belongs.
source "$(dirname "$0")/harness.sh"
rw_init "$@"
rw_make_install --with-mdf --stale-lock
rw_extract_new_executable
# A second per answer keeps each dialog up long enough to be seen.
rw_start_server 1000

rw_start_updater /Verbose
pid=$RW_PID
rw_window "Check for Online Updates" "$pid"
rw_shot check
rw_expect_dialog_size "$RW_WINDOW" "Check for Online Updates"

rw_window "Download Update" "$pid"
rw_shot downloading
deadline=$((SECONDS + 60))
until cmp -s "$RW_STAGING/VqData.Mdf" "$RW_SERVER_FOLDER/VqData.TXT"; do
  [ $SECONDS -lt $deadline ] || rw_fail "the update files were not downloaded"
  rw_no_error_box
  kill -0 "$pid" 2>/dev/null || rw_fail "qzupdate ended during the download"
  sleep 0.2
done
sleep 1
rw_window "Download Update" "$pid"
rw_shot choices
rw_expect_dialog_size "$RW_WINDOW" "Download Update"

# Only the archive's changed members travel: ranges of it (206), never the whole (200).
expected_requests="GET $LN_PATH/Vq/Version.INF 200
GET $LN_PATH/Vq/VQ.Zip 206
GET $LN_PATH/Vq/Data.TXT 200
GET $LN_PATH/Vq/VqData.TXT 200"
[ "$(rw_requests | cut -d' ' -f1-3 | uniq)" = "$expected_requests" ] ||
  rw_fail "unexpected requests to the server: $(rw_requests)"
archive_bytes=$(stat -c %s "$RW_SERVER_FOLDER/VQ.Zip")
fetched=$(rw_requests | awk '$2 ~ /\/VQ.Zip$/ { sum += $4 } END { print sum + 0 }')
[ "$fetched" -lt $((archive_bytes / 2)) ] ||
  rw_fail "$fetched bytes of the $archive_bytes-byte archive were fetched"
rw_expect_same "$RW_STAGING/Version.INF" "$RW_SERVER_FOLDER/Version.INF" "downloaded"
[ "$(unzip -Z1 "$(rw_find "$RW_STAGING" VQ.Zip)" | tr '\n' ' ')" = "Vq.exe Docs/WhatsNew.txt " ] ||
  rw_fail "the staged archive does not hold exactly the changed members"
rw_expect_same "$RW_STAGING/Data.Mdb" "$RW_SERVER_FOLDER/Data.TXT" "downloaded"
rw_expect_same "$RW_STAGING/VqData.Mdf" "$RW_SERVER_FOLDER/VqData.TXT" "downloaded"

xd_click_control "$RW_WINDOW" cmdIRN
rw_window "Install Update" "$pid"
rw_shot installing
rw_expect_dialog_size "$RW_WINDOW" "Install Update"
rw_wait_install_finished "$pid" 90
rw_shot finished
rw_press_finish "$RW_WINDOW" "$pid"

# The new executable and the archive's other member, written flat into the folder.
rw_expect_same "$RW_INSTALL/Vq.exe" "$RW_NEW_EXE" "installed executable"
unzip -p "$RW_SERVER_FOLDER/VQ.Zip" Docs/WhatsNew.txt >"$RW_WORK/WhatsNew.txt"
rw_expect_same "$RW_INSTALL/WhatsNew.txt" "$RW_WORK/WhatsNew.txt" "archive member extracted flat"
[ ! -e "$RW_INSTALL/Docs" ] || rw_fail "the archive's folder was made in the installation"
rw_expect_same "$RW_INSTALL/Data.Mdb" "$RW_SERVER_FOLDER/Data.TXT" "installed Jet database"
rw_expect_same "$RW_INSTALL/VqData.Mdf" "$RW_SERVER_FOLDER/VqData.TXT" "installed SQL Server data"
[ "$(rw_vq_version)" = "Vq stand-in 1.3.0" ] || rw_fail "Vq.exe is not 1.3.0"

# Backups of what was replaced, copies of what was installed.
rw_expect_same "$(rw_find "$RW_STAGING/Before" Vq.exe)" "$RW_WORK/original/Vq.exe" "Before"
rw_expect_same "$RW_STAGING/Before/Data.Mdb" "$RW_WORK/original/Data.Mdb" "Before"
rw_expect_same "$RW_STAGING/Before/VqData.Mdf" "$RW_WORK/original/VqData.Mdf" "Before"
rw_expect_same "$(rw_find "$RW_STAGING/After" Vq.exe)" "$RW_NEW_EXE" "After"
rw_expect_same "$RW_STAGING/After/Data.Mdb" "$RW_SERVER_FOLDER/Data.TXT" "After"
rw_expect_same "$RW_STAGING/After/VqData.Mdf" "$RW_SERVER_FOLDER/VqData.TXT" "After"
for folder in Before After; do
  [ "$(rw_files_in "$RW_STAGING/$folder" | wc -l)" = 3 ] ||
    rw_fail "$folder holds $(rw_files_in "$RW_STAGING/$folder" | tr '\n' ' ')"
done

rw_expect_no_files "$RW_STAGING" "staging folder after the installation"
[ ! -e "$RW_INSTALL/Config.ldb" ] || rw_fail "the stale Config.ldb is still there"
rw_expect_install_unchanged Vq.exe Data.Mdb VqData.Mdf Config.ldb
rw_pass

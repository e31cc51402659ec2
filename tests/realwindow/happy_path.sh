#!/usr/bin/env bash
# The typical verbose run from start to "&Finish" on an installation with both database
# files and a lock file left by a crashed Vq: check, download of the three update files,
# "Install it right now", installation, and then every file where it belongs. Of the
# archive only the changed members' entries travel, which the server's log shows.
source "$(dirname "$0")/harness.sh"
rw_init "$@"

# The entries of zip $1 as lines "first last name" (byte offsets, both included), in the
# archive's order, then the directory to the end as "first end (directory)".
entry_spans() {
  zipinfo -v "$1" | awk '
    BEGIN { n = 0 }
    /^Central directory entry #/ { getline; getline; getline; name = substr($0, 3) }
    /offset of local header from start of archive:/ { start[n] = $NF; names[n++] = name }
    /and its \(expected\) offset in bytes/ { getline; directory = $2 }
    END {
      for (i = 0; i < n; i++) print start[i], (i + 1 < n ? start[i + 1] : directory) - 1, names[i]
      print directory, "end", "(directory)"
    }'
}

# Reads the server log and prints every range of VQ.Zip that reaches beyond the entries of
# the members named in $2 (one a line; spans from file $1) and the directory. The one
# request for the archive's last 64 KiB and 22 bytes, which finds the directory, is allowed.
ranges_beyond() {
  awk -v spans="$1" -v changed="$2" '
    BEGIN {
      n = 0
      split(changed, list, "\n")
      for (i in list) wanted[list[i]] = 1
      wanted["(directory)"] = 1
      while ((getline line <spans) > 0) {
        split(line, field, " ")
        name = substr(line, length(field[1]) + length(field[2]) + 3)
        if (!(name in wanted)) continue
        if (n > 0 && last[n] != "end" && field[1] == last[n] + 1) { last[n] = field[2]; continue }
        first[++n] = field[1]
        last[n] = field[2]
      }
    }
    $2 ~ /\/VQ\.Zip$/ && $5 != "" {
      sub(/^bytes=/, "", $5)
      count = split($5, ranges, ",")
      for (r = 1; r <= count; r++) {
        split(ranges[r], ends, "-")
        if (ends[1] == "") { if (ends[2] > 65558) print ranges[r]; continue }
        inside = 0
        for (i = 1; i <= n; i++)
          if (ends[1] >= first[i] && (last[i] == "end" || (ends[2] != "" && ends[2] <= last[i])))
            inside = 1
        if (!inside) print ranges[r]
      }
    }'
}
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
# The database files have no page companions here, so they come whole.
expected_requests="GET $LN_PATH/Vq/Version.INF 200
GET $LN_PATH/Vq/VQ.Zip 206
GET $LN_PATH/Vq/Data.PGZ 404
GET $LN_PATH/Vq/Data.TXT 200
GET $LN_PATH/Vq/VqData.PGZ 404
GET $LN_PATH/Vq/VqData.TXT 200"
[ "$(rw_requests | cut -d' ' -f1-3 | uniq)" = "$expected_requests" ] ||
  rw_fail "unexpected requests to the server: $(rw_requests)"
archive_bytes=$(stat -c %s "$RW_SERVER_FOLDER/VQ.Zip")
fetched=$(rw_requests | awk '$2 ~ /\/VQ.Zip$/ { sum += $4 } END { print sum + 0 }')
[ "$fetched" -lt $((archive_bytes / 2)) ] ||
  rw_fail "$fetched bytes of the $archive_bytes-byte archive were fetched"
rw_expect_same "$RW_STAGING/Version.INF" "$RW_SERVER_FOLDER/Version.INF" "downloaded"
staged_members=$(unzip -Z1 "$(rw_find "$RW_STAGING" VQ.Zip)")
[ "$(echo "$staged_members" | tr '\n' ' ')" = "Vq.exe Docs/WhatsNew.txt " ] ||
  rw_fail "the staged archive does not hold exactly the changed members"
entry_spans "$RW_SERVER_FOLDER/VQ.Zip" >"$RW_WORK/spans"
beyond=$(rw_requests | ranges_beyond "$RW_WORK/spans" "$staged_members")
[ -z "$beyond" ] || rw_fail "bytes of unchanged members were asked for: $beyond"
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

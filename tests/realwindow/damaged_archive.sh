#!/usr/bin/env bash
# A damaged VQ.Zip: the test pass fails before anything in the installation is touched,
# "Cannot UnCompress ..." says so, and the staging folder is emptied so that the next
# check downloads the update afresh.
source "$(dirname "$0")/harness.sh"
rw_init "$@"
rw_make_install
rw_stage_saved_download

# Overwrite part of Vq.exe's compressed data; the archive's directory stays readable.
archive=$RW_STAGING/VQ.Zip
printf '%*s' 256 '' | tr ' ' '\377' |
  dd of="$archive" bs=1 seek=$(($(stat -c %s "$archive") / 3)) conv=notrunc status=none
unzip -tqq "$archive" >/dev/null 2>&1 && rw_fail "the damaged archive still tests good"

rw_start_updater /Verbose
pid=$RW_PID
rw_window "Download Update" "$pid"
xd_click_control "$RW_WINDOW" cmdIRN
rw_window "Install Update" "$pid"
rw_window "Cannot UnCompress ..." "$pid" 60
rw_shot cannot-uncompress
rw_expect_install_unchanged
xd_key "$RW_WINDOW" Return
rw_expect_clean_exit "$pid" 20

rw_expect_no_files "$RW_STAGING" "staging folder after a damaged archive"
for folder in Before After; do
  [ -d "$RW_STAGING/$folder" ] || rw_fail "$folder was not made"
  rw_expect_no_files "$RW_STAGING/$folder" "$folder after a failed test pass"
done
rw_expect_install_unchanged
rw_pass

#!/usr/bin/env bash
# Started by hand with a blank command line (nothing, or nothing but spaces), the updater
# refuses with "Not Allowed ...", waits for the user, ends once the message is dismissed,
# and touches nothing.
source "$(dirname "$0")/harness.sh"
rw_init "$@"
rw_make_install

blanks=("" "   ")
# Wine quotes an argument that holds spaces, so a command line of nothing but spaces cannot
# be given to the Windows program this way; its command-line unit test covers that case.
[ -n "$RW_WINE_PREFIX" ] && blanks=("")
for blank in "${blanks[@]}"; do
  if [ -z "$blank" ]; then rw_start_updater; else rw_start_updater "$blank"; fi
  rw_window "Not Allowed ..." "$RW_PID"
  rw_shot "not-allowed-${#blank}-spaces"
  sleep 1
  kill -0 "$RW_PID" 2>/dev/null || rw_fail "the updater ended before the message was dismissed"
  xd_key "$RW_WINDOW" Return
  rw_expect_clean_exit "$RW_PID" 10
done

[ ! -e "$RW_STAGING" ] || rw_fail "a refused start made the staging folder"
rw_expect_install_unchanged
[ -z "$(rw_files_in "$RW_INSTALL" | grep -vxF -f <(rw_files_in "$RW_WORK/original"))" ] ||
  rw_fail "a refused start wrote a file into the updater's folder"
rw_pass

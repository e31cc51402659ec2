#!/usr/bin/env bash
# An installation killed (SIGKILL) right before every operation that replaces or removes a
# file, and right after the last one, then started again. (A kill right after an operation
# would find the files as one right before the next does, less the temporary files written
# in between, so these are all the states a kill can leave.) After each kill every file of the
# installation is wholly old or wholly new; the next start first finishes or undoes the
# swap that the kill interrupted, so that the whole set of files is old or new (a torn set
# is counted), then offers the staged update again and completes it (unless the kill came
# once the clean-up had removed the archive); after that run, started as if 13 hours later
# (younger files could be another run's work in progress), no temporary file of ours
# remains anywhere in the installation.
#
# The kills are exact, not timed: the shim in QZ_KILL_SHIM (KillShim.c), preloaded into the
# updater, counts those operations and kills the process at the chosen one. It also makes
# the install's waits free (its sleeps and its event loop's timed waits), so that each run
# takes about a second.
# QZ_KILL_POINTS limits the run to the first N operations (for a quick look).
source "$(dirname "$0")/harness.sh"
rw_init "$@"
[ -f "${QZ_KILL_SHIM:-}" ] || rw_fail "QZ_KILL_SHIM must name the kill shim library"

rw_make_install --with-mdf
rw_stage_saved_download
cp "$RW_SERVER_FOLDER/VqData.TXT" "$RW_STAGING/VqData.Mdf"
start=$RW_WORK/start
cp -a "$RW_INSTALL" "$start"
new=$RW_WORK/new
mkdir -p "$new"
unzip -q -j "$RW_SERVER_FOLDER/VQ.Zip" -d "$new"
cp "$RW_SERVER_FOLDER/Data.TXT" "$new/Data.Mdb"
cp "$RW_SERVER_FOLDER/VqData.TXT" "$new/VqData.Mdf"
host_files=(Vq.exe WhatsNew.txt Data.Mdb VqData.Mdf)
# Under the sanitizers the preloaded shim comes before their run-time: allowed here.
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0

# Starts the updater in plain mode with the shim and the extra environment given.
start_shimmed() {
  local log=$RW_WORK/updater.log
  (cd "$RW_WORK/tmp" &&
    exec env LD_PRELOAD="$QZ_KILL_SHIM" QZ_FAST_CLOCK=1 QZ_COUNT_UNDER="$RW_INSTALL" "$@" "$RW_INSTALL/qzupdate" /Update) \
    >>"$log" 2>&1 &
  RW_PID=$!
  RW_PIDS+=("$RW_PID")
}

# Chooses "Install it right now" in the offered saved download. False when the process
# ended before the choices were shown.
choose_install() {
  local window
  window=$(xd_wait_window "Download Update" "$XD_TIMEOUT" "$1") || return 1
  xd_click_control "$window" cmdIRN
}

# Waits for the finished install dialog of process $1 and presses Finish.
finish_install() {
  rw_wait_install_finished "$1" 60
  rw_window "Install Update" "$1"
  rw_press_finish "$RW_WINDOW" "$1"
}

# Prints "old" or "new" when every host file is as in $start or as in $new (a file absent
# from one of them is absent then), "torn" otherwise.
set_state() {
  local old=1 fresh=1 name found
  for name in "${host_files[@]}"; do
    found=$(rw_find "$RW_INSTALL" "$name")
    if [ -z "$found" ]; then
      [ ! -f "$start/$name" ] || old=0
      [ ! -f "$new/$name" ] || fresh=0
    else
      cmp -s "$found" "$start/$name" || old=0
      cmp -s "$found" "$new/$name" || fresh=0
    fi
  done
  if [ $old = 1 ]; then echo old; elif [ $fresh = 1 ]; then echo new; else echo torn; fi
}

# The file $1 of folder $2 is absent or equal to the same file in one of folders $3...
expect_whole() {
  local name=$1 folder=$2 found candidate
  shift 2
  found=$(rw_find "$folder" "$name")
  [ -n "$found" ] || return 0
  for candidate in "$@"; do
    [ -f "$candidate/$name" ] && cmp -s "$found" "$candidate/$name" && return 0
  done
  rw_fail "$found is torn: neither the old nor the new file"
}

# Files of ours that only exist while a file is being written.
temporary_files() {
  find "$RW_INSTALL" \( -name '.*.qztmp' -o -name '.qzunzip-*.tmp' \) -print
}

# A run without kills gives the operations to kill at.
log=$RW_WORK/operations.log
rm -f "$log"
start_shimmed QZ_OPERATIONS_LOG="$log"
choose_install "$RW_PID" || rw_fail "the saved download was not offered"
finish_install "$RW_PID"
total=$(wc -l <"$log")
[ "$total" -gt 0 ] || rw_fail "the shim saw no file operation"
xd_log "an installation replaces or removes files in $total operations"
[ -n "${QZ_KILL_POINTS:-}" ] && [ "$QZ_KILL_POINTS" -lt "$total" ] && total=$QZ_KILL_POINTS

killed=0 checked=0 offered=0 torn=0 undone=0 finished=0
# Counts the state of the whole set after the next start's recovery.
count_set() {
  case $(set_state) in
    old) undone=$((undone + 1)) ;;
    new) finished=$((finished + 1)) ;;
    *) torn=$((torn + 1)); xd_log "torn set after the kill $when operation $n and a new start" ;;
  esac
}
last=$(wc -l <"$log")
for ((n = 1; n <= total; n++)); do
  whens=before
  [ "$n" = "$last" ] && whens="before after"
  for when in $whens; do
    rm -rf "$RW_INSTALL"
    cp -a "$start" "$RW_INSTALL"
    start_shimmed QZ_KILL_AT="$n" QZ_KILL_WHEN="$when"
    pid=$RW_PID
    choose_install "$pid" || true
    rw_wait_exit "$pid" 60 || rw_fail "not killed $when operation $n: $(sed -n "${n}p" "$log")"
    [ "$RW_STATUS" = 137 ] || rw_fail "ended with status $RW_STATUS instead of the kill $when operation $n"
    killed=$((killed + 1))

    for name in "${host_files[@]}"; do
      expect_whole "$name" "$RW_INSTALL" "$start" "$new"
      checked=$((checked + 1))
    done
    for name in Vq.exe Data.Mdb VqData.Mdf; do
      expect_whole "$name" "$RW_STAGING/Before" "$start"
      expect_whole "$name" "$RW_STAGING/After" "$new"
    done
    expect_whole VQ.Zip "$RW_STAGING" "$start/QzUFiles"

    # The next start: the staged update again, installed whole; or, once the clean-up has
    # removed the archive, a check that finds no server and ends quietly.
    start_shimmed QZ_CLOCK_AHEAD=$((13 * 3600))
    pid=$RW_PID
    if [ -n "$(rw_find "$RW_STAGING" VQ.Zip)" ]; then
      window=$(xd_wait_window "Download Update" "$XD_TIMEOUT" "$pid") ||
        rw_fail "the staged update was not offered after the kill $when operation $n"
      count_set
      xd_click_control "$window" cmdIRN
      finish_install "$pid"
      rw_expect_no_files "$RW_STAGING" "after the kill $when operation $n and a new start"
      offered=$((offered + 1))
    else
      rw_expect_clean_exit "$pid" 60
      count_set
    fi
    for name in "${host_files[@]}"; do
      rw_expect_same "$RW_INSTALL/$name" "$new/$name" "after the kill $when operation $n and a new start"
    done
    leftovers=$(temporary_files)
    [ -z "$leftovers" ] ||
      rw_fail "temporary files left after the kill $when operation $n and a new start: $leftovers"
  done
done
xd_log "kill points: $killed, host files checked: $checked, torn files: 0," \
  "sets after the next start: $undone old, $finished new, $torn torn;" \
  "update offered again: $offered, temporary files left: 0"
[ "$torn" = 0 ] || rw_fail "$torn of $killed kill points left a torn set after the next start"
rw_pass

#!/usr/bin/env bash
# Faults of the drive and of the run, end to end, each in one silent run with the result log on:
#   rewrite-twice      the ROM rewrite fails twice, then succeeds: the update ends well (exit 0)
#   verify-fails       every verify reports a miscompare: code 600, exit 6, its log
#   stops-answering    the drive stops answering part-way through the download: the command
#                      waits out its time-out, every later one fails; code 500, no success
#   killed-download    the program is killed while it downloads: the drive keeps its old ROM and
#                      the next run, the launcher's "/LauncherLoading /AU /LFO", completes the
#                      update with no processing window and no log
#   killed-verify      the program is killed after the rewrite, in the verify download: the drive
#                      holds the complete new ROM and the next run reports it done
# Arguments: see lib.sh.
. "$(dirname "$0")/lib.sh"

fast="rewrite-ms=300 verify-ms=200"
drive="drive at=0:0 letter=D firmware=1.00 tray=open $fast"
rewrites="^$at0 cdb=F5[0-9A-F]{20}80 "
verifies="^$at0 cdb=F5[0-9A-F]{20}40 "
info_blocks="^$at0 cdb=EA0000000000"
writes="^$at0 cdb=EA"

session_start

b="$(bay rewrite-twice "$drive" "fault kind=rewrite nth=1 times=2 action=check")"
launch rewrite-twice en "$b" /AU /LFO
finish 0 300
expect_drive 0:0 1.01 image
expect_eq "rewrites: two refused, the third taken" "$(count_commands "$rewrites")" 3
expect_eq "the image sent again for each rewrite, then once to verify" "$(count_commands "$info_blocks")" 4
expect_no_log

b="$(bay verify-fails "$drive" "fault kind=verify nth=1 times=1000 action=check sense=0E/1D/00")"
launch verify-fails en "$b" /AU /LFO
finish 6 600
expect_eq "verify tried ten times" "$(count_commands "$verifies")" 10
expect_eq "one rewrite" "$(count_commands "$rewrites")" 1
# The rewrite itself succeeded: the new firmware is in the ROM though it never verified.
expect_drive 0:0 1.01 image
expect_log "$(log_drive 0 0 D 1.00)" "[VERIFY FAILED]" "Verify error.(1)"

# The 300th download write never completes (the program waits its full 60 s for it); from then on
# the drive takes no command at all.
b="$(bay stops-answering "$drive" "fault kind=write nth=300 action=hang" \
  "fault kind=write nth=301 times=100000 action=fail" "fault kind=read nth=300 times=100000 action=fail" \
  "fault kind=rewrite nth=1 times=100 action=fail" "fault kind=verify nth=1 times=100 action=fail")"
if [ "$transport" = aspi ]; then
  launch stops-answering en "$b" /AU /LFO
  finish 5 300
  expect_eq "one command left unanswered" "$(count_commands 'status=hang')" 1
  expect_eq "ten attempts" "$(count_commands "$info_blocks")" 10
  expect_eq "no rewrite" "$(count_commands "$rewrites")" 0
  expect_drive 0:0 1.00 other
  expect_log "$(log_drive 0 0 D 1.00)" "[UPDATE FAILED]" "Download error.(13)"
else
  echo "skipped: stops-answering: pass-through gives a command 1800 s before it gives up"
fi

# kill_when RUN BAY TRANSCRIPT_REGEX COUNT: starts a silent update and kills the program's process
# once the transcript holds COUNT lines of that kind.
kill_when() {
  launch_bare "$1" en "$2" /AU /LFO
  local limit=$((SECONDS + 180)) n=0
  while kill -0 "$run_pid" 2>/dev/null && [ $SECONDS -lt $limit ]; do
    n=$(count_commands "$3")
    [ "${n:-0}" -ge "$4" ] && break
    sleep 0.05
  done
  shot before-kill
  if ! tr '\0' ' ' <"/proc/$run_pid/cmdline" 2>/dev/null | grep -q "$program"; then
    abandon "the program's process is not there to kill (transcript held $n lines of $3)"
    return 1
  fi
  kill -9 "$run_pid"
  wait "$run_pid" 2>/dev/null
  run_pid=""
  ok "killed after $(count_commands "$writes") download writes and $(count_commands "$rewrites") rewrites"
}

b="$(bay killed-download "$drive")"
if kill_when killed-download "$b" "$writes" 600; then
  expect_eq "no rewrite before the kill" "$(count_commands "$rewrites")" 0
  expect_drive 0:0 1.00 other
  run=killed-download-again
  screens_during
  launch killed-download-again en "$b" /LauncherLoading /AU /LFO
  finish 0
  screens_seen
  expect_eq "screens shown" "$seen" "progress "
  expect_drive 0:0 1.01 image
  expect_eq "info block sent once per phase" "$(count_commands "$info_blocks")" 2
  expect_no_log  # a success leaves none
fi

b="$(bay killed-verify "$drive")"
if kill_when killed-verify "$b" "$writes" $((1097 + 500)); then
  expect_eq "one rewrite before the kill" "$(count_commands "$rewrites")" 1
  expect_drive 0:0 1.01 image
  launch killed-verify-again en "$b" /AU /LFO
  finish 99
  expect_untouched
  expect_log "(no drive)" "[F/W ALREADY UPDATED]" "Drive F/W already updated.(1)"
fi
walks_end

#!/usr/bin/env bash
# The launcher's side of the program, end to end:
#   check-*     "/LauncherRunCheck" answers in its exit code alone (1001: a drive needs the update,
#               1: no supported drive, 99: already updated), shows no screen and touches no drive
#   (the launcher's "/LauncherLoading /AU /LFO" update is walked by faults.sh, as the run that
#   completes an update killed part-way)
#   silent-*    silent runs that fail leave their log beside the program: named by their time,
#               seven lines, the drive, the result tag and the message
# Arguments: see lib.sh.
. "$(dirname "$0")/lib.sh"

drive="drive at=0:0 letter=D firmware=1.00 tray=open rewrite-ms=300 verify-ms=200"
updated="drive at=0:0 letter=D firmware=1.01 tray=open"
foreign='drive at=0:0 letter=D vendor="OTHERVND" product="DVD-ROM XX100   " tray=open'

# run_check RUN BAY WANTED_EXIT_CODE
run_check() {
  local b
  b="$(bay "$1" "$2")"
  run="$1"
  screens_during
  launch "$1" en "$b" /LauncherRunCheck
  finish "$3"
  screens_seen
  expect_eq "screens shown" "$seen" ""
  expect_untouched
  expect_no_log
}

# silent_failure RUN BAY WANTED_EXIT_CODE DRIVE_LINE TAG MESSAGE [ARGS...]
silent_failure() {
  local name="$1" b
  b="$(bay "$name" "$2")"
  local want="$3" line="$4" tag="$5" message="$6"
  shift 6
  launch "$name" en "$b" /AU /LFO "$@"
  finish "$want"
  expect_untouched
  expect_log "$line" "$tag" "$message"
}

session_start

run_check check-needs "$drive" 1001
run_check check-none "$foreign" 1
run_check check-updated "$updated" 99

silent_failure silent-none "$foreign" 1 "(no drive)" "[DRIVE NOT FOUND]" "Supported drive is not found.(2)"
silent_failure silent-updated "$updated" 99 "(no drive)" "[F/W ALREADY UPDATED]" "Drive F/W already updated.(1)"
silent_failure silent-option "$drive" 7 "(no drive)" "[INVALID OPTION]" "Option mismatched." /NOSUCH
silent_failure silent-duplicate "$drive" 7 "(no drive)" "[DUPLICATE OPTION]" "/CO" /CO /CO
# A tray that never opens: the silent run cannot open it for the user, and its log names that drive.
stopped="$(log_drive 0 0 D 1.00)"
silent_failure silent-eject "drive at=0:0 letter=D firmware=1.00 tray=closed flags=tray-stuck" 8 \
  "$stopped" "[EJECT FAILED]" "Eject failed.(1)"
walks_end

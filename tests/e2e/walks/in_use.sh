#!/usr/bin/env bash
# A drive that another program holds: the program cannot lock its volume. Interactive: the in-use
# screen, exit code 8, the drive untouched; silent: exit code 1 and the log "Drive is using.(1)".
# Volumes are locked under pass-through only (ASPI knows no volumes), so under ASPI this is skipped.
# Under Wine the lock of a volume always succeeds: Wine answers FSCTL_LOCK_VOLUME itself, and the
# SG_IO library, which stands for the drive, never sees it; until something refuses the lock of a
# drive marked lock-refused, the walk is skipped there too.
# Arguments: see lib.sh.
. "$(dirname "$0")/lib.sh"

if [ "$transport" = aspi ]; then
  echo "SKIP: $winver takes ASPI, where no volume is locked and no drive is ever in use"
  exit $skip_code
fi
if [ "${TZ594K_WALK_LOCKS:-}" != refused ]; then
  echo "SKIP: under Wine nothing refuses a volume lock yet (TZ594K_WALK_LOCKS=refused runs the walk)"
  exit $skip_code
fi

held="drive at=0:0 letter=D firmware=1.00 tray=open flags=lock-refused"
session_start

b="$(bay in-use "$held")"
launch in-use "$walk_language" "$b" /LFO
if wait_screen drive_in_use >/dev/null; then
  shot in-use drive_in_use
  drv click drive_in_use 2
  finish 8
  expect_untouched
  expect_no_log
else
  abandon "no in-use screen"
fi

b="$(bay in-use-silent "$held")"
launch in-use-silent "$walk_language" "$b" /AU /LFO
finish 1
expect_untouched
expect_log "$(log_drive 0 0 D 1.00)" "[DRIVE NOT FOUND]" "Drive is using.(1)"
walks_end

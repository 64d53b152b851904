#!/usr/bin/env bash
# The program on a laptop, end to end. Wine reads the power state from /sys/class/power_supply;
# each run that plays a laptop starts in a mount namespace of its own (unshare -m, as root) with a
# folder of ours bind-mounted there, whose files say AC online or not, battery present or not.
#   plain               no mount: Wine reports AC online and no system battery; a silent update
#                       ends 0
#   mains               AC online, a battery charging: a silent update ends 0
#   battery-silent      on battery, silent, a closed tray: exit 8, not one command sent, the tray
#                       still closed, its log "AC power required."
#   battery-silent-ip   on battery, silent, "/IP": the update ends 0
#   battery-user        on battery: after the start confirmation the battery screen asks for the
#                       AC adapter; the user leaves: exit 8, nothing downloaded, no log
#   battery-user-ip     on battery, "IgnorePower": no battery screen, the update ends 0
#   unplugged-silent    AC online until the download is under way, then on battery: the check
#                       right before the ROM rewrite ends the run, exit 5 (power off and on before
#                       the next run), no rewrite, the old ROM
#   unplugged-user      the same for a user: the battery screen before the rewrite, he leaves, the
#                       failure screen says "AC power required."; exit 5, no rewrite, its log
#   refused-unplugged   the drive refuses the first ROM rewrite, and the adapter is pulled right
#                       after: no power check stops a run whose ROM may be half written; the second
#                       rewrite goes on, exit 0
# Arguments: see lib.sh.
. "$(dirname "$0")/lib.sh"

if [ "$(id -u)" != 0 ]; then
  echo "skipped: playing a laptop's power supply needs a mount namespace of its own, which only root may make here"
  exit "$skip_code"
fi
if ! unshare -m --propagation private sh -c 'mount --bind /tmp /sys/class/power_supply' 2>/dev/null; then
  echo "skipped: unshare -m with a bind mount over /sys/class/power_supply is not possible here"
  exit "$skip_code"
fi

fast="rewrite-ms=300 verify-ms=200"
drive="drive at=0:0 letter=D firmware=1.00 tray=open $fast"
rewrites="^$at0 cdb=F5[0-9A-F]{20}80 "
writes="^$at0 cdb=EA"

# supply NAME AC_ONLINE BATTERY_STATUS: a power supply folder as Linux shows it, 40 % charged;
# prints its path.
supply() {
  local folder="$work/supply-$1"
  mkdir -p "$folder/AC" "$folder/BAT0"
  echo "$2" >"$folder/AC/online"
  echo Mains >"$folder/AC/type"
  echo Battery >"$folder/BAT0/type"
  echo "$3" >"$folder/BAT0/status"
  echo 1 >"$folder/BAT0/present"
  echo 40 >"$folder/BAT0/capacity"
  echo 20000000 >"$folder/BAT0/energy_now"
  echo 50000000 >"$folder/BAT0/energy_full"
  echo "$folder"
}
# on_supply FOLDER: the runs that follow see that power supply; none: the machine's own.
on_supply() {
  if [ "$1" = none ]; then
    run_wrapper=()
  else
    run_wrapper=(unshare -m --propagation private sh -c 'mount --bind "$0" /sys/class/power_supply && exec "$@"' "$1")
  fi
}
# unplug_after_writes FOLDER N: once N pieces of the image went down, the supply in FOLDER goes on
# battery.
unplug_after_writes() {
  local limit=$((SECONDS + 300)) sent=0
  while kill -0 "$run_pid" 2>/dev/null && [ "$sent" -lt "$2" ] && [ $SECONDS -lt $limit ]; do
    sleep 0.1
    sent="$(count_commands "$writes")"
    sent="${sent:-0}"
  done
  echo 0 >"$1/AC/online"
  echo Discharging >"$1/BAT0/status"
  ok "unplugged after $(count_commands "$writes") download writes"
}
# consent_then VERB...: the notice and the start confirmation, answered as a user does, then VERB;
# one request to the driver.
consent_then() {
  drv wait notice 180000 : click notice 1 : wait start_confirmation 60000 : click start_confirmation 1 : "$@"
}

session_start
battery="$(supply battery 0 Discharging)"
mains="$(supply mains 1 Charging)"

on_supply none
launch plain en "$(bay plain "$drive")" /AU /LFO
finish 0 300
expect_drive 0:0 1.01 image
expect_no_log

on_supply "$mains"
launch mains en "$(bay mains "$drive")" /AU /LFO
finish 0 300
expect_drive 0:0 1.01 image

on_supply "$battery"
# As a deployment tool meets the drive: its tray closed. Nothing reaches it, so nothing opens it.
launch battery-silent en "$(bay battery-silent "drive at=0:0 letter=D firmware=1.00 tray=closed $fast")" /AU /LFO
finish 8
expect_untouched  # the bay keeps the tray's state: unchanged, still closed
expect_eq "commands sent to the drive" "$(count_commands .)" 0
expect_log "(no drive)" "[OTHER ERROR]" "AC power required."

launch battery-silent-ip en "$(bay battery-silent-ip "$drive")" /AU /LFO /IP
finish 0 300
expect_drive 0:0 1.01 image

launch battery-user en "$(bay battery-user "$drive")" /LFO
if consent_then wait on_battery 120000 >/dev/null; then
  shot battery on_battery
  expect_text on_battery 1078 \
    'The computer is running on battery power.\n\nIf the power fails while the firmware is rewritten, the drive can no longer be used.'
  expect_text on_battery 1079 'Please connect the AC adapter, then click the [Retry] button.'
  drv click on_battery 2 >/dev/null || bad "the battery screen's EXIT not pressed"
else
  abandon "no battery screen after the start confirmation"
fi
finish 8
expect_untouched
expect_no_log  # code 800 is logged for silent runs only

launch battery-user-ip en "$(bay battery-user-ip "$drive")" IgnorePower
if consent_then wait success 300000 >/dev/null; then
  shot success success
  drv click success 2 >/dev/null || bad "the success screen's EXIT not pressed"
else
  abandon "no success screen: the battery screen may stand in the way"
fi
finish 0
expect_drive 0:0 1.01 image

# The adapter is pulled once 300 pieces of the image went down: the rewrite never comes.
unplug="$(supply unplug 1 Charging)"
on_supply "$unplug"
launch unplugged-silent en "$(bay unplugged-silent "$drive")" /AU /LFO
unplug_after_writes "$unplug" 300
finish 5 300
expect_eq "rewrites" "$(count_commands "$rewrites")" 0
expect_eq "every piece of the image sent" "$(count_commands "$writes")" 1097
expect_drive 0:0 1.00 other
expect_log "$(log_drive 0 0 D 1.00)" "[OTHER ERROR]" "AC power required."

# The same for a user: the battery screen stands before the rewrite; he leaves, and the failure
# screen tells him why and that the computer must be powered off and on.
unplug_user="$(supply unplug-user 1 Charging)"
on_supply "$unplug_user"
launch unplugged-user en "$(bay unplugged-user "$drive")" /LFO
if consent_then wait progress 120000 >/dev/null; then
  unplug_after_writes "$unplug_user" 300
  if drv wait on_battery 300000 >/dev/null; then
    drv click on_battery 2 >/dev/null || bad "the battery screen's EXIT not pressed"
    if drv wait update_failure 60000 >/dev/null; then
      expect_text update_failure 1081 'AC power required.'
      shot failure update_failure
      drv click update_failure 2 >/dev/null || bad "the failure screen's EXIT not pressed"
    else
      abandon "no failure screen after the battery screen"
    fi
  else
    abandon "no battery screen before the rewrite"
  fi
else
  abandon "no progress screen after the start confirmation"
fi
finish 5
expect_eq "rewrites" "$(count_commands "$rewrites")" 0
expect_drive 0:0 1.00 other
expect_log "$(log_drive 0 0 D 1.00)" "[OTHER ERROR]" "AC power required."

# The drive refuses the first rewrite; the adapter is pulled as soon as that request has reached
# it. The ROM may be half written: the run goes on to the second rewrite and the verify.
refused="$(supply refused 1 Charging)"
on_supply "$refused"
launch refused-unplugged en "$(bay refused-unplugged "$drive
fault kind=rewrite nth=1 action=check")" /AU /LFO
limit=$((SECONDS + 300))
while kill -0 "$run_pid" 2>/dev/null && [ "$(count_commands "$rewrites")" -lt 1 ] && [ $SECONDS -lt $limit ]; do
  sleep 0.1
done
echo 0 >"$refused/AC/online"
echo Discharging >"$refused/BAT0/status"
ok "unplugged after $(count_commands "$rewrites") rewrite request"
finish 0 300
expect_eq "rewrites" "$(count_commands "$rewrites")" 2
expect_drive 0:0 1.01 image
walks_end

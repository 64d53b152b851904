#!/usr/bin/env bash
# The detection switch of the real exe under Wine, as an endpoint-management tool runs it: "/DC"
# beside two simulated drives with closed trays, once through pass-through (Windows 10) and once
# through ASPI (Windows 98, our wnaspi32.dll). Each run ends by itself (no screen waits for
# anyone), answers by its exit code (1001: a drive at 1.00; 99: both at 1.01; 4: a drive at 0.80,
# as the update answers), sends INQUIRY to each drive and nothing else, and leaves the bay as it
# was: no tray moved, nothing written. Then a silent update on battery sends nothing at all.
#   detection.sh EXE WNASPI32_DLL WINE_BAY NATIVE_BUILD
set -euo pipefail
exe="$1"
dll="$2"
wine_bay="$3"
export TZ594K_NATIVE_BUILD="$4"
. "$(dirname "$0")/wine_work.sh"
cp "$exe" "$dll" "$work/"
program="$work/$(basename "$exe")"

# detect WINVER BAY_TEXT INQUIRY_CDB WANTED_EXIT_CODE ADDRESS...: /DC beside the drives of the bay
detect() {
  local winver="$1" bay_text="$2" cdb="$3" want="$4"
  shift 4
  echo "== /DC on $winver: $(echo "$bay_text" | sed 's/ tray=closed//; s/drive at=[0-9:]* letter=. //' | tr '\n' ' ')"
  printf '%s\n' "$bay_text" >"$work/bay.txt"
  cp "$work/bay.txt" "$work/bay-before.txt"
  : >"$work/transcript.txt"
  set +e
  # A screen would wait for an answer that never comes; the time limit turns that into a failure.
  (cd "$work" && timeout 300 "$wine_bay" --winver "$winver" --transcript "$work/transcript.txt" "$work/bay.txt" \
    "$program" /DC)
  local rc=$?
  set -e
  # A Unix exit status keeps the low eight bits of the exit code: 1001 arrives as 233, which no
  # other answer of the program shares.
  if [ "$rc" = "$((want & 255))" ]; then ok "exit code $want"; else bad "exit code $rc, wanted $want ($((want & 255)))"; fi
  local expected="" address
  for address in "$@"; do expected+="$address cdb=$cdb dir=in len=44 status=00"$'\n'; done
  if [ "$(cut -d' ' -f1-5 "$work/transcript.txt")" = "${expected%$'\n'}" ]; then
    ok "one INQUIRY to each drive and no other command"
  else
    bad "the drives received:"
    sed 's/^/    /' "$work/transcript.txt"
  fi
  if cmp -s "$work/bay.txt" "$work/bay-before.txt"; then ok "bay untouched: trays closed"; else bad "the bay changed"; fi
  if ls "$work"/*.log >/dev/null 2>&1; then bad "a log was written"; else ok "no log"; fi
}

# update WINVER WANTED_EXIT_CODE [WRAPPER...]: the silent update beside the bay of the last detection
update() {
  local winver="$1" want="$2"
  shift 2
  : >"$work/transcript.txt"
  set +e
  (cd "$work" && timeout 300 "$@" "$wine_bay" --winver "$winver" --transcript "$work/transcript.txt" "$work/bay.txt" \
    "$program" /AU)
  local rc=$?
  set -e
  if [ "$rc" = "$want" ]; then ok "the update: exit code $want"; else bad "the update: exit code $rc, wanted $want"; fi
}

both_drives() { printf 'drive at=0:0 letter=D firmware=%s tray=closed\ndrive at=0:1 letter=E firmware=1.01 tray=closed' "$1"; }
detect win10 "$(both_drives 1.00)" 120000002C00000000000000 1001 D: E:
detect win98 "$(both_drives 1.01)" 120000002C00 99 0:0 0:1
# A level the image never takes: the detection answers what the update answers, and settles.
detect win98 "drive at=0:0 letter=D firmware=0.80 tray=closed" 120000002C00 4 0:0
update win98 4

# On battery a silent update sends nothing to a drive: its tray stays closed. Wine reads the power
# state from /sys/class/power_supply; a folder of ours is bind-mounted over it in a mount namespace
# of the run's own (as root; the power walk plays the same under ASPI).
echo "== the silent update on battery under win10, a drive at 1.00 with its tray closed"
printf 'drive at=0:0 letter=D firmware=1.00 tray=closed\n' >"$work/bay.txt"
cp "$work/bay.txt" "$work/bay-before.txt"
if [ "$(id -u)" = 0 ] && unshare -m --propagation private sh -c 'mount --bind /tmp /sys/class/power_supply' 2>/dev/null; then
  supply="$work/supply"
  mkdir -p "$supply/AC" "$supply/BAT0"
  echo 0 >"$supply/AC/online"
  echo Mains >"$supply/AC/type"
  echo Battery >"$supply/BAT0/type"
  echo Discharging >"$supply/BAT0/status"
  echo 1 >"$supply/BAT0/present"
  echo 40 >"$supply/BAT0/capacity"
  update win10 8 unshare -m --propagation private sh -c 'mount --bind "$0" /sys/class/power_supply && exec "$@"' "$supply"
  if [ -s "$work/transcript.txt" ]; then
    bad "commands reached the drive: $(wc -l <"$work/transcript.txt")"
  else
    ok "not one command reached the drive"
  fi
  if cmp -s "$work/bay.txt" "$work/bay-before.txt"; then ok "bay untouched: the tray still closed"; else bad "the bay changed"; fi
else
  echo "skipped: a mount namespace with a bind mount over /sys/class/power_supply is not possible here (needs root)"
fi
exit $fail

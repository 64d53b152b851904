#!/usr/bin/env bash
# Interactive runs of the real exe in one language, walked screen by screen as a user would:
#   update            notice -> start confirmation -> progress -> success (Japanese: from two drives,
#                     the second chosen on the selection screen)
#   exit-*            the user leaves on each screen that offers it: exit code 8, drive untouched (the
#                     notice by Esc; on the selection screen the list is worked with the arrow keys first)
#   tray              a closed tray: the prompt, OK while the tray stays closed, the prompt again, EXIT
#   tray-opened       a closed tray: the prompt, the tray opened while it stands, OK, and the update
#                     goes on to its success, every screen answered by the keyboard alone
#   already-updated   a drive that has the firmware: its screen, left by Alt+F4, exit code 99
#   update-failure    a drive whose read-back never matches: the failure screen with the message,
#                     exit code 5 and the log
# Arguments: see lib.sh (--language en|ja).
. "$(dirname "$0")/lib.sh"

# The screens' texts as the catalogue gives them, in the run's language (\n: a line break).
if [ "$walk_language" = ja ]; then
  notice_text="下記の項目を確認の上、【続行】ボタンを押してください。"
  confirmation_text='ファームウェアの更新を開始しますか？\n\n更新後は、コンピュータの電源を切る必要があります。'
  selection_text="更新するドライブを選択してください。"
  tray_text='ファームウェアを更新するためには、ドライブのトレイを\n開けておく必要があります。'
  tray_hint='ドライブのイジェクトボタンを押してトレイを開けた後、\n【続行】ボタンを押してください。'
  already_text="ファームウェアは、既に更新されています。"
  success_text="ファームウェアの更新は、正常に終了しました。"
  failure_text="ファームウェアの更新中に、下記の異常が発生しました。"
  step_check="ドライブチェック中..." step_check_done="ドライブチェック完了。"
  step_transfer="データ転送中..." step_transfer_done="データ転送完了。"
  step_rewrite='^ＲＯＭデータ書換え中\.\.\. \([0-9]+秒程度お待ちください\)$' step_rewrite_done="ＲＯＭデータ書換え完了。"
  step_verify_transfer="ベリファイ中..." step_verify='^ベリファイ中\.\.\. \([0-9]+秒程度お待ちください\)$'
  step_verify_done="ベリファイ完了。"
  filled="■" empty="□"
else
  notice_text="Confirm the following items, and click [OK]."
  confirmation_text='To start firmware upgrade, click [OK].\nAfter completion, shutdown Windows, turn off and restart\nthe computer.'
  selection_text="Select drive in the following list."
  tray_text="The Disc Tray is closed."
  tray_hint="Please click the [OK] button after opening a Disc Tray."
  already_text="Firmware of drive is already up to date."
  success_text="Successfully completed."
  failure_text="Error occurred during firmware upgrade. See below:"
  step_check="Checking the Drive..." step_check_done="Good !!"
  step_transfer="The data transfer..." step_transfer_done="Complete !!"
  step_rewrite='^ROM Data rewriting\.\.\. \(Please wait for about [0-9]+ seconds\.\)$' step_rewrite_done="Complete !!"
  step_verify_transfer="Verify..." step_verify='^Verify\.\.\. \(Please wait for about [0-9]+ seconds\.\)$'
  step_verify_done="Good !!"
  filled="* " empty="- "
fi
# The drive against the image: vendor and product agree, the revision moves from 1.00 to 1.01.
comparison='\nVendor   : KORVANTA          \nProduct  : BD-CMB TZ594KS    \nRevision : 1.00 --> 1.01'
headline='Device : BD-CMB TZ594KS      V1.00  -->  V1.01\n'
fast="rewrite-ms=300 verify-ms=200"  # the drive's own times; the program's waits stay as they are
drive0="drive at=0:0 letter=D firmware=1.00 tray=open $fast"
drive1="drive at=0:1 letter=E firmware=1.00 tray=open $fast"

selection_line() {  # H T
  if [ "$transport" = aspi ]; then
    printf ' [%s %s] KORVANTA BD-CMB TZ594KS   1.00' "$1" "$2"
  else
    printf ' (%s:) KORVANTA BD-CMB TZ594KS   1.00' "$3"
  fi
}

# Bars in the watch output: how many marks the last state of a bar line had, and how many states.
marks() { awk -v m="$filled" '{ n = 0; s = $0; while ((i = index(s, m)) > 0) { n++; s = substr(s, i + length(m)) } print n } END { if (NR == 0) print 0 }'; }
bar_states() { grep -c "^$1"$'\t' "$watch"; }
last_text() { grep "^$1"$'\t' "$watch" | tail -n 1 | cut -f 2-; }

# The progress screen from its first line to its end: its texts must move through every step, its
# bars fill mark by mark, pictures taken as it goes. The watch starts before the update is asked
# for (watch_progress_start), so that it sees the screen's first state.
watch_progress_start() {
  watch="$work/$run.watch"
  rm -f "$watch"
  watch_job="$(bg_job "$watch" watch progress 300000)"
}
watch_progress() {
  local taken=""
  local limit=$((SECONDS + 300))
  until grep -q '^@@ ' "$watch" 2>/dev/null || [ $SECONDS -gt $limit ]; do
    if [[ $taken != *w* ]] && [ "$(last_text 1095 | marks)" -ge 10 ]; then shot progress-write progress; taken+=w; fi
    if [[ $taken != *r* ]] && [ -n "$(last_text 1105)" ]; then shot progress-rewrite progress; taken+=r; fi
    if [[ $taken != *v* ]] && [ "$(last_text 1098 | marks)" -ge 10 ]; then shot progress-verify progress; taken+=v; fi
    sleep 0.1
  done
  job_end "$watch" 1 || { bad "progress screen not watched to its end: $(grep '^@@ ' "$watch")"; return 1; }
  expect_eq "progress: headline" "$(last_text 1101)" "$headline"
  expect_eq "progress: drive check" "$(last_text 1103)" "$step_check"
  expect_eq "progress: drive check done" "$(last_text 1094)" "$step_check_done"
  expect_eq "progress: transfer" "$(last_text 1104)" "$step_transfer"
  expect_eq "progress: transfer done" "$(last_text 1096)" "$step_transfer_done"
  expect_match "progress: rewrite" "$(last_text 1105)" "$step_rewrite"
  expect_eq "progress: rewrite done" "$(last_text 1106)" "$step_rewrite_done"
  expect_eq "progress: verify transfer" "$(last_text 1100)" "$step_verify_transfer"
  expect_eq "progress: verify done" "$(last_text 1099)" "$step_verify_done"
  if grep "^1099"$'\t' "$watch" | cut -f 2- | grep -qE "$step_verify"; then
    ok "progress: the verify announced its time"
  else
    bad "progress: no verify line with its time"
  fi
  # Each bar starts empty and fills mark by mark to twenty; the watch may miss a few marks while
  # the program spins between them, but never sees most of them pass unnoticed.
  local bar
  for bar in 1095 1098; do
    local first states
    first="$(grep "^$bar"$'\t' "$watch" | cut -f 2- | grep -v '^$' | head -n 1)"
    states=$(bar_states $bar)
    expect_eq "progress: bar $bar starts empty" "$first" "$(printf "%.0s$empty" {1..20})"
    expect_eq "progress: bar $bar ends full" "$(last_text $bar)" "$(printf "%.0s$filled" {1..20})"
    if [ "$states" -ge 12 ]; then ok "progress: bar $bar moved ($states states seen)"; else bad "progress: bar $bar showed only $states states"; fi
  done
}

# expect_focus ROLE WANT: what has the keyboard on the screen ("focus ID shown|hidden [open]"; WANT
# is an extended regular expression).
expect_focus() {
  local got
  got="$(drv focus "$1")" || { bad "$1: the focus not read"; return 1; }
  expect_match "$1: keyboard focus" "$got" "^$2\$"
}

# ---- walks ----

walk_update() {
  local b
  if [ "$walk_language" = ja ]; then b="$(bay update "$drive0" "$drive1")"; else b="$(bay update "$drive0")"; fi
  launch update "$walk_language" "$b"
  wait_screen processing >/dev/null || { abandon "no processing window"; return; }
  shot processing processing
  if [ "$walk_language" = ja ]; then
    wait_screen drive_selection >/dev/null || { abandon "no drive selection"; return; }
    expect_text drive_selection 1078 "$selection_text"
    expect_eq "selection: one line per target" "$(drv lines drive_selection 1092)" \
      "$(selection_line 0 0 D; echo; selection_line 0 1 E)"
    shot selection drive_selection
    drv pick drive_selection 1092 1 || { abandon "second drive not chosen"; return; }
    shot selection-second drive_selection
    drv click drive_selection 1 || { abandon "selection not confirmed"; return; }
  fi
  wait_screen notice >/dev/null || { abandon "no notice"; return; }
  expect_text notice 1078 "$notice_text"
  shot notice notice
  drv click notice 1 || { abandon "notice not confirmed"; return; }
  wait_screen start_confirmation >/dev/null || { abandon "no start confirmation"; return; }
  expect_text start_confirmation 1078 "$confirmation_text"
  expect_text start_confirmation 1113 "$comparison"
  shot start-confirmation start_confirmation
  watch_progress_start || { abandon "no watch of the progress screen"; return; }
  drv click start_confirmation 1 || { abandon "update not started"; return; }
  watch_progress || { abandon "progress"; return; }
  wait_screen success >/dev/null || { abandon "no success screen"; return; }
  expect_text success 1078 "$success_text"
  shot success success
  drv click success 2
  finish 0
  local target=0:0 sent_to=$at0
  if [ "$walk_language" = ja ]; then
    target=0:1 sent_to=$at1
    expect_drive 0:0 1.00 other
    expect_eq "nothing sent to the drive not chosen" "$(count_commands "^$at0 cdb=(EA|E8|F5)")" 0
  fi
  expect_drive $target 1.01 image
  # A clean update sends the image twice, once to write and once to verify, and retries nothing.
  expect_eq "info block sent once per phase" "$(count_commands "^$sent_to cdb=EA0000000000")" 2
  expect_no_log
}

# exit_walk RUN ROLE HOW: leaves on that screen (HOW: exit, the EXIT button; close, the close box).
walk_exit() {
  local name="$1" role="$2" how="$3" b
  if [ "$role" = drive_selection ]; then b="$(bay "$name" "$drive0" "$drive1")"; else b="$(bay "$name" "$drive0")"; fi
  launch "$name" "$walk_language" "$b" /LFO
  if [ "$role" != notice ] && [ "$role" != drive_selection ]; then
    wait_screen notice >/dev/null || { abandon "no notice"; return; }
    drv click notice 1 || { abandon "notice not confirmed"; return; }
  fi
  wait_screen "$role" >/dev/null || { abandon "no $role screen"; return; }
  shot "$role" "$role"
  if [ "$role" = drive_selection ]; then
    # The list by the keyboard: Tab from EXIT reaches it, Down chooses the next line, Alt+Down
    # opens it, Up and Enter choose the first line again and close it.
    drv key drive_selection tab || bad "selection: no Tab"
    expect_focus drive_selection "focus 1092 shown"
    drv key drive_selection down || bad "selection: no Down"
    expect_eq "selection: Down chose the second line" "$(drv chosen drive_selection 1092)" 1
    drv key drive_selection alt+down || bad "selection: no Alt+Down"
    expect_focus drive_selection "focus 1092 shown open"
    drv key drive_selection up enter || bad "selection: no Up and Enter"
    expect_focus drive_selection "focus 1092 shown"
    expect_eq "selection: Up and Enter chose the first line" "$(drv chosen drive_selection 1092)" 0
    expect_text drive_selection 1078 "$selection_text"  # Enter closed the list, not the screen
  fi
  case "$how" in
    close) drv close "$role" ;;
    esc) drv key "$role" esc ;;
    *) drv click "$role" 2 ;;
  esac
  drv gone "$role" 10000 || bad "$role stayed after $how"
  finish 8
  expect_untouched
  expect_no_log
}

walk_tray() {
  local b
  b="$(bay tray "drive at=0:0 letter=D firmware=1.00 tray=closed $fast")"
  launch tray "$walk_language" "$b"
  local prompt
  prompt="$(wait_screen tray_closed)" || { abandon "no tray prompt"; return; }
  expect_text tray_closed 1078 "$tray_text"
  expect_text tray_closed 1079 "$tray_hint"
  # Read before it is searched: the driver's pipes are not open to a pipeline's subshells.
  local now
  now="$(drv screens)" || bad "the screens not read"
  if grep '^processing ' <<<"$now" | grep -qv '(hidden)$'; then
    bad "the processing window stays while the prompt asks"
  else
    ok "the processing window made way for the prompt"
  fi
  shot prompt tray_closed
  # The tray stays closed: OK brings the processing window back, then the prompt again.
  drv click tray_closed 1 : gone "$prompt" 10000 || { abandon "prompt stayed after OK"; return; }
  wait_screen processing >/dev/null || bad "no processing window after OK"
  local again
  again="$(wait_screen tray_closed)" || { abandon "no second prompt"; return; }
  [ "$again" != "$prompt" ] && ok "a new prompt after OK" || bad "the same prompt after OK"
  shot prompt-again tray_closed
  drv click tray_closed 2 || { abandon "prompt not left"; return; }
  finish 8
  expect_untouched
}

# The user opens the tray while the prompt stands (the bay file says so; the simulated drive takes
# it over at its next command), then OK: the update goes on from there.
walk_tray_opened() {
  local b
  b="$(bay tray-opened "drive at=0:0 letter=D firmware=1.00 tray=closed $fast")"
  launch tray-opened "$walk_language" "$b"
  wait_screen tray_closed >/dev/null || { abandon "no tray prompt"; return; }
  shot prompt tray_closed
  sed -i 's/tray=closed/tray=open/' "$b"
  if "$sim_tool" show "$b" >/dev/null && grep -q 'tray=open' "$b"; then
    ok "the bay file says the tray is open"
  else
    bad "the bay file does not read with the tray open"
  fi
  # From here on the keyboard alone. The screens that ask open with the focus on EXIT, the default
  # button: Enter there leaves, Tab and Shift+Tab reach the positive button with its focus mark.
  expect_focus tray_closed "focus 2 (shown|hidden)"
  drv key tray_closed shift+tab || { abandon "no Shift+Tab on the prompt"; return; }
  expect_focus tray_closed "focus 1 shown"
  drv key tray_closed enter || { abandon "prompt not confirmed"; return; }
  wait_screen notice >/dev/null || { abandon "no notice after the tray was opened"; return; }
  shot notice notice
  expect_focus notice "focus 2 (shown|hidden)"
  drv key notice tab || { abandon "no Tab on the notice"; return; }
  expect_focus notice "focus 1 shown"
  drv key notice tab || { abandon "no second Tab on the notice"; return; }
  expect_focus notice "focus 2 shown"  # round to EXIT
  drv key notice shift+tab enter || { abandon "notice not confirmed"; return; }
  wait_screen start_confirmation >/dev/null || { abandon "no start confirmation"; return; }
  drv key start_confirmation shift+tab || { abandon "no Shift+Tab on the start confirmation"; return; }
  expect_focus start_confirmation "focus 1 shown"
  drv key start_confirmation enter || { abandon "update not started"; return; }
  wait_screen progress >/dev/null || { abandon "no progress screen"; return; }
  shot progress progress
  wait_screen success 180000 >/dev/null || { abandon "no success screen"; return; }
  shot success success
  drv key success enter || bad "success: no Enter"
  finish 0
  expect_drive 0:0 1.01 image
  expect_no_log
}

walk_already_updated() {
  local b
  b="$(bay already-updated "drive at=0:0 letter=D firmware=1.01 tray=open $fast")"
  launch already-updated "$walk_language" "$b" /LFO
  wait_screen already_updated >/dev/null || { abandon "no already-updated screen"; return; }
  expect_text already_updated 1078 "$already_text"
  shot already-updated already_updated
  drv key already_updated alt+f4 || bad "already updated: no Alt+F4"
  finish 99
  expect_untouched
  expect_no_log  # not silent: codes of this kind are logged in silent runs only
}

walk_update_failure() {
  local b
  # Every read-back of the info block comes back with a bit changed.
  b="$(bay update-failure "$drive0" "fault kind=read nth=1 times=100 action=flip")"
  launch update-failure "$walk_language" "$b" /LFO
  wait_screen notice >/dev/null || { abandon "no notice"; return; }
  drv click notice 1 : wait start_confirmation : click start_confirmation 1 >/dev/null ||
    { abandon "update not started"; return; }
  wait_screen progress >/dev/null || { abandon "no progress screen"; return; }
  # The ten attempts follow each other with no pause, and the screen paints none of their lines
  # before it goes: the desktop as it stands, unchecked.
  shot progress
  wait_screen update_failure 120000 >/dev/null || { abandon "no failure screen"; return; }
  expect_text update_failure 1078 "$failure_text"
  expect_text update_failure 1081 "Download error.(11)"
  shot update-failure update_failure
  drv click update_failure 2
  finish 5
  expect_drive 0:0 1.00 other
  expect_eq "ten attempts, each stopped at the info block" "$(count_commands "^$at0 cdb=EA0000000000")" 10
  expect_eq "no rewrite" "$(count_commands "^$at0 cdb=F5")" 0
  expect_log "$(log_drive 0 0 D 1.00)" "[UPDATE FAILED]" "Download error.(11)"
}

session_start
walk_update
walk_exit exit-notice notice esc
walk_exit exit-confirmation start_confirmation close
walk_exit exit-selection drive_selection exit
walk_tray
walk_tray_opened
walk_already_updated
walk_update_failure
walks_end

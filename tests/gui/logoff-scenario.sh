#!/usr/bin/env bash
# The session logged off while the configuration dialog is open, with something typed but not
# confirmed: once as the first run opened it, once opened by "参数设置". Each time the program
# ends within 20 s with no message box, Config.ini keeps every byte (nothing half written), the
# Run value stays as it was and no adapter is called. Keeps screenshots.
# Runs under scripts/wine-env, at the DPI of SCENARIO_DPI when it is set.
# Usage: logoff-scenario.sh <Tarnwick.exe> <WindowPosition.exe> <screenshot folder>
set -euo pipefail
exe=$1 winpos=$2 shots=$3
source "$(dirname "$0")/scenario-lib.sh"
scenario_files logoff
saved_run=$(reg_value "$run_key" Tarnwick || true)
put_back() { restore_run_value "$saved_run"; }
trap end_scenario EXIT
fail() { echo "scenario: $*" >&2; exit 1; }
use_dpi
cp "$exe" "$run/Tarnwick.exe"
main_title='Tarnwick - 模拟'

start() {
  (cd "$run" && exec "$wine" Tarnwick.exe --simulate) &
  pid=$!
}
# log_off <what>: the session ends with the dialog open; the program must go by itself, quietly,
# with code 0, and leave everything as it was.
log_off() {
  local before run_before end box
  before=$(md5sum < "$run/Config.ini")
  run_before=$(reg_value "$run_key" Tarnwick || true)
  "$wine" "$winpos" --end-session TarnwickForm "$main_title" ||
    fail "the program refused or missed the log-off $1"
  local limit=20
  end=$((SECONDS + limit))
  while kill -0 "$pid" 2>/dev/null; do
    if box=$(window_at '#32770' 'Tarnwick'); then
      shot "logoff-message.png" $box
      fail "a message box at the log-off $1: $(message_box_text)"
    fi
    [ $SECONDS -lt $end ] || fail "the program did not end within $limit s of the log-off $1"
    sleep 0.2
  done
  local code=0
  wait "$pid" || code=$?
  [ "$code" = 0 ] || fail "the program ended with code $code at the log-off $1"
  pid=
  [ "$(md5sum < "$run/Config.ini")" = "$before" ] || fail "Config.ini changed at the log-off $1"
  [ "$(reg_value "$run_key" Tarnwick || true)" = "$run_before" ] || fail "the Run value changed at the log-off $1"
  [ ! -s "$run/simulated-network.log" ] || fail "the adapters were called at the log-off $1"
  echo "scenario: no box, nothing written at the log-off $1"
}
# type_in_dialog <picture>: "开机时自动运行" toggled and a DNS server typed on profile A, none of
# it confirmed.
type_in_dialog() {
  wait_for 30 "the configuration dialog" window_at 'TarnwickForm' '配置'
  local x y w h
  read -r x y w h _ < <(window_at --child 'TarnwickForm' '配置' '开机时自动运行') || fail "no 开机时自动运行"
  xdotool mousemove $((x + w / 2)) $((y + h / 2)) sleep 0.2 click 1
  xdotool key --delay 60 ctrl+Tab Tab
  xdotool type --delay 60 10.9.8.7
  read -r x y w h _ < <(window_at 'TarnwickForm' '配置')
  wait_for 5 "the dialog painted" painted TarnwickForm '配置'
  shot "$1" "$x" "$y" "$w" "$h"
}

# The first run: the message, then the dialog; logged off there.
printf '[NET]\r\nNET=\r\n[A]\r\nName=内网办公\r\n[B]\r\nName=外网\r\n' | iconv -f UTF-8 -t GBK > "$run/Config.ini"
unexpected_shot=logoff-unexpected-message.png
start
answer_first_run
type_in_dialog logoff-first-run-dialog.png
# The first run's dialog runs while the main window is still being made: the end of the session
# ends its loop too.
log_off "in the first run's dialog"

# Then with AutoRun=1 and the Run value in place: the first run's dialog left with Alt+F4,
# which writes nothing, "参数设置" on the main window opens it again, and the session ends there.
printf '[NET]\r\nNET=\r\nAutoRun=1\r\n[A]\r\nName=内网办公\r\nDHCPEnabled=1\r\nDNSEnabled=1\r\n[B]\r\nName=外网\r\nDHCPEnabled=1\r\nDNSEnabled=1\r\n' |
  iconv -f UTF-8 -t GBK > "$run/Config.ini"
exe_path=$("$wine" winepath -w "$run/Tarnwick.exe" 2>/dev/null | tr -d '\r')
"$wine" reg add "$run_key" /v Tarnwick /t REG_SZ /d "$exe_path" /f >/dev/null 2>&1
start
answer_first_run
wait_for 30 "the configuration dialog" window_at 'TarnwickForm' '配置'
xdotool key alt+F4
wait_for 20 "the configuration dialog to close" no_window 'TarnwickForm' '配置'
wait_for 30 "the main window" window_at 'TarnwickForm' "$main_title"
read -r x y w h _ < <(window_at 'TarnwickForm' "$main_title")
# "参数设置" (37, 24, 72 x 16) opens the dialog again.
xdotool mousemove $((x + $(scaled 37) + $(scaled 72) / 2)) $((y + $(scaled 24) + $(scaled 16) / 2)) \
  sleep 0.3 click 1
type_in_dialog logoff-settings-dialog.png
log_off "in the dialog of 参数设置"
echo "scenario: screenshots in $shots"

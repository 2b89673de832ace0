#!/usr/bin/env bash
# A first run against Wine's own WMI, without --simulate: Wine lists no property of an
# adapter, so the configuration dialog cannot show the adapters. At most one message box may
# say so, naming what could not be done on its first line; the dialog opens all the same.
# Read-only: the dialog is left with "取消" and nothing is double-clicked, so no adapter is
# ever asked to change. Keeps screenshots.
# Runs under scripts/wine-env, at the DPI of SCENARIO_DPI when it is set.
# Usage: wine-wmi-scenario.sh <Tarnwick.exe> <WindowPosition.exe> <screenshot folder>
set -euo pipefail
exe=$1 winpos=$2 shots=$3
source "$(dirname "$0")/scenario-lib.sh"
scenario_files wine-wmi
trap end_scenario EXIT
fail() { echo "scenario: $*" >&2; exit 1; }
unexpected_shot=wine-wmi-second-message.png
use_dpi
cp "$exe" "$run/Tarnwick.exe"
printf '[NET]\r\nNET=\r\n' > "$run/Config.ini"
cp "$run/Config.ini" "$run/Config.ini.before"

(cd "$run" && exec "$wine" Tarnwick.exe) &
pid=$!
# The first-run message; the box that may follow it has the same class and caption.
first_run='初次运行，需要设置您的IP地址！'
expected_box=1
wait_for 60 "the first-run message" window_at '#32770' 'Tarnwick'
[ "$(message_box_text)" = "$first_run" ] || fail "a message before the first-run one: $(message_box_text)"
read -r x y w h _ < <(window_at '#32770' 'Tarnwick')
xdotool mousemove $((x + w / 2)) $((y + h / 2)) key Return
first_run_gone() { [ "$(message_box_text)" != "$first_run" ]; }
wait_for 20 "the first-run message to close" first_run_gone

# The dialog, or first the one box that says what is missing.
dialog_or_box() { window_at 'TarnwickForm' '配置' || window_at '#32770' 'Tarnwick'; }
wait_for 60 "the configuration dialog or a message" dialog_or_box
if read -r x y w h _ < <(window_at '#32770' 'Tarnwick'); then
  text=$(message_box_text)
  shot wine-wmi-message.png "$x" "$y" "$w" "$h"
  echo "scenario: the box says: ${text//$'\n'/ | }"
  case "$text" in
    无法*。*) ;;
    *) fail "the box does not say what could not be done: $text" ;;
  esac
  xdotool mousemove $((x + w / 2)) $((y + h / 2)) key Return
  wait_for 20 "the message to close" no_window '#32770' 'Tarnwick'
fi
expected_box=
wait_for 30 "the configuration dialog" window_at 'TarnwickForm' '配置'
wait_for 5 "the dialog painted" painted TarnwickForm '配置'
read -r x y w h _ < <(window_at 'TarnwickForm' '配置')
shot wine-wmi-dialog.png "$x" "$y" "$w" "$h"

read -r bx by bw bh _ < <(window_at --child 'TarnwickForm' '配置' '取消') || fail "no 取消"
xdotool mousemove $((bx + bw / 2)) $((by + bh / 2)) sleep 0.2 click 1
wait_for 20 "取消 to close the dialog" no_window 'TarnwickForm' '配置'
wait_for 30 "the main window" window_at 'TarnwickForm' 'Tarnwick'
sleep 2
window_at '#32770' 'Tarnwick' >/dev/null && fail "a second message box: $(message_box_text)"
cmp -s "$run/Config.ini.before" "$run/Config.ini" || fail "Config.ini changed"
log_off_and_wait 'Tarnwick'
pid=
echo "scenario: at most one box, the dialog opened and was left with 取消; screenshots in $shots"

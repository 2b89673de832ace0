#!/usr/bin/env bash
# Starts Tarnwick.exe alone in an empty folder in simulation mode with adapters that refuse every
# call with 66 (an invalid subnet mask). On the first run it ticks "只切换此网卡" in the
# configuration dialog and confirms, then double-clicks "×内网": only adapter 1 is called, the
# failure box names the adapter's cause on its second line, in Chinese, Config.ini keeps every byte, and the
# log holds refused calls alone. The dialog, opened again, shows the box ticked. Keeps
# screenshots. Runs under scripts/wine-env, at the DPI of SCENARIO_DPI when it is set.
# Usage: refusal-scenario.sh <Tarnwick.exe> <WindowPosition.exe> <screenshot folder>
set -euo pipefail
exe=$1 winpos=$2 shots=$3
source "$(dirname "$0")/scenario-lib.sh"
scenario_files gui
trap end_scenario EXIT
# Failing, it shows what the program wrote.
fail() { fail_showing_files "$@"; }
echo "scenario: testing $exe with every adapter call answering 66"

cp "$exe" "$run/Tarnwick.exe"
printf '[NET]\r\nNET=\r\n[A]\r\nName=内网办公\r\nDHCPEnabled=0\r\nIPAddress=10.20.30.41\r\nIPSubnet=255.255.255.0\r\nDefaultIPGateway=10.20.30.1\r\nDNSEnabled=0\r\nDNSA=10.20.0.53\r\n[B]\r\nName=外网\r\nDHCPEnabled=1\r\nDNSEnabled=1\r\n' |
  iconv -f UTF-8 -t GBK > "$run/Config.ini"

unexpected_shot=refusal-unexpected-message.png
use_dpi
expected_box=1 # every message box of this scenario is looked for on purpose
only_box='只切换此网卡'

(cd "$run" && exec "$wine" Tarnwick.exe --simulate --simulate-answer=66) &
pid=$!

# First run: the message, then the dialog, where the box is ticked and confirmed.
answer_first_run
wait_for 30 "the configuration dialog" window_at 'TarnwickForm' '配置'
wait_for 5 "the dialog painted" painted TarnwickForm '配置'
read -r x y w h checked < <(window_at --child 'TarnwickForm' '配置' "$only_box") || fail "no $only_box"
[ "$checked" = 0 ] || fail "$only_box ticked with no Adapter in Config.ini"
click "$x" "$y" "$w" "$h"
ticked() { read -r _ _ _ _ checked < <(window_at --child 'TarnwickForm' '配置' "$only_box") && [ "$checked" = 1 ]; }
wait_for 5 "a click to tick $only_box" ticked
read -r dx dy dw dh _ < <(window_at 'TarnwickForm' '配置')
shot config-only-adapter.png "$dx" "$dy" "$dw" "$dh"
read -r x y w h _ < <(window_at --child 'TarnwickForm' '配置' '确定') || fail "no 确定"
click "$x" "$y" "$w" "$h"
wait_for 20 "the configuration dialog to close" no_window 'TarnwickForm' '配置'
conf | grep -qx 'Adapter=1' || fail "确定 did not write Adapter=1"

# The switch: adapter 1 refuses with 66, and the box says so on its second line.
wait_for 30 "the main window" window_at 'TarnwickForm' 'Tarnwick - 模拟'
read -r x y w h _ < <(window_at 'TarnwickForm' 'Tarnwick - 模拟')
wait_for 5 "the main window painted" painted TarnwickForm 'Tarnwick - 模拟'
shot refusal-main.png "$x" "$y" "$w" "$h"
before=$(md5sum < "$run/Config.ini")
xdotool mousemove $((x + $(scaled 143) + $(scaled 113) / 2)) $((y + $(scaled 85) + $(scaled 39) / 2)) \
  sleep 0.3 click --repeat 2 --delay 80 1
wait_for 60 "the failure box" window_at '#32770' 'Tarnwick'
wait_for 5 "the failure box painted" painted '#32770' 'Tarnwick'
read -r bx by bw bh _ < <(window_at '#32770' 'Tarnwick')
shot refusal-box.png "$bx" "$by" "$bw" "$bh"
text=$(message_box_text)
expected=$'切换IP地址不成功，请检查你您的ip设置.\n子网掩码无效'
[ "$text" = "$expected" ] || fail "the failure box says: $text"
xdotool mousemove $((bx + bw / 2)) $((by + bh / 2)) key Return
wait_for 20 "the failure box to close" no_window '#32770' 'Tarnwick'

log=$run/simulated-network.log
tr -d '\r' < "$log" | grep -qF 'adapter 1 EnableStatic({10.20.30.41}, {255.255.255.0}) = 66' ||
  fail "adapter 1 was not asked"
! grep -q '^adapter 8' "$log" || fail "adapter 8 was touched although Adapter=1"
# The address step is refused, so no later step runs: nothing was accepted anywhere.
! tr -d '\r' < "$log" | grep -v -e ' = 66$' -e '^  now: ' | grep -q . || fail "a call in the log was not refused"
conf | grep -qx 'NET=' || fail "a refused switch was recorded"
[ "$(md5sum < "$run/Config.ini")" = "$before" ] || fail "the refused switch changed Config.ini"

# Opened again, the dialog reads the box's state back from Config.ini.
xdotool mousemove $((x + $(scaled 37) + $(scaled 72) / 2)) $((y + $(scaled 24) + $(scaled 16) / 2)) \
  sleep 0.3 click 1
wait_for 30 "the configuration dialog again" window_at 'TarnwickForm' '配置'
wait_for 5 "the dialog painted" painted TarnwickForm '配置'
read -r _ _ _ _ checked < <(window_at --child 'TarnwickForm' '配置' "$only_box")
[ "$checked" = 1 ] || fail "$only_box not ticked for Adapter=1"
read -r dx dy dw dh _ < <(window_at 'TarnwickForm' '配置')
shot config-only-adapter-again.png "$dx" "$dy" "$dw" "$dh"
xdotool key alt+F4
wait_for 20 "the configuration dialog to close" no_window 'TarnwickForm' '配置'
echo "scenario: screenshots in $shots"

#!/usr/bin/env bash
# Starts a configured Tarnwick.exe in simulation mode inside a virtual desktop of its own, gone
# to the tray, and moves its simulated cable with --simulate-cable as a person would: a plug
# without an unplug changes nothing; an unplug and a plug switch to profile B, which the
# simulated adapter receives, and the balloon says so. Keeps a screenshot of the balloon; ends
# with a log-off. Runs under scripts/wine-env, at the DPI of SCENARIO_DPI when it is set.
# Usage: cable-scenario.sh <Tarnwick.exe> <WindowPosition.exe> <screenshot folder>
set -euo pipefail
exe=$1 winpos=$2 shots=$3
source "$(dirname "$0")/scenario-lib.sh"
scenario_files cable
trap end_scenario EXIT
fail() { echo "scenario: $*" >&2; exit 1; }
use_dpi
unexpected_shot=cable-unexpected-message.png

cp "$exe" "$run/Tarnwick.exe"
printf '[NET]\r\nNET=A\r\nAutoSwitch=1\r\n[A]\r\nName=内网办公\r\nDHCPEnabled=1\r\nDNSEnabled=1\r\n[B]\r\nName=外网\r\nIPAddress=10.1.2.3\r\nSubnetMask=255.255.255.0\r\nDNSEnabled=1\r\n' |
  iconv -f UTF-8 -t GBK > "$run/Config.ini"
active() { tr -d '\r' < "$run/Config.ini" | awk -F= '/^\[NET\]/{s=1;next} /^\[/{s=0} s && $1=="NET"{print $2}'; }
is_active() { [ "$(active)" = "$1" ]; }
cable() { (cd "$run" && "$wine" Tarnwick.exe "--simulate-cable=$1"); }

own_desktop "TarnwickCable$$"
(cd "$run" && exec "$wine" Tarnwick.exe --simulate) >/dev/null 2>&1 &
pid=$!
wait_for 60 "the program's window" "$wine" "$winpos" --exists TarnwickForm 'Tarnwick - 模拟'
# Ready when its cable can be moved. This first plug comes without an unplug: nothing changes.
wait_for 30 "a simulated instance" cable plug
# Nothing to wait for when nothing may happen: two seconds for a switch that must not come.
sleep 2
[ "$(active)" = A ] || fail "a plug without an unplug switched to $(active)"
[ ! -s "$run/simulated-network.log" ] || fail "a plug without an unplug reached the adapter"
# The desktop above the taskbar as it is with the window in the tray.
read -r ox oy < <(desktop_origin)
above=$((768 - $(scaled 60)))
import -window root -crop "1024x$above+$ox+$oy" +repage "$run/empty.png"

cable unplug
sleep 0.5
cable plug
wait_for 10 "NET=B after unplug and plug" is_active B
grep -q "^adapter 1 EnableStatic" "$run/simulated-network.log" || fail "adapter 1 did not receive profile B"
# The balloon comes once the progress window has gone.
wait_for 20 "the progress window to go" no_window TarnwickForm FmProgress
balloon() {
  import -window root -crop "1024x$above+$ox+$oy" +repage "$run/now.png"
  [ "$(compare -metric AE "$run/empty.png" "$run/now.png" null: 2>&1 || true)" != 0 ]
}
wait_for 10 "the balloon" balloon
sleep 0.5 # the balloon fades in
import -window root -crop "1024x768+$ox+$oy" +repage "$shots/cable-balloon.png"

log_off_and_wait 'Tarnwick - 模拟'
pid=
echo "scenario: NET=B after unplug and plug; screenshot in $shots/cable-balloon.png"

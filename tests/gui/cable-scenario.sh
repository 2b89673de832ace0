#!/usr/bin/env bash
# Starts a configured Tarnwick.exe in simulation mode inside a virtual desktop of its own, gone
# to the tray, with 内网 (static) and 外网 (DHCP) and automatic switching on, and moves its
# simulated cable with --simulate-cable as a person would: back into 内网, the network it came
# from, switches nothing and shows no balloon; into 外网 it switches to 外网, which the adapter
# receives and leases by DHCP, and the balloon says so; back into 内网 it switches to 内网 again.
# Keeps a screenshot of the balloon; ends with a log-off. Runs under scripts/wine-env, at the DPI
# of SCENARIO_DPI when it is set.
# Usage: cable-scenario.sh <Tarnwick.exe> <WindowPosition.exe> <screenshot folder>
set -euo pipefail
exe=$1 winpos=$2 shots=$3
source "$(dirname "$0")/scenario-lib.sh"
scenario_files cable
trap end_scenario EXIT
fail() { fail_showing_files "$@"; }
use_dpi
unexpected_shot=cable-unexpected-message.png

cp "$exe" "$run/Tarnwick.exe"
printf '[NET]\r\nNET=A\r\nAutoSwitch=1\r\n' > "$run/Config.ini"
write_profiles 'DHCPEnabled=1' 'DNSEnabled=1'
cable() { (cd "$run" && "$wine" Tarnwick.exe "--simulate-cable=$1"); }
# What the adapters received: each method call and netsh command (a cable moved logs the
# adapter's state too).
calls() { grep -c -e '^adapter ' -e '^netsh ' "$run/simulated-network.log" 2>/dev/null || true; }

own_desktop "TarnwickCable$$"
(cd "$run" && exec "$wine" Tarnwick.exe --simulate) >/dev/null 2>&1 &
pid=$!
wait_for 60 "the program's window" "$wine" "$winpos" --exists TarnwickForm 'Tarnwick - 模拟'
wait_for 30 "the window in the tray" no_window TarnwickForm 'Tarnwick - 模拟'
# Ready when its cable can be moved. A plug with no unplug before it changes nothing.
wait_for 30 "a simulated instance" cable plug
# The simulated adapter is given 内网's settings, as the user's double click would.
(cd "$run" && timeout 60 "$wine" Tarnwick.exe --simulate --switch=A) || fail "--switch=A failed"
grep -q "^adapter 1 EnableStatic({10.20.30.41}" "$run/simulated-network.log" ||
  fail "adapter 1 did not receive 内网"
# The desktop above the taskbar as it is with the window in the tray.
read -r ox oy < <(desktop_origin)
above=$((768 - $(scaled 60)))
sleep 1
import -window root -crop "1024x$above+$ox+$oy" +repage "$run/empty.png"
balloon() {
  import -window root -crop "1024x$above+$ox+$oy" +repage "$run/now.png"
  [ "$(compare -metric AE "$run/empty.png" "$run/now.png" null: 2>&1 || true)" != 0 ]
}

# A cable re-seated: back into the network it came from.
before=$(calls)
cable unplug
sleep 0.5
cable plug:内网
# Nothing to wait for when nothing may happen: the gateway's answer and a switch that must
# not come.
sleep 5
active_is A || fail "a plug back into 内网 switched"
[ "$(calls)" = "$before" ] || fail "a plug back into 内网 reached the adapter"
! balloon || fail "a plug back into 内网 showed a balloon"

# Moved to 外网: 内网's gateway does not answer there.
cable unplug
sleep 0.5
cable plug:外网
wait_for 20 "NET=B after a plug into 外网" active_is B
grep -q "^adapter 1 EnableDHCP" "$run/simulated-network.log" || fail "adapter 1 did not receive 外网"
grep -q "now: adapter 1 DHCP on, address {192.168.50.100}" "$run/simulated-network.log" ||
  fail "adapter 1 has no lease of 外网"
wait_for 20 "the progress window to go" no_window TarnwickForm FmProgress
wait_for 20 "the balloon" balloon
sleep 0.5 # the balloon fades in
import -window root -crop "1024x768+$ox+$oy" +repage "$shots/cable-balloon.png"

# And back to 内网: no lease there, so the switch, and 内网's gateway answers.
cable unplug
sleep 0.5
cable plug:内网
wait_for 30 "NET=A after a plug back into 内网" active_is A

log_off_and_wait 'Tarnwick - 模拟'
pid=
echo "scenario: re-seated in 内网 nothing changed; 外网 and back switched; screenshot in $shots/cable-balloon.png"

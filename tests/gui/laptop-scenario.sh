#!/usr/bin/env bash
# A new user on the default simulated laptop (wired "以太网", USB Ethernet, Wi-Fi, the WSL switch
# and an idle VPN), in an empty folder: the first run's dialog opens on the wired adapter with
# "只切换此网卡" ticked and is confirmed. Then two static profiles with gateways, switched A, B, A
# by double clicks: each switch succeeds although the static adapter answers 81, only the wired
# adapter is called, and NET follows. Last B is made automatic and switched: the wired adapter
# ends with DHCP on and none of the static gateways left (an automatic private address: its
# cable is in the simulated 内网, which has no DHCP server). Keeps screenshots.
# Runs under scripts/wine-env, at the DPI of SCENARIO_DPI when it is set.
# Usage: laptop-scenario.sh <Tarnwick.exe> <WindowPosition.exe> <screenshot folder>
# $TARNWICK_RELEASE_EXE, when it names a file, is the Tarnwick.exe tested.
set -euo pipefail
exe=$1 winpos=$2 shots=$3
source "$(dirname "$0")/scenario-lib.sh"
scenario_files laptop
trap end_scenario EXIT
log=$run/simulated-network.log
# Failing, it shows what the program wrote.
fail() { fail_showing_files "$@"; }
echo "scenario: testing $exe on the default simulated laptop"

# The one file, and no Config.ini: a first run.
cp "$exe" "$run/Tarnwick.exe"
unexpected_shot=laptop-unexpected-message.png
use_dpi
tag=$want_dpi
log_lines() { tr -d '\r' < "$log" 2>/dev/null || true; }

(cd "$run" && exec "$wine" Tarnwick.exe --simulate) &
pid=$!

answer_first_run "laptop-first-run-message-$tag.png"
confirm_wired_first_run "laptop-first-run-dialog-$tag.png"
[ ! -s "$log" ] || fail "the first run's dialog applied something"

# Two static profiles.
write_profiles 'DHCPEnabled=0' 'IPAddress=172.16.5.20' 'IPSubnet=255.255.0.0' 'DefaultIPGateway=172.16.0.1' \
  'DNSEnabled=1'

wait_for 30 "the main window" window_at 'TarnwickForm' 'Tarnwick - 模拟'
read -r x y w h _ < <(window_at 'TarnwickForm' 'Tarnwick - 模拟')
# A real double click in the middle of "×内网" (143, 85) or "×外网" (143, 149), 113 x 39.
switch_to() {  # switch_to <A|B>
  local top=85
  [ "$1" = A ] || top=149
  xdotool mousemove $((x + $(scaled 143) + $(scaled 113) / 2)) $((y + $(scaled $top) + $(scaled 39) / 2)) \
    sleep 0.3 click --repeat 2 --delay 80 1
  wait_for 30 "NET=$1 in Config.ini" active_is "$1"
  wait_for 20 "the progress window to go" no_window 'TarnwickForm' 'FmProgress'
  # Off the labels, so the picture shows the state, not the hover.
  xdotool mousemove $((x + 10)) $((y + h - 10))
}
# state: the wired adapter's settings after the last change, as the log shows them.
state() { log_lines | grep '^  now: adapter 1 ' | tail -n 1; }

switch_to A
switch_to B
state | grep -qF 'gateways {172.16.0.1}' || fail "B's gateway is not the only one: $(state)"
switch_to A
state | grep -qF 'address {10.20.30.41}/{255.255.255.0}, gateways {10.20.30.1}, DNS {10.20.0.53}' ||
  fail "A is not in place: $(state)"
wait_for 5 "the main window painted" painted TarnwickForm 'Tarnwick - 模拟'
shot "laptop-main-static-$tag.png" "$x" "$y" "$w" "$h"
# The adapter was static from the start: every address change answered 81, and was a success.
[ "$(log_lines | grep -c '^adapter 1 EnableStatic(.*) = 81$')" = 3 ] ||
  fail "not three address changes answered with 81"
! log_lines | grep -v -e '^adapter 1 ' -e '^  now: adapter 1 ' | grep -q . ||
  fail "an adapter other than the wired one was called"

# B automatic: DHCP on, and no static gateway of A's left beside the lease's.
write_profiles 'DHCPEnabled=1' 'DNSEnabled=1'
switch_to B
state | grep -qF 'DHCP on' || fail "DHCP is not on: $(state)"
! state | grep -qF '10.20.30.1' || fail "A's gateway was left behind: $(state)"
wait_for 5 "the main window painted" painted TarnwickForm 'Tarnwick - 模拟'
shot "laptop-main-dhcp-$tag.png" "$x" "$y" "$w" "$h"
echo "scenario: the wired adapter ends as: $(state)"
echo "scenario: screenshots in $shots"

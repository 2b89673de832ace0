#!/usr/bin/env bash
# One instance per session, and switching from a shortcut: a configured Tarnwick.exe goes to the
# tray; started again, the second start ends at once with code 0 and the first's window comes
# back in front; "Tarnwick.exe --switch=B" from another process makes the running one switch and
# ends with 0; "--switch=C" shows the usage box and ends with 2. Keeps screenshots. Runs under
# scripts/wine-env, at the DPI of SCENARIO_DPI when it is set.
# Usage: instance-scenario.sh <Tarnwick.exe> <WindowPosition.exe> <screenshot folder>
# $TARNWICK_RELEASE_EXE, when it names a file, is the Tarnwick.exe tested.
set -euo pipefail
exe=$1 winpos=$2 shots=$3
source "$(dirname "$0")/scenario-lib.sh"
scenario_files instance
trap end_scenario EXIT
fail() { fail_showing_files "$@"; }
use_dpi
tag=$want_dpi
echo "scenario: testing $exe started twice"

cp "$exe" "$run/Tarnwick.exe"
printf '[NET]\r\nNET=A\r\nAdapter=1\r\n[A]\r\nName=内网办公\r\nDHCPEnabled=0\r\nIPAddress=10.20.30.41\r\nIPSubnet=255.255.255.0\r\nDefaultIPGateway=10.20.30.1\r\nDNSEnabled=1\r\n[B]\r\nName=外网\r\nDHCPEnabled=1\r\nDNSEnabled=1\r\n' |
  iconv -f UTF-8 -t GBK > "$run/Config.ini"
unexpected_shot=instance-unexpected-message-$tag.png
active_is() { tr -d '\r' < "$run/Config.ini" | grep -qx "NET=$1"; }
main_title='Tarnwick - 模拟'

(cd "$run" && exec "$wine" Tarnwick.exe --simulate) &
pid=$!
# A configured start goes to the tray: the window exists, hidden.
wait_for 60 "the program's window" "$wine" "$winpos" --exists TarnwickForm "$main_title"
hidden() { no_window TarnwickForm "$main_title"; }
wait_for 20 "the window to go to the tray" hidden

# A second start, from the same folder: hands over and ends.
started=$(date +%s%N)
code=0
(cd "$run" && timeout 20 "$wine" Tarnwick.exe --simulate) || code=$?
took=$((($(date +%s%N) - started) / 1000000))
echo "scenario: the second start ended with $code after $took ms (Wine's own start included)"
[ "$code" = 0 ] || fail "the second start ended with $code"
[ "$took" -lt 5000 ] || fail "the second start took $took ms"
wait_for 10 "the first's window back from the tray" window_at TarnwickForm "$main_title"
kill -0 "$pid" 2>/dev/null || fail "the first instance ended"
read -r x y w h _ < <(window_at TarnwickForm "$main_title")
wait_for 5 "the main window painted" painted TarnwickForm "$main_title"
shot "instance-shown-$tag.png" "$x" "$y" "$w" "$h"

# --switch=B from another process: the running instance switches, the caller ends with 0.
code=0
(cd "$run" && timeout 60 "$wine" Tarnwick.exe --simulate --switch=B) || code=$?
[ "$code" = 0 ] || fail "--switch=B ended with $code"
active_is B || fail "--switch=B did not record NET=B"
tr -d '\r' < "$run/simulated-network.log" | grep -q '^adapter 1 EnableDHCP() = 0' ||
  fail "the adapter was not switched to DHCP"
xdotool mousemove $((x + 10)) $((y + h - 10))
wait_for 5 "the labels repainted" painted TarnwickForm "$main_title"
shot "instance-switched-$tag.png" "$x" "$y" "$w" "$h"

# --switch=C: the usage box, then 2; the instance changes nothing.
before=$(md5sum < "$run/Config.ini")
(status=0; "$wine" "$run/Tarnwick.exe" --simulate --switch=C || status=$?; echo $status > "$run/usage-code") &
expected_box=1
wait_for 30 "the usage box" window_at '#32770' 'Tarnwick'
read -r bx by bw bh _ < <(window_at '#32770' 'Tarnwick')
wait_for 5 "the usage box painted" painted '#32770' 'Tarnwick'
shot "instance-usage-$tag.png" "$bx" "$by" "$bw" "$bh"
message_box_text | grep -qF -- '--switch=A' || fail "the usage box does not name --switch: $(message_box_text)"
xdotool mousemove $((bx + bw / 2)) $((by + bh / 2)) key Return
wait_for 20 "the usage box to close" no_window '#32770' 'Tarnwick'
expected_box=
done_with_usage() { [ -s "$run/usage-code" ]; }
wait_for 20 "the usage start to end" done_with_usage
[ "$(cat "$run/usage-code")" = 2 ] || fail "--switch=C ended with $(cat "$run/usage-code")"
[ "$(md5sum < "$run/Config.ini")" = "$before" ] || fail "--switch=C changed Config.ini"
rm -f "$run/usage-code"
echo "scenario: screenshots in $shots"

#!/usr/bin/env bash
# Copies Tarnwick.exe alone into an empty folder with a GBK Config.ini, starts it in simulation
# mode, double-clicks "×内网" with real pointer input, and checks what the program wrote. Keeps
# screenshots. Runs under scripts/wine-env (Wine is found through its WINELOADER), at the DPI
# of SCENARIO_DPI when it is set.
# Usage: switch-scenario.sh <Tarnwick.exe> <WindowPosition.exe> <screenshot folder> [B]
# With B, Config.ini selects the netsh engine and the log must show its command lines.
# $TARNWICK_RELEASE_EXE, when it names a file, is the Tarnwick.exe tested.
set -euo pipefail
exe=$1 winpos=$2 shots=$3 method=${4:-}
source "$(dirname "$0")/scenario-lib.sh"
scenario_files gui
trap end_scenario EXIT
fail() { echo "scenario: $*" >&2; exit 1; }
echo "scenario: testing $exe${method:+ with Method=$method}"

# The one file, nothing beside it: simulation mode needs no second program. Config.ini limits
# the switch to the wired adapter, as a first run sets it up.
cp "$exe" "$run/Tarnwick.exe"
printf '[NET]\r\nNET=\r\nMethod=%s\r\nAutoSwitch=1\r\nAdapter=1\r\n[A]\r\nName=内网办公\r\nDHCPEnabled=0\r\nIPAddress=10.20.30.41\r\nIPSubnet=255.255.255.0\r\nDefaultIPGateway=10.20.30.1\r\nDNSEnabled=0\r\nDNSA=10.20.0.53\r\nDNSB=\r\n[B]\r\nName=外网\r\nDHCPEnabled=1\r\nDNSEnabled=1\r\n' "$method" |
  iconv -f UTF-8 -t GBK > "$run/Config.ini"

unexpected_shot=${method}unexpected-message.png
use_dpi
has_net_a() { tr -d '\r' < "$run/Config.ini" | grep -qx 'NET=A'; }

# Slow enough to see the progress window: every adapter call or netsh command takes 1.5 s.
(cd "$run" && exec "$wine" Tarnwick.exe --simulate --simulate-delay=1500) &
pid=$!

# First run: the program asks for the settings. Only that box is answered; any other box (an
# error at start-up) fails the scenario.
answer_first_run "${method}first-run-message.png"

# Then the configuration dialog; closed with Alt+F4, which writes nothing, so the profiles
# stay as the scenario wrote them.
wait_for 30 "the configuration dialog" window_at 'TarnwickForm' '配置'
read -r x y w h _ < <(window_at 'TarnwickForm' '配置') || fail "the configuration dialog closed by itself"
wait_for 5 "the dialog painted" painted TarnwickForm '配置'
shot "${method}config-dialog.png" "$x" "$y" "$w" "$h"
before=$(md5sum < "$run/Config.ini")
# The two profile pages, reached with Ctrl+Tab.
xdotool mousemove $((x + w / 2)) $((y + 10)) key ctrl+Tab
wait_for 5 "profile A painted" painted TarnwickForm '配置'
shot "${method}config-profile-a.png" "$x" "$y" "$w" "$h"
xdotool key ctrl+Tab
wait_for 5 "profile B painted" painted TarnwickForm '配置'
shot "${method}config-profile-b.png" "$x" "$y" "$w" "$h"
# Alt+A opens the About box from anywhere in the dialog; Alt+F4 closes it again.
xdotool key alt+a
wait_for 20 "the About box" window_at 'TarnwickForm' '关于程序'
read -r ax ay aw ah _ < <(window_at 'TarnwickForm' '关于程序') || fail "the About box closed by itself"
wait_for 5 "the About box painted" painted TarnwickForm '关于程序'
shot "${method}about.png" "$ax" "$ay" "$aw" "$ah"
xdotool key alt+F4
wait_for 20 "the About box to close" no_window 'TarnwickForm' '关于程序'
window_at 'TarnwickForm' '配置' >/dev/null || fail "closing the About box closed the dialog"
xdotool key alt+F4
wait_for 20 "the configuration dialog to close" no_window 'TarnwickForm' '配置'
[ "$(md5sum < "$run/Config.ini")" = "$before" ] || fail "closing the dialog changed Config.ini"

wait_for 30 "the main window" window_at 'TarnwickForm' 'Tarnwick - 模拟'
read -r x y w h dpi < <(window_at 'TarnwickForm' 'Tarnwick - 模拟') || fail "the main window closed"
echo "scenario: main window at $x,$y, client ${w}x$h, $dpi DPI"
# Laid out for the DPI it was started with: its 399 x 239 client area, scaled.
[ "$w" -eq "$(scaled 399)" ] && [ "$h" -eq "$(scaled 239)" ] ||
  fail "the main window's client area is ${w}x$h, not $(scaled 399)x$(scaled 239) at $want_dpi DPI"
wait_for 5 "the main window painted" painted TarnwickForm 'Tarnwick - 模拟'
shot "${method}main-before.png" "$x" "$y" "$w" "$h"

# A real double click in the middle of "×内网" (143, 85, 113 x 39 at 96 DPI).
xdotool mousemove $((x + $(scaled 143) + $(scaled 113) / 2)) $((y + $(scaled 85) + $(scaled 39) / 2)) \
  sleep 0.3 click --repeat 2 --delay 80 1
# The progress window stays for the whole switch: three seconds and more.
wait_for 20 "the progress window" window_at 'TarnwickForm' 'FmProgress'
read -r px py pw ph _ < <(window_at 'TarnwickForm' 'FmProgress') || fail "the progress window closed too soon"
shot "${method}progress.png" "$px" "$py" "$pw" "$ph"

wait_for 60 "the end of the switch" no_window 'TarnwickForm' 'FmProgress'
wait_for 10 "NET=A in Config.ini" has_net_a
xdotool mousemove $((x + 10)) $((y + h - 10))
wait_for 5 "the labels repainted" painted TarnwickForm 'Tarnwick - 模拟'
shot "${method}main-after.png" "$x" "$y" "$w" "$h"
# The pointer over "×外网" (143, 149): underlined and lime while it is there.
xdotool mousemove $((x + $(scaled 143) + $(scaled 113) / 2)) $((y + $(scaled 149) + $(scaled 39) / 2))
wait_for 5 "the label under the pointer repainted" painted TarnwickForm 'Tarnwick - 模拟'
shot "${method}main-hover.png" "$x" "$y" "$w" "$h"

status=0
log=$run/simulated-network.log
if [ "$method" = B ]; then
  expected_lines=('netsh interface ip set address "以太网" static 10.20.30.41 255.255.255.0 10.20.30.1 1'
                  'netsh interface ip set dns "以太网" static 10.20.0.53 validate=no')
  match=-qxF # whole lines: the command lines exactly as the engine composed them
  [ "$(grep -c '^netsh ' "$log" 2>/dev/null)" = 2 ] || { echo "scenario: not exactly two netsh commands" >&2; status=1; }
else
  # The wired adapter is static already: Windows sets the address and answers 81.
  expected_lines=('adapter 1 EnableStatic({10.20.30.41}, {255.255.255.0}) = 81'
                  'adapter 1 SetGateways({10.20.30.1}) = 0' 'adapter 1 SetDNSServerSearchOrder({10.20.0.53}) = 0')
  match=-qF
  ! tr -d '\r' < "$log" | grep -v -e '^adapter 1 ' -e '^  now: adapter 1 ' | grep -q . ||
    { echo "scenario: an adapter other than 1 was called" >&2; status=1; }
  ! grep -q '^netsh ' "$log" 2>/dev/null || { echo "scenario: netsh ran with the WMI engine" >&2; status=1; }
fi
for expected in "${expected_lines[@]}"; do
  tr -d '\r' < "$log" 2>/dev/null | grep $match -- "$expected" || { echo "scenario: the log lacks '$expected'" >&2; status=1; }
done
# Nothing beside the one file but what it writes.
extra=$(ls "$run" | grep -vxE 'Tarnwick.exe|Config.ini|simulated-network.log' || true)
[ -z "$extra" ] || { echo "scenario: unexpected files beside Tarnwick.exe: $extra" >&2; status=1; }
# Config.ini keeps the names in GBK.
iconv -f GBK -t UTF-8 "$run/Config.ini" | grep -q 'Name=内网办公' || { echo "scenario: the GBK names changed" >&2; status=1; }
[ $status -eq 0 ] || { echo "--- Config.ini"; iconv -f GBK -t UTF-8 "$run/Config.ini"; echo "--- log"; cat "$log" 2>/dev/null; }
echo "scenario: screenshots in $shots"
exit $status

#!/usr/bin/env bash
# Installed for all users, in simulation mode: `Tarnwick.exe --simulate --install` ends with 0,
# Wine's service manager runs the simulated service, the program folder and the Run value are in
# place. A tray started from there as a standard user's (--simulate-standard-user) shows the
# active profile; a real double click on "×外网" switches through the service with no prompt
# (the service's simulated adapter and NET follow, the label shows "√外网"); the cable moved into
# 内网 makes the service switch and the tray shows the balloon; the service stopped and started
# again, the tray still switches through it. `--uninstall` ends with 0 and leaves Config.ini
# alone. Keeps screenshots. Runs under scripts/wine-env, at the DPI of SCENARIO_DPI when set.
# Usage: service-scenario.sh <Tarnwick.exe> <WindowPosition.exe> <screenshot folder>
# $TARNWICK_RELEASE_EXE, when it names a file, is the Tarnwick.exe tested.
set -euo pipefail
exe=$1 winpos=$2 shots=$3
source "$(dirname "$0")/scenario-lib.sh"
scenario_files service
program_files=$simulated_install_folder
service=$simulated_service
title='Tarnwick - 模拟'
put_back() { remove_simulated_install; }
trap end_scenario EXIT
fail() { fail_showing_files "$@"; }
use_dpi
tag=$want_dpi
unexpected_shot=service-unexpected-message-$tag.png
echo "scenario: testing $exe installed with its service"
put_back

cp "$exe" "$run/Tarnwick.exe"
printf '[NET]\r\nNET=A\r\nAutoSwitch=1\r\nAdapter=1\r\n' > "$run/Config.ini"
write_profiles 'DHCPEnabled=1' 'DNSEnabled=1'
state() { "$wine" sc query "$service" 2>/dev/null | tr -d '\r' | awk '/STATE/ { print $4 }'; }
running() { [ "$(state)" = RUNNING ]; }
installed_active_is() { iconv -f GBK -t UTF-8 "$program_files/Config.ini" | tr -d '\r' | grep -qx "NET=$1"; }
service_log() { cat "$program_files/simulated-network.log" 2>/dev/null || true; }
own_desktop "TarnwickService$$"

# install <option>: --install or --uninstall, its one box kept in a picture and answered with
# Enter; ends with the program's exit code in $code.
install() {
  (cd "$run" && exec "$wine" Tarnwick.exe --simulate "$1") &
  pid=$!
  expected_box=1
  answer_box "service$1-$tag.png" "the box of $1"
  expected_box=
  code=0
  wait "$pid" || code=$?
  pid=
}

install --install
[ "$code" = 0 ] || fail "--install ended with $code"
wait_for 20 "the service running" running
[ -f "$program_files/Tarnwick.exe" ] || fail "no Tarnwick.exe in the program folder"
[ -f "$program_files/Config.ini" ] || fail "no Config.ini in the program folder"
run_value=$(reg_value "$run_key" "$service")
case $run_value in *'TarnwickSimulation\Tarnwick.exe'*) ;; *) fail "the Run value is '$run_value'" ;; esac
echo "scenario: the service runs; Run value: $run_value"

# The tray a standard user's logon starts: it goes to the tray, and a second start shows it.
(cd "$program_files" && exec "$wine" Tarnwick.exe --simulate --simulate-standard-user) >/dev/null 2>&1 &
pid=$!
wait_for 60 "the tray's window" "$wine" "$winpos" --exists TarnwickForm "$title"
wait_for 30 "the window in the tray" no_window TarnwickForm "$title"
(cd "$program_files" && "$wine" Tarnwick.exe --simulate --simulate-standard-user) || fail "a second start failed"
wait_for 30 "the main window" window_at TarnwickForm "$title"
read -r x y w h _ < <(window_at TarnwickForm "$title") || fail "the main window closed"
wait_for 5 "the main window painted" painted TarnwickForm "$title"
shot "service-tray-before-$tag.png" "$x" "$y" "$w" "$h"

# A real double click on "×外网" (143, 149, 113 x 39 at 96 DPI): no prompt, the service switches.
xdotool mousemove $((x + $(scaled 143) + $(scaled 113) / 2)) $((y + $(scaled 149) + $(scaled 39) / 2)) \
  sleep 0.3 click --repeat 2 --delay 80 1
wait_for 30 "NET=B in the installed Config.ini" installed_active_is B
service_log | grep -q "^adapter 1 EnableDHCP" || fail "the service's adapter did not receive 外网"
wait_for 20 "the progress window to go" no_window TarnwickForm FmProgress
sleep 0.5
wait_for 5 "the main window painted" painted TarnwickForm "$title"
shot "service-tray-switched-$tag.png" "$x" "$y" "$w" "$h"
[ ! -s "$run/simulated-network.log" ] || fail "the first copy's adapters were touched"

# The cable moved into 内网: the service switches by itself, and the tray says so.
read -r ox oy < <(desktop_origin)
# Closed, the window goes to the tray.
xdotool mousemove $((x + w / 2)) $((y + h - 5)) click 1 key alt+F4
wait_for 20 "the window in the tray" no_window TarnwickForm "$title"
above=$((768 - $(scaled 60)))
sleep 1
import -window root -crop "1024x$above+$ox+$oy" +repage "$run/empty.png"
balloon() {
  import -window root -crop "1024x$above+$ox+$oy" +repage "$run/now.png"
  [ "$(compare -metric AE "$run/empty.png" "$run/now.png" null: 2>&1 || true)" != 0 ]
}
cable() { (cd "$program_files" && "$wine" Tarnwick.exe "--simulate-cable=$1") || fail "--simulate-cable=$1 failed"; }
cable unplug
sleep 0.5
cable plug:内网
wait_for 40 "NET=A after a plug into 内网" installed_active_is A
wait_for 30 "the balloon" balloon
sleep 0.5 # the balloon fades in
import -window root -crop "1024x768+$ox+$oy" +repage "$shots/service-balloon-$tag.png"

# The service stopped and started again: the tray still switches through it.
"$wine" sc stop "$service" >/dev/null
wait_for 20 "the service stopped" bash -c "[ \"\$(\"$wine\" sc query $service | tr -d '\r' | awk '/STATE/ { print \$4 }')\" = STOPPED ]"
"$wine" sc start "$service" >/dev/null
wait_for 20 "the service running again" running
sleep 2 # the tray finds it again
(cd "$program_files" && timeout 60 "$wine" Tarnwick.exe --simulate --simulate-standard-user --switch=B) ||
  fail "--switch=B through the restarted service failed"
wait_for 30 "NET=B after the restart" installed_active_is B

log_off_and_wait "$title"
pid=
install --uninstall
[ "$code" = 0 ] || fail "--uninstall ended with $code"
[ -z "$(state)" ] || fail "the service is still there: $(state)"
[ -z "$(reg_value "$run_key" "$service")" ] || fail "the Run value is still there"
[ ! -f "$program_files/Tarnwick.exe" ] || fail "Tarnwick.exe is still in the program folder"
[ -f "$program_files/Config.ini" ] || fail "Config.ini went with the program"
echo "scenario: installed, switched with no prompt, the service's balloon, removed; screenshots in $shots"

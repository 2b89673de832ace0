#!/usr/bin/env bash
# "开机时自动运行" on a first run from an ordinary folder: the dialog offers to install Tarnwick for
# all users instead; accepted, the install (its elevated copy) puts Tarnwick.exe and its settings
# in C:\Program Files\TarnwickSimulation, starts the simulated service and writes the tray's Run
# value, no Task Scheduler task is made, the installed tray takes over and the first program
# ends with code 0. Keeps screenshots. Runs under scripts/wine-env, at the DPI of SCENARIO_DPI
# when it is set.
# Usage: autorun-scenario.sh <Tarnwick.exe> <WindowPosition.exe> <screenshot folder>
# $TARNWICK_RELEASE_EXE, when it names a file, is the Tarnwick.exe tested.
set -euo pipefail
exe=$1 winpos=$2 shots=$3
source "$(dirname "$0")/scenario-lib.sh"
scenario_files autorun
program_files=$simulated_install_folder
task_file="$WINEPREFIX/drive_c/windows/system32/tasks/Tarnwick"
service=$simulated_service
# The installation goes again, and a task made by mistake.
put_back() {
  remove_simulated_install
  rm -f "$task_file"
}
trap end_scenario EXIT
fail() { fail_showing_files "$@"; }
use_dpi
tag=$want_dpi
echo "scenario: testing $exe with 开机时自动运行 from an ordinary folder"
put_back

cp "$exe" "$run/Tarnwick.exe"
unexpected_shot=autorun-unexpected-message-$tag.png
autorun='开机时自动运行'

(cd "$run" && exec "$wine" Tarnwick.exe --simulate) &
pid=$!
answer_first_run
wait_for 30 "the configuration dialog" window_at 'TarnwickForm' '配置'
wait_for 5 "the dialog painted" painted TarnwickForm '配置'
read -r x y w h _ < <(window_at --child 'TarnwickForm' '配置' "$autorun") || fail "no $autorun"
click "$x" "$y" "$w" "$h"
ticked() { read -r _ _ _ _ checked < <(window_at --child 'TarnwickForm' '配置' "$autorun") && [ "$checked" = 1 ]; }
wait_for 5 "a click to tick $autorun" ticked
read -r x y w h _ < <(window_at --child 'TarnwickForm' '配置' '确定') || fail "no 确定"
expected_box=1
click "$x" "$y" "$w" "$h"

# The offer, answered with its default button, 是; then the install's one box.
answer_box "autorun-offer-$tag.png" "the offer to install"
case $box_text in *'所有用户'*) ;; *) fail "the offer does not say for whom: $box_text" ;; esac
answer_box "autorun-installed-$tag.png" "the install's box"
expected_box=

# The first program hands over to the copy and ends.
end=$((SECONDS + 40))
while kill -0 "$pid" 2>/dev/null; do
  [ $SECONDS -lt $end ] || fail "the first program did not end within 40 s"
  sleep 0.2
done
code=0
wait "$pid" || code=$?
[ "$code" = 0 ] || fail "the first program ended with $code"
# wait_for watches $pid: the copy is no child of this shell, so a placeholder stands in for it,
# and put_back ends the copy.
sleep 600 &
pid=$!

[ -f "$program_files/Tarnwick.exe" ] || fail "no copy in C:\\Program Files\\TarnwickSimulation"
cmp -s "$run/Tarnwick.exe" "$program_files/Tarnwick.exe" || fail "the copy differs"
tr -d '\r' < "$run/Config.ini" | grep -qx 'AutoRun=1' || fail "AutoRun=1 is not in Config.ini"
# The copy's Config.ini is written from the settings key by key: the same keys, the same values.
settings() { tr -d '\r' < "$1" | awk '/^\[/ { section = $0; next } /=/ { print section $0 }' | sort; }
[ "$(settings "$run/Config.ini")" = "$(settings "$program_files/Config.ini")" ] ||
  fail "the copy's Config.ini does not hold the settings: $(cat "$program_files/Config.ini")"
[ ! -f "$task_file" ] || fail "a logon task was made"
[ "$("$wine" sc query "$service" 2>/dev/null | tr -d '\r' | awk '/STATE/ { print $4 }')" = RUNNING ] ||
  fail "the service does not run"
run_value=$(reg_value "$run_key" "$service")
case $run_value in *'TarnwickSimulation\Tarnwick.exe'*) ;; *) fail "the Run value is '$run_value'" ;; esac
echo "scenario: the service runs; the Run value is $run_value"

# The installed tray runs, served by the service: with no profile applied yet it goes to the
# tray without asking (the settings are an administrator's); a second start shows it.
wait_for 60 "the installed tray's window" "$wine" "$winpos" --exists TarnwickForm 'Tarnwick - 模拟'
wait_for 30 "the window in the tray" no_window TarnwickForm 'Tarnwick - 模拟'
(cd "$program_files" && "$wine" Tarnwick.exe --simulate) || fail "a second start failed"
wait_for 30 "the installed tray's main window" window_at 'TarnwickForm' 'Tarnwick - 模拟'
read -r x y w h _ < <(window_at 'TarnwickForm' 'Tarnwick - 模拟')
wait_for 5 "the main window painted" painted TarnwickForm 'Tarnwick - 模拟'
shot "autorun-copy-$tag.png" "$x" "$y" "$w" "$h"
echo "scenario: screenshots in $shots"

#!/usr/bin/env bash
# "开机时自动运行" on a first run from an ordinary folder: the dialog says why that folder will
# not do and offers a copy in the program folders; accepted, Tarnwick.exe is copied to
# C:\Program Files\Tarnwick and its settings are written there, the Task Scheduler task "Tarnwick" is registered for the
# copy, the copy takes over and the first program ends with code 0. Keeps screenshots. Runs
# under scripts/wine-env, at the DPI of SCENARIO_DPI when it is set.
# Usage: autorun-scenario.sh <Tarnwick.exe> <WindowPosition.exe> <screenshot folder>
# $TARNWICK_RELEASE_EXE, when it names a file, is the Tarnwick.exe tested.
set -euo pipefail
exe=$1 winpos=$2 shots=$3
source "$(dirname "$0")/scenario-lib.sh"
scenario_files autorun
program_files="$WINEPREFIX/drive_c/Program Files/Tarnwick"
task_file="$WINEPREFIX/drive_c/windows/system32/tasks/Tarnwick"
# The prefix is shared with the other tests: the copy, its task and its folder go again.
put_back() {
  "$wine" taskkill /f /im Tarnwick.exe >/dev/null 2>&1 || true
  "$wine" schtasks /delete /tn Tarnwick /f >/dev/null 2>&1 || true
  rm -f "$task_file"
  rm -rf "$program_files"
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

# The offer, answered with its default button, 是.
wait_for 30 "the offer of a copy" window_at '#32770' 'Tarnwick'
wait_for 5 "the offer painted" painted '#32770' 'Tarnwick'
read -r bx by bw bh _ < <(window_at '#32770' 'Tarnwick')
shot "autorun-offer-$tag.png" "$bx" "$by" "$bw" "$bh"
offer=$(message_box_text)
echo "scenario: the dialog says: $offer"
case $offer in *'Program Files'*) ;; *) fail "the offer does not say why: $offer" ;; esac
xdotool mousemove $((bx + bw / 2)) $((by + bh / 2)) key Return
wait_for 20 "the offer to close" no_window '#32770' 'Tarnwick'
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

[ -f "$program_files/Tarnwick.exe" ] || fail "no copy in C:\\Program Files\\Tarnwick"
cmp -s "$run/Tarnwick.exe" "$program_files/Tarnwick.exe" || fail "the copy differs"
tr -d '\r' < "$run/Config.ini" | grep -qx 'AutoRun=1' || fail "AutoRun=1 is not in Config.ini"
# The copy's Config.ini is written from the settings key by key: the same keys, the same values.
settings() { tr -d '\r' < "$1" | awk '/^\[/ { section = $0; next } /=/ { print section $0 }' | sort; }
[ "$(settings "$run/Config.ini")" = "$(settings "$program_files/Config.ini")" ] ||
  fail "the copy's Config.ini does not hold the settings: $(cat "$program_files/Config.ini")"
[ -f "$task_file" ] || fail "no task Tarnwick in the prefix"
grep -qF 'C:\Program Files\Tarnwick\Tarnwick.exe' "$task_file" ||
  fail "the task does not name the copy: $(cat "$task_file")"
[ -z "$(reg_value "$run_key" Tarnwick)" ] || fail "a Run value was written"
echo "scenario: the task names $(grep -o 'C:\\Program Files\\Tarnwick\\Tarnwick.exe' "$task_file" | head -n 1)"

# The copy runs: its own first run (nothing applied yet), left with Alt+F4, then its window.
answer_first_run
wait_for 30 "the copy's configuration dialog" window_at 'TarnwickForm' '配置'
read -r _ _ _ _ checked < <(window_at --child 'TarnwickForm' '配置' "$autorun") || fail "no $autorun"
[ "$checked" = 1 ] || fail "$autorun is not ticked in the copy"
xdotool key alt+F4
wait_for 20 "the dialog to close" no_window 'TarnwickForm' '配置'
wait_for 30 "the copy's main window" window_at 'TarnwickForm' 'Tarnwick - 模拟'
read -r x y w h _ < <(window_at 'TarnwickForm' 'Tarnwick - 模拟')
wait_for 5 "the main window painted" painted TarnwickForm 'Tarnwick - 模拟'
shot "autorun-copy-$tag.png" "$x" "$y" "$w" "$h"
echo "scenario: screenshots in $shots"

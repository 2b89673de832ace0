#!/usr/bin/env bash
# A first run on the default simulated laptop off its dock (--simulate-unplugged: no wired
# adapter has its cable in): the dialog preselects the wired adapter all the same, with
# "只切换此网卡" ticked, and is confirmed. A double click on "×内网" then switches with the note
# that the settings take effect once the cable is in, and NET is written. The cable plugged in
# (--simulate-cable=plug): the configuration dialog's adapter view shows the profile's address.
# Keeps screenshots.
# Runs under scripts/wine-env, at the DPI of SCENARIO_DPI when it is set.
# Usage: unplugged-scenario.sh <Tarnwick.exe> <WindowPosition.exe> <screenshot folder>
# $TARNWICK_RELEASE_EXE, when it names a file, is the Tarnwick.exe tested.
set -euo pipefail
exe=$1 winpos=$2 shots=$3
source "$(dirname "$0")/scenario-lib.sh"
scenario_files unplugged
trap end_scenario EXIT
log=$run/simulated-network.log
fail() { fail_showing_files "$@"; }
echo "scenario: testing $exe on the simulated laptop with every cable out"

cp "$exe" "$run/Tarnwick.exe"
unexpected_shot=unplugged-unexpected-message.png
use_dpi
tag=$want_dpi
note='网线未连接：设置已保存，插上网线后生效。'

(cd "$run" && exec "$wine" Tarnwick.exe --simulate --simulate-unplugged) &
pid=$!

answer_first_run
# The wired adapter, with its cable out, all the same.
confirm_wired_first_run "unplugged-first-run-dialog-$tag.png"
write_profiles 'DHCPEnabled=1' 'DNSEnabled=1'

wait_for 30 "the main window" window_at 'TarnwickForm' 'Tarnwick - 模拟'
read -r x y w h _ < <(window_at 'TarnwickForm' 'Tarnwick - 模拟')
expected_box=1
xdotool mousemove $((x + $(scaled 143) + $(scaled 113) / 2)) $((y + $(scaled 85) + $(scaled 39) / 2)) \
  sleep 0.3 click --repeat 2 --delay 80 1
wait_for 30 "the note of a switch with the cable out" window_at '#32770' 'Tarnwick'
text=$(message_box_text)
read -r bx by bw bh _ < <(window_at '#32770' 'Tarnwick')
shot "unplugged-note-$tag.png" "$bx" "$by" "$bw" "$bh"
[ "$text" = "$note" ] || fail "not the cable's note but: $text"
xdotool mousemove $((bx + bw / 2)) $((by + bh / 2)) key Return
wait_for 20 "the note to close" no_window '#32770' 'Tarnwick'
expected_box=
wait_for 10 "NET=A in Config.ini" active_is A

# The cable in: Windows shows what was set.
(cd "$run" && "$wine" Tarnwick.exe --simulate-cable=plug) || fail "--simulate-cable=plug failed"
# 参数设置, the words at the picture's top left (37, 24), 72 x 16.
xdotool mousemove $((x + $(scaled 37) + $(scaled 72) / 2)) $((y + $(scaled 24) + $(scaled 16) / 2)) \
  sleep 0.3 click 1
dialog_shown "unplugged-plugged-in-$tag.png"
window_at --child 'TarnwickForm' '配置' '{10.20.30.41, fe80::20c:29ff:fe4f:8e35}' >/dev/null ||
  fail "the wired adapter does not show the profile's address once the cable is in"
read -r x2 y2 w2 h2 _ < <(window_at --child 'TarnwickForm' '配置' '取消') || fail "no 取消"
click "$x2" "$y2" "$w2" "$h2"
wait_for 20 "the configuration dialog to close" no_window 'TarnwickForm' '配置'
echo "scenario: screenshots in $shots"

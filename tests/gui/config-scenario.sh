#!/usr/bin/env bash
# A first run set up with the keyboard alone, in Wine's 1024 x 768 virtual desktop: the first-run
# message, the configuration dialog fully on screen with the focus on its first control, profile
# A typed in, profile B set to automatic, the About box opened with Alt+A and left with Enter,
# "确定". Then checks Config.ini (GBK), that no Run value was written, and the log, switches
# to profile A with a double click on "×内网", and changes its mask through "参数设置", which
# applies the profile again. Keeps screenshots, their names ending in the DPI.
# Runs under scripts/wine-env (Wine is found through its WINELOADER).
# Usage: config-scenario.sh <Tarnwick.exe> <WindowPosition.exe> <screenshot folder>
# At the DPI of SCENARIO_DPI when it is set; the prefix gets its own back at the end.
# $TARNWICK_RELEASE_EXE, when it names a file, is the Tarnwick.exe tested.
set -euo pipefail
exe=$1 winpos=$2 shots=$3
source "$(dirname "$0")/scenario-lib.sh"
scenario_files config
first_run_message='初次运行，需要设置您的IP地址！'
saved_run=$(reg_value "$run_key" Tarnwick || true)
cleanup() {
  local status=$?
  scenario_cleanup $status
  [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null
  "$wine" taskkill /f /im Tarnwick.exe >/dev/null 2>&1 || true
  wait 2>/dev/null
  # The prefix is shared with the other tests: the Run value goes back to what it was.
  restore_run_value "$saved_run"
  rm -rf "$run"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
fail() { echo "scenario: $*" >&2; exit 1; }
use_dpi
tag=$want_dpi
# Above 150% the dialog needs more room than 1024 x 768: the whole of the display.
[ "$want_dpi" -le 144 ] || own_desktop "config-$want_dpi" 1280x1024
echo "scenario: testing $exe at $tag DPI"

cp "$exe" "$run/Tarnwick.exe"
ini() { printf '%s' "$1" | iconv -f UTF-8 -t GBK; }
# No active profile: the first run. The names are not edited by the dialog and must come back
# unchanged, in GBK.
ini $'[NET]\r\nNET=\r\n[A]\r\nName=内网办公\r\n[B]\r\nName=外网\r\n' > "$run/Config.ini"

unexpected_shot=unexpected-message-$tag.png
# Its outer rectangle on the X screen, and the work area in desktop coordinates.
frame_at() {
  local pos ox oy x y w h wl wt wr wb
  pos=$("$wine" "$winpos" --frame "$1" "$2" 2>/dev/null | tr -d '\r') && [ -n "$pos" ] || return 1
  read -r ox oy < <(desktop_origin)
  read -r x y w h wl wt wr wb <<< "$pos"
  echo $((x + ox)) $((y + oy)) "$w" "$h" "$x" "$y" "$wl" "$wt" "$wr" "$wb"
}
focus_in() { "$wine" "$winpos" --focus "$1" "$2" 2>/dev/null | tr -d '\r'; }
shot_frame() {  # shot_frame <file> <class> <title>: the whole window with its frame
  local x y w h
  read -r x y w h _ < <(frame_at "$2" "$3") || fail "no window $3 to picture"
  shot "$1" "$x" "$y" "$w" "$h"
}
keys() { xdotool key --delay 60 "$@"; }
type_text() { xdotool type --delay 60 "$1"; }
focused_is() { [ "$(focus_in TarnwickForm '配置')" = "$1" ]; }
expect_focus() {  # expect_focus <class|text> <what>
  wait_for 10 "the focus on $2" focused_is "$1"
}
# Tab (or the key given) until the focus is on the control, at most 20 times; the walk is
# printed on failure.
tab_to() {
  local walk=() i
  for i in $(seq 20); do
    [ "$(focus_in TarnwickForm '配置')" = "$1" ] && return 0
    walk+=("$(focus_in TarnwickForm '配置' || echo '?')")
    keys "${2:-Tab}"
    sleep 0.1
  done
  fail "${2:-Tab} never reached $1; it walked: ${walk[*]}"
}
log=$run/simulated-network.log
log_has() { tr -d '\r' < "$log" 2>/dev/null | grep -qF -- "$1"; }
log_count() { tr -d '\r' < "$log" 2>/dev/null | grep -cF -- "$1" || true; }

(cd "$run" && exec "$wine" Tarnwick.exe --simulate) &
pid=$!

# First run: the message, answered with Enter.
expected_box=1
wait_for 60 "the first-run message" window_at '#32770' 'Tarnwick'
read -r x y w h _ < <(window_at '#32770' 'Tarnwick') || fail "the first-run message closed by itself"
[ "$(message_box_text)" = "$first_run_message" ] || fail "a message box other than the first-run message: $(message_box_text)"
# The keys go to the X window under the pointer: Wine's desktop, which hands them on to its
# active window.
xdotool mousemove $((x + w / 2)) $((y + h / 2))
keys Return
wait_for 20 "the first-run message to close" no_window '#32770' 'Tarnwick'
expected_box=

# The dialog: fully inside the work area, the focus on the first page's first control.
wait_for 30 "the configuration dialog" window_at 'TarnwickForm' '配置'
read -r fx fy fw fh dx dy wl wt wr wb < <(frame_at 'TarnwickForm' '配置')
# The pointer on the caption, off every control the pictures show.
xdotool mousemove $((fx + fw / 2)) $((fy + 5))
read -r _ _ cw ch _ < <(window_at 'TarnwickForm' '配置')
echo "scenario: dialog at $dx,$dy, ${fw}x$fh with its frame, client ${cw}x$ch, work area $wl,$wt-$wr,$wb"
# The designed client area, whatever the frame takes.
[ "$cw" -eq "$(scaled 540)" ] && [ "$ch" -eq "$(scaled 384)" ] ||
  fail "the dialog's client area is ${cw}x$ch, not $(scaled 540)x$(scaled 384) at $want_dpi DPI"
[ "$dx" -ge "$wl" ] && [ "$dy" -ge "$wt" ] && [ $((dx + fw)) -le "$wr" ] && [ $((dy + fh)) -le "$wb" ] ||
  fail "the dialog is not fully inside the work area"
expect_focus 'Button|开机时自动运行' '"开机时自动运行"'
wait_for 5 "the dialog painted" painted TarnwickForm '配置'
shot_frame "config-general-$tag.png" TarnwickForm '配置'

# The adapter list dropped open for a picture, and closed again. ("开机时自动运行" has a
# scenario of its own: from this folder it offers a copy in the program folders.)
tab_to 'ComboBox|1: Intel(R) PRO/1000 MT Network Connection'
keys alt+Down
wait_for 10 "the open adapter list" frame_at ComboLBox ''
read -r lx ly lw lh _ < <(frame_at ComboLBox '')
read -r cx cy cw ch _ < <(frame_at TarnwickForm '配置')
wait_for 5 "the adapter list painted" painted ComboLBox ''
right=$((lx + lw > cx + cw ? lx + lw : cx + cw)) bottom=$((ly + lh > cy + ch ? ly + lh : cy + ch))
shot "config-dropdown-$tag.png" "$cx" "$cy" $((right - cx)) $((bottom - cy))
keys Escape
wait_for 10 "the adapter list to close" no_window ComboLBox ''

# Profile A, typed in the Tab order of its page: DNS servers first, then the address.
keys ctrl+Tab
expect_focus 'Button|使用下面的 DNS 服务器地址' 'the first control of profile A'
keys Tab; type_text 10.20.0.53
keys Tab; type_text 10.20.0.54
keys Tab; type_text 10.20.30.41
# Leaving the address filled the empty mask; the typed mask takes the filled one's place.
keys Tab; type_text 255.255.254.0
keys Tab; type_text 10.20.30.1
wait_for 5 "profile A painted" painted TarnwickForm '配置'
shot_frame "config-profile-a-$tag.png" TarnwickForm '配置'

# Profile B automatic: the address by the arrows in its group, then the DNS servers.
keys ctrl+Tab
expect_focus 'Button|使用下面的 DNS 服务器地址' 'the first control of profile B'
tab_to 'Button|使用下面的 IP 地址'
keys Down
expect_focus 'Button|自动获得 IP 地址' '"自动获得 IP 地址"'
tab_to 'Button|使用下面的 DNS 服务器地址' shift+Tab
keys Up
expect_focus 'Button|自动获得 DNS 服务器地址' '"自动获得 DNS 服务器地址"'
wait_for 5 "profile B painted" painted TarnwickForm '配置'
shot_frame "config-profile-b-$tag.png" TarnwickForm '配置'

# Alt+A opens the About box; Enter on its one button closes it again.
keys alt+a
wait_for 20 "the About box" window_at 'TarnwickForm' '关于程序'
read -r _ _ aw ah ax ay _ < <(frame_at 'TarnwickForm' '关于程序')
[ "$ax" -ge "$wl" ] && [ "$ay" -ge "$wt" ] && [ $((ax + aw)) -le "$wr" ] && [ $((ay + ah)) -le "$wb" ] ||
  fail "the About box is not fully inside the work area"
wait_for 5 "the About box painted" painted TarnwickForm '关于程序'
shot_frame "about-$tag.png" TarnwickForm '关于程序'
keys Return
wait_for 20 "the About box to close" no_window 'TarnwickForm' '关于程序'
wait_for 10 "the focus back in the dialog" focus_in TarnwickForm '配置'
echo "scenario: back from the About box, the focus on $(focus_in TarnwickForm '配置')"

tab_to 'Button|确定'
keys space
wait_for 20 "the dialog to close" no_window 'TarnwickForm' '配置'

# What was typed, and nothing else, in GBK; no Run value; nothing applied.
expected=$'[NET]\r\nNET=\r\nAutoRun=0\r\nAutoSwitch=0\r\nAdapter=\r\n[A]\r\nName=内网办公\r\nDHCPEnabled=0\r\nIPAddress=10.20.30.41\r\nIPSubnet=255.255.254.0\r\nDefaultIPGateway=10.20.30.1\r\nDNSEnabled=0\r\nDNSA=10.20.0.53\r\nDNSB=10.20.0.54\r\n[B]\r\nName=外网\r\nDHCPEnabled=1\r\nDNSEnabled=1\r\n'
ini_is() { cmp -s <(ini "$expected") "$run/Config.ini"; }
ini_is || { diff <(ini "$expected" | iconv -f GBK -t UTF-8) <(iconv -f GBK -t UTF-8 "$run/Config.ini") | cat -A; fail "Config.ini differs"; }
[ -z "$(reg_value "$run_key" Tarnwick)" ] || fail "a Run value was written"
[ ! -s "$log" ] || { cat "$log"; fail "a profile was applied with none active"; }

wait_for 30 "the main window" window_at 'TarnwickForm' 'Tarnwick - 模拟'
read -r x y w h _ < <(window_at 'TarnwickForm' 'Tarnwick - 模拟')
xdotool mousemove $((x + w - 5)) $((y + h - 5))
wait_for 5 "the main window painted" painted TarnwickForm 'Tarnwick - 模拟'
shot_frame "main-first-run-$tag.png" TarnwickForm 'Tarnwick - 模拟'

# A double click on "×内网" (143, 85, 113 x 39) applies what was typed, to every adapter: the
# wired one, static already, answers 81 as Windows does.
xdotool mousemove $((x + $(scaled 143) + $(scaled 113) / 2)) $((y + $(scaled 85) + $(scaled 39) / 2)) \
  sleep 0.3 click --repeat 2 --delay 80 1
applied=('adapter 1 EnableStatic({10.20.30.41}, {255.255.254.0}) = 81'
         'adapter 1 SetGateways({10.20.30.1}) = 0'
         'adapter 1 SetDNSServerSearchOrder({10.20.0.53, 10.20.0.54}) = 0')
for line in "${applied[@]}"; do
  wait_for 30 "'$line' in the log" log_has "$line"
done
has_net_a() { tr -d '\r' < "$run/Config.ini" | grep -qx 'NET=A'; }
wait_for 10 "NET=A in Config.ini" has_net_a
switched=$(log_count 'EnableStatic(')

# "参数设置" (37, 24, 72 x 16) opens the dialog again; a new mask, "确定", and profile A is
# applied again with it.
xdotool mousemove $((x + $(scaled 37) + $(scaled 72) / 2)) $((y + $(scaled 24) + $(scaled 16) / 2)) \
  sleep 0.3 click 1
wait_for 30 "the configuration dialog again" window_at 'TarnwickForm' '配置'
expect_focus 'Button|开机时自动运行' '"开机时自动运行"'
keys ctrl+Tab
expect_focus 'Button|使用下面的 DNS 服务器地址' 'the first control of profile A'
keys Tab Tab Tab Tab
type_text 255.255.255.128
tab_to 'Button|确定'
keys space
wait_for 20 "the dialog to close" no_window 'TarnwickForm' '配置'
wait_for 30 "profile A applied with the new mask" log_has 'adapter 1 EnableStatic({10.20.30.41}, {255.255.255.128}) = 81'
[ "$(log_count 'EnableStatic(')" = $((2 * switched)) ] || { cat "$log"; fail "not exactly two switches in the log"; }
tr -d '\r' < "$run/Config.ini" | grep -qx 'IPSubnet=255.255.255.128' || fail "the new mask is not in Config.ini"
echo "scenario: screenshots in $shots"

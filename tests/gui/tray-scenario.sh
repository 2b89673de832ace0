#!/usr/bin/env bash
# Starts a configured Tarnwick.exe in simulation mode inside a virtual desktop of its own, where
# the taskbar has a notification area, and checks its life there with real pointer input: the
# start ends with the tray icon only, the icon animates, its tool tip, the menu and its closing
# on an outside click, a double click bringing the window back at its place, and "退出", which
# ends the program with code 0 and takes the icon away. Keeps screenshots. Runs under
# scripts/wine-env, at the DPI of SCENARIO_DPI when it is set.
# Usage: tray-scenario.sh <Tarnwick.exe> <WindowPosition.exe> <screenshot folder>
set -euo pipefail
exe=$1 winpos=$2 shots=$3
source "$(dirname "$0")/scenario-lib.sh"
scenario_files tray
desktop=TarnwickTray$$
trap end_scenario EXIT
fail() { echo "scenario: $*" >&2; exit 1; }
use_dpi
echo "scenario: testing $exe in the notification area"

cp "$exe" "$run/Tarnwick.exe"
printf '[NET]\r\nNET=A\r\n[A]\r\nName=内网办公\r\nDHCPEnabled=1\r\nDNSEnabled=1\r\n[B]\r\nName=外网\r\nDHCPEnabled=1\r\nDNSEnabled=1\r\n' |
  iconv -f UTF-8 -t GBK > "$run/Config.ini"

grab() { import -window root "$run/screen.png"; }
# crop <file> <w> <h> <x> <y>: a part of the last grab.
crop() { convert "$run/screen.png" -crop "${2}x${3}+${4}+${5}" +repage "$1"; }
colours() { convert "$1" -format '%k' info:; }
# The whole desktop from the last grab, with the animated icon painted over.
still() {
  convert "$run/screen.png" -crop "1024x768+$ox+$oy" +repage -fill black \
    -draw "rectangle $((ix - ox)),$((iy - oy)) $((ix - ox + iw)),$((iy - oy + ih))" "$1"
}
# "x y w h" of what differs from the desktop as it was with the window in the tray.
changed_box() {
  convert "$run/empty-still.png" "$1" -compose difference -composite -threshold 3% \
    -bordercolor black -border 1 -trim -format '%X %Y %w %h' info: 2>/dev/null | tr -d '+' |
    awk '{ print $1 - 1, $2 - 1, $3, $4 }'
}

start=$SECONDS
# The program itself, not a desktop process starting it: its exit code is the scenario's to see.
own_desktop "$desktop"
(cd "$run" && exec "$wine" Tarnwick.exe --simulate) &
pid=$!
# The desktop window's place on the X screen.
for _ in $(seq 100); do
  id=$(xdotool search --name "$desktop" 2>/dev/null | head -n 1 || true)
  [ -n "$id" ] && break
  sleep 0.1
done
[ -n "$id" ] || fail "no virtual desktop"
read -r ox oy < <(xdotool getwindowgeometry --shell "$id" | awk -F= '/^X=/{x=$2} /^Y=/{y=$2} END{print x, y}')

# The taskbar's top: the first row, from the bottom up, of the desktop's own colour.
taskbar_top() {
  convert "$run/screen.png" -crop "1x768+$((ox + 400))+$oy" +repage txt:- |
    awk -F'[,:]' 'NR > 1 { c[$2] = $0 } END { bottom = c[767]; sub(/^[^:]*:/, "", bottom)
      for (y = 767; y >= 0; y--) { line = c[y]; sub(/^[^:]*:/, "", line); if (line != bottom) { print y + 1; exit } } }'
}
# The icon: what is not taskbar in the rightmost 120 pixels of the taskbar.
find_icon() {
  grab
  local top
  top=$(taskbar_top)
  [ -n "$top" ] || return 1
  read -r ix iy iw ih < <(convert "$run/screen.png" -crop "120x$((768 - top))+$((ox + 904))+$((oy + top))" +repage \
    -bordercolor white -border 1 -fuzz 5% -trim -format '%X %Y %w %h' info: | tr -d '+')
  [ "${iw:-0}" -ge 8 ] && [ "${iw:-0}" -le 40 ] || return 1
  ix=$((ox + 904 + ix - 1)) iy=$((oy + top + iy - 1))
  cx=$((ix + iw / 2)) cy=$((iy + ih / 2)) taskbar=$top
}
end=$((SECONDS + 20))
until find_icon; do [ $SECONDS -lt $end ] || fail "no tray icon within 20 s"; sleep 0.2; done
# The frame drawn for the system's small-icon size (16 px at 100%, 24 at 150%, 32 at 200%),
# whose globe spans all but the last row and column: not a 16-px frame stretched.
small=$(scaled 16)
[ "$iw" -ge $((small - 2)) ] && [ "$iw" -le "$small" ] ||
  fail "the tray shows a globe ${iw} px wide, not the ${small}-px frame's"
echo "scenario: the tray shows the ${small}-px frame (${iw}x${ih} px of globe)"
# Within 2 s of the icon's arrival the window has gone to the tray, leaving only the icon.
iconAt=$SECONDS
while :; do
  grab
  crop "$run/desk.png" 1024 "$taskbar" "$ox" "$oy"
  [ "$(colours "$run/desk.png")" -le 2 ] && break
  [ $((SECONDS - iconAt)) -le 2 ] || { cp "$run/desk.png" "$shots/tray-start.png"; fail "the main window stays on the desktop"; }
  sleep 0.2
done
echo "scenario: in the tray $((SECONDS - start)) s after the start, Wine's desktop included"
still "$run/empty-still.png"
crop "$run/taskbar.png" 1024 $((768 - taskbar)) "$ox" "$((oy + taskbar))"
# No taskbar button: between the start button and the notification area the bar is empty.
crop "$run/buttons.png" 700 $((768 - taskbar - 8)) $((ox + 150)) $((oy + taskbar + 4))
[ "$(colours "$run/buttons.png")" -le 2 ] || fail "a taskbar button is showing"
convert "$run/taskbar.png" -crop "240x$((768 - taskbar))+784+0" +repage -scale 300% "$shots/tray-area.png"

# The icon animates: 400 ms a frame, so two looks 200 ms apart differ at least once in three.
differ=
for _ in 1 2 3; do
  grab; crop "$run/a.png" "$iw" "$ih" "$ix" "$iy"
  sleep 0.2
  grab; crop "$run/b.png" "$iw" "$ih" "$ix" "$iy"
  if [ "$(compare -metric AE "$run/a.png" "$run/b.png" null: 2>&1 || true)" != 0 ]; then differ=1; break; fi
done
[ -n "$differ" ] || fail "the icon does not animate"

# screen_changed: something other than the icon differs from the desktop with the window in
# the tray; sx sy sw sh is where.
screen_changed() {
  grab; still "$run/now.png"
  sw= sh=
  read -r sx sy sw sh < <(changed_box "$run/now.png") || return 1
  [ "${sw:-0}" -gt 4 ] && [ "${sh:-0}" -gt 4 ]
}
# The tool tip, for people to look at: it names the active profile.
xdotool mousemove "$cx" "$cy"; sleep 0.1; xdotool mousemove $((cx + 1)) "$cy"
end=$((SECONDS + 5))
until screen_changed; do
  [ $SECONDS -lt $end ] || { echo "scenario: no tool tip within 5 s"; break; }
  sleep 0.2
done
crop "$shots/tray-tooltip.png" 320 120 $((ox + 1024 - 320)) $((oy + taskbar - 120))
xdotool mousemove $((ox + 300)) $((oy + 300))
end=$((SECONDS + 10))
while screen_changed; do
  [ $SECONDS -lt $end ] || { cp "$run/now.png" "$shots/tray-tooltip-stays.png"; fail "the tool tip stays"; }
  sleep 0.2
done

# wait_menu <what>: a menu on the screen within 5 s; mx my mw mh is its place on the desktop.
wait_menu() {
  local end=$((SECONDS + 5))
  while :; do
    sleep 0.2; grab; still "$run/menu.png"
    mx= my= mw= mh=
    read -r mx my mw mh < <(changed_box "$run/menu.png") || true
    [ "${mw:-0}" -gt 20 ] && [ "${mh:-0}" -gt 20 ] && return 0
    [ $SECONDS -lt $end ] || { cp "$run/menu.png" "$shots/tray-no-menu.png"; fail "no menu for $1 ($mx $my $mw $mh)"; }
  done
}
# A right click opens the menu; a click outside closes it.
xdotool mousemove "$cx" "$cy" click 3
wait_menu "a right click on the icon"
convert "$run/screen.png" -crop "${mw}x${mh}+$((ox + mx))+$((oy + my))" +repage -scale 200% \
  "$shots/tray-menu.png"
xdotool mousemove $((ox + 200)) $((oy + 200)) click 1
end=$((SECONDS + 5))
until grab && crop "$run/after-menu.png" 1024 "$taskbar" "$ox" "$oy" && [ "$(colours "$run/after-menu.png")" -le 2 ]; do
  [ $SECONDS -lt $end ] || { cp "$run/after-menu.png" "$shots/tray-menu-stays.png"; fail "the menu stays open after a click outside"; }
  sleep 0.2
done

# A double click on the icon brings the window back, in front, at its place; the close box
# hides it again, and the next double click shows it at the same place.
show_window() {
  xdotool mousemove "$cx" "$cy" click --repeat 2 --delay 80 1
  # Away from the icon, so its tool tip goes.
  xdotool mousemove $((ox + 100)) $((oy + 100))
  local end=$((SECONDS + 10))
  while :; do
    sleep 0.5; grab; still "$run/shown.png"
    read -r wx wy ww wh < <(changed_box "$run/shown.png") || true
    [ "${ww:-0}" -gt 300 ] && return 0
    [ $SECONDS -lt $end ] || fail "no window after a double click on the icon"
  done
}
show_window
first="$wx $wy $ww $wh"
cp "$run/shown.png" "$shots/tray-window.png"
# wait_hidden <how>: the desktop is empty again within 5 s.
wait_hidden() {
  local end=$((SECONDS + 5))
  while :; do
    sleep 0.5; grab; crop "$run/hidden.png" 1024 "$taskbar" "$ox" "$oy"
    [ "$(colours "$run/hidden.png")" -le 2 ] && return 0
    [ $SECONDS -lt $end ] || { cp "$run/hidden.png" "$shots/tray-not-hidden.png"; fail "$1 did not hide the window"; }
  done
}
# Alt+F4 after a click on the caption gives the window the keyboard.
xdotool mousemove $((ox + wx + ww / 2)) $((oy + wy + $(scaled 8))) click 1 sleep 0.3
xdotool windowfocus --sync "$id" key alt+F4
wait_hidden Alt+F4
show_window
[ "$wx $wy $ww $wh" = "$first" ] || fail "the window came back at $wx $wy $ww $wh, not $first"
# The close box: the frame's rightmost caption button.
xdotool mousemove $((ox + wx + ww - $(scaled 12))) $((oy + wy + $(scaled 10))) click 1
wait_hidden "the close box"

# "退出", the menu's last item, ends the program with code 0: the icon goes within 2 s.
xdotool mousemove "$cx" "$cy" click 3
wait_menu "退出"
xdotool mousemove $((ox + mx + mw / 2)) $((oy + my + mh - $(scaled 8))) click 1
quit=$SECONDS
until ! find_icon; do
  [ $((SECONDS - quit)) -le 2 ] || fail "the icon is still there 2 s after 退出"
  sleep 0.2
done
while kill -0 "$pid" 2>/dev/null; do
  [ $((SECONDS - quit)) -le 10 ] || fail "the program still runs 10 s after 退出"
  sleep 0.2
done
code=0
wait "$pid" || code=$?
pid=
[ "$code" = 0 ] || fail "退出 ended the program with code $code"
echo "scenario: screenshots in $shots"

#!/usr/bin/env bash
# The About box as the user meets it: on the first run the configuration dialog's "关于(&A)"
# clicked, the link clicked with the real pointer, Enter; opened again, the link unvisited, and
# Alt+F4. Wine's browser launcher names a stand-in that only records the address, so nothing
# reaches the network. Checks the address recorded, the link painted purple once visited, and
# that Config.ini, the Run value and the log stay as they were. Keeps screenshots.
# Runs under scripts/wine-env, at the DPI of SCENARIO_DPI when it is set.
# Usage: about-scenario.sh <Tarnwick.exe> <WindowPosition.exe> <screenshot folder>
set -euo pipefail
exe=$1 winpos=$2 shots=$3
source "$(dirname "$0")/scenario-lib.sh"
scenario_files about
# The browser setting goes into the test's own prefix only, never the user's.
[ -n "${WINEPREFIX:-}" ] && [ "$(realpath -m "$WINEPREFIX")" != "$(realpath -m "$HOME/.wine")" ] ||
  { echo "scenario: WINEPREFIX must name the test's own prefix" >&2; exit 1; }
address='https://tarnwick.example.org/'
browser_key='HKCU\Software\Wine\WineBrowser'
saved_browsers=$(reg_value "$browser_key" Browsers || true)
saved_run=$(reg_value "$run_key" Tarnwick || true)
put_back() {
  if [ -n "$saved_browsers" ]; then
    "$wine" reg add "$browser_key" /v Browsers /d "$saved_browsers" /f >/dev/null 2>&1 || true
  else
    "$wine" reg delete "$browser_key" /v Browsers /f >/dev/null 2>&1 || true
  fi
}
trap end_scenario EXIT
fail() { echo "scenario: $*" >&2; exit 1; }
use_dpi

# Wine's launcher tries the programs its Browsers value names, in turn, until one starts; this
# one alone is named, and it records what it was asked to open.
cat > "$run/browser" <<EOF
#!/bin/sh
printf '%s\n' "\$*" >> '$run/opened'
EOF
chmod +x "$run/browser"
"$wine" reg add "$browser_key" /v Browsers /d "$run/browser" /f >/dev/null 2>&1 ||
  fail "could not name the stand-in browser"

cp "$exe" "$run/Tarnwick.exe"
printf '[NET]\r\nNET=\r\n[A]\r\nName=内网办公\r\n[B]\r\nName=外网\r\n' | iconv -f UTF-8 -t GBK > "$run/Config.ini"
cp "$run/Config.ini" "$run/Config.ini.before"
unexpected_shot=about-unexpected-message.png

(cd "$run" && exec "$wine" Tarnwick.exe --simulate) &
pid=$!
answer_first_run
wait_for 30 "the configuration dialog" window_at 'TarnwickForm' '配置'

# The link: a windowless label at (96, 72) of the box, sized to its text, 13 high.
link_colours() {  # link_colours <picture of the box's client area>: its colours, one a line
  convert "$1" -crop "$(scaled 135)x$(scaled 16)+$(scaled 96)+$(scaled 72)" +repage \
    -format %c histogram:info:- | sed -n 's/.*#\([0-9A-F]\{6\}\).*/\1/p'
}
purple=800080
open_about() {  # open_about <picture>: "关于(&A)" clicked; the box's client area pictured
  local bx by bw bh
  read -r bx by bw bh _ < <(window_at --child 'TarnwickForm' '配置' '关于(&A)') || fail "no 关于(&A)"
  xdotool mousemove $((bx + bw / 2)) $((by + bh / 2)) sleep 0.2 click 1
  wait_for 20 "the About box" window_at 'TarnwickForm' '关于程序'
  read -r ax ay aw ah _ < <(window_at 'TarnwickForm' '关于程序')
  wait_for 5 "the About box painted" painted TarnwickForm '关于程序'
  shot "$1" "$ax" "$ay" "$aw" "$ah"
}
open_about about-unvisited.png
! link_colours "$shots/about-unvisited.png" | grep -qx "$purple" || fail "the link is purple before any click"

# A real click on the link's text.
xdotool mousemove $((ax + $(scaled 96) + $(scaled 40))) $((ay + $(scaled 72) + $(scaled 6))) sleep 0.2 click 1
opened() { [ -s "$run/opened" ]; }
wait_for 20 "the stand-in browser to be started" opened
[ "$(cat "$run/opened")" = "$address" ] || fail "the browser was asked to open '$(cat "$run/opened")', not '$address'"
window_at 'TarnwickForm' '关于程序' >/dev/null || fail "the About box closed on the link's click"
# Painted purple once the shell has opened it; the pointer moved off first, so only the link
# is in the picture.
xdotool mousemove $((ax + aw - 5)) $((ay + ah - 5))
visited() {
  shot about-visited.png "$ax" "$ay" "$aw" "$ah"
  link_colours "$shots/about-visited.png" | grep -qx "$purple"
}
wait_for 10 "the link in its visited colour" visited
# The focus stays on "关闭": the link is no window and takes none.
xdotool key Return
wait_for 20 "Enter to close the About box" no_window 'TarnwickForm' '关于程序'
window_at 'TarnwickForm' '配置' >/dev/null || fail "closing the About box closed the dialog"

# A new box: the link unvisited again.
open_about about-again.png
! link_colours "$shots/about-again.png" | grep -qx "$purple" || fail "the link is purple in a new About box"
xdotool key alt+F4
wait_for 20 "Alt+F4 to close the About box" no_window 'TarnwickForm' '关于程序'
[ "$(grep -c . "$run/opened")" = 1 ] || fail "the browser was started $(grep -c . "$run/opened") times"

# The dialog left with Alt+F4 writes nothing; the About box changed nothing either.
xdotool key alt+F4
wait_for 20 "the configuration dialog to close" no_window 'TarnwickForm' '配置'
wait_for 30 "the main window" window_at 'TarnwickForm' 'Tarnwick - 模拟'
cmp -s "$run/Config.ini.before" "$run/Config.ini" || fail "Config.ini changed"
[ "$(reg_value "$run_key" Tarnwick || true)" = "$saved_run" ] || fail "the Run value changed"
[ ! -s "$run/simulated-network.log" ] || fail "the adapters were called"
echo "scenario: the link opened $address through the stand-in; screenshots in $shots"

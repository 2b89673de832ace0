# Sourced by every scenario. They set exe and shots (the screenshot folder) and call
# scenario_files; when they find the program's windows with WindowPosition.exe they set winpos,
# pid (the program, once started), expected_box (non-empty while a message box is expected) and
# unexpected_shot (the picture's name for a box nobody expected); they define fail, and call
# scenario_cleanup from their exit trap (end_scenario does it).

desktop_key='HKCU\Control Panel\Desktop'
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
reg_value() {  # reg_value <key> <name>: the data, or nothing when there is no such value
  "$wine" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
    awk -v n="$2" '$1 == n { sub(/^[ \t]*[^ \t]+[ \t]+[^ \t]+[ \t]+/, ""); print }'
}

# restore_run_value <data>: the Run value as it was (none when the data is empty).
restore_run_value() {
  if [ -n "$1" ]; then
    "$wine" reg add "$run_key" /v Tarnwick /t REG_SZ /d "$1" /f >/dev/null 2>&1 || true
  else
    "$wine" reg delete "$run_key" /v Tarnwick /f >/dev/null 2>&1 || true
  fi
}

# reg_apply <line>...: the lines of a REGEDIT4 file, applied by one regedit run where each
# change would take a reg command, and a Wine process, of its own.
reg_apply() {
  local file
  file=$(mktemp "${TMPDIR:-/tmp}/tarnwick-reg.XXXXXX")
  printf '%s\r\n' REGEDIT4 "$@" > "$file"
  # Z: is the root of the Linux file system.
  "$wine" regedit /S "Z:${file//\//\\}" >/dev/null 2>&1
  local status=$?
  rm -f "$file"
  return $status
}
hkcu='HKEY_CURRENT_USER\Software\Wine'
# Deleting a key that is not there changes nothing.
no_own_desktop=("[-$hkcu\AppDefaults\Tarnwick.exe]" "[-$hkcu\AppDefaults\WindowPosition.exe]")
# own_desktop <name> [size]: Tarnwick.exe and WindowPosition.exe, started from now on, share a
# virtual desktop of that name, 1024x768 unless the size is given. Its taskbar is laid out at the DPI in force, where
# the prefix's default desktop keeps the one it was started with. scenario_cleanup (or, after a
# scenario that was killed, the next one's use_dpi) takes the setting away.
own_desktop() {
  desktop_name=$1
  reg_apply "[$hkcu\Explorer\Desktops]" "\"$1\"=\"${2:-1024x768}\"" \
    "[$hkcu\AppDefaults\Tarnwick.exe\Explorer]" "\"Desktop\"=\"$1\"" \
    "[$hkcu\AppDefaults\WindowPosition.exe\Explorer]" "\"Desktop\"=\"$1\"" ||
    fail "could not give the programs a desktop of their own"
}
# log_pixels <dpi>: the registry lines that give the prefix that DPI.
log_pixels() { printf '%s\n' '[HKEY_CURRENT_USER\Control Panel\Desktop]' "\"LogPixels\"=dword:$(printf %08x "$1")"; }

# use_dpi: SCENARIO_DPI (each scenario is registered once per DPI) becomes the prefix's
# LogPixels for the programs started from now on; scenario_cleanup gives the prefix its own back,
# since the other tests share it. want_dpi is the DPI the program lays itself out for.
use_dpi() {
  saved_dpi=$(reg_value "$desktop_key" LogPixels || true)
  want_dpi=${SCENARIO_DPI:-$((saved_dpi ? saved_dpi : 96))}
  local lines
  mapfile -t lines < <(log_pixels "$want_dpi")
  reg_apply "${no_own_desktop[@]}" "${lines[@]}" || fail "could not set the prefix's DPI to $want_dpi"
  echo "scenario: at $want_dpi DPI"
}
# scenario_files <name>: the Tarnwick.exe tested (the release build when $TARNWICK_RELEASE_EXE
# names a file), Wine, a run folder of the scenario's own, and the screenshot folder.
scenario_files() {
  if [ -n "${TARNWICK_RELEASE_EXE:-}" ] && [ -f "$TARNWICK_RELEASE_EXE" ]; then
    exe=$TARNWICK_RELEASE_EXE
  fi
  wine=${WINELOADER:?scenario: run under scripts/wine-env, which sets WINELOADER}
  run=$(mktemp -d "${TMPDIR:-/tmp}/tarnwick-$1.XXXXXX")
  mkdir -p "$shots"
}
# The exit trap: scenario_cleanup, then the program ended, what the scenario's own put_back
# function restores (when it defines one), and the run folder removed.
end_scenario() {
  local status=$?
  scenario_cleanup $status
  [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null
  wait 2>/dev/null
  [ "$(type -t put_back)" != function ] || put_back
  rm -rf "$run"
}
# scenario_cleanup <exit status>: first thing in the exit trap, while the program is still up, a
# failed scenario leaves a picture of the whole screen; then the prefix gets its settings back.
scenario_cleanup() {
  if [ "$1" -ne 0 ] && [ -n "${DISPLAY:-}" ]; then
    mkdir -p "$shots"
    import -window root "$shots/failed-$(basename "$0" .sh).png" 2>/dev/null || true
  fi
  local lines=("${no_own_desktop[@]}")
  [ -z "${desktop_name:-}" ] || lines+=("[$hkcu\Explorer\Desktops]" "\"$desktop_name\"=-")
  [ -z "${saved_dpi:-}" ] || mapfile -t -O ${#lines[@]} lines < <(log_pixels $((saved_dpi)))
  reg_apply "${lines[@]}" || true
}

# Where the desktop's (0, 0) is on the X screen: the virtual desktop's window, or the screen.
desktop_origin() {
  local id
  id=$(xdotool search --name "${desktop_name:-Wine desktop}" 2>/dev/null | head -n 1 || true)
  if [ -n "$id" ]; then
    xdotool getwindowgeometry --shell "$id" | awk -F= '/^X=/{x=$2} /^Y=/{y=$2} END{print x, y}'
  else
    echo 0 0
  fi
}
# window_at <class> <title>: a visible window's client area on the X screen and its DPI;
# window_at --child <class> <title> <text>: one of its controls and its check state. Fails when
# there is none.
window_at() {
  local pos ox oy x y w h extra
  pos=$("$wine" "$winpos" "$@" 2>/dev/null | tr -d '\r') && [ -n "$pos" ] || return 1
  read -r ox oy < <(desktop_origin)
  read -r x y w h extra <<< "$pos"
  echo $((x + ox)) $((y + oy)) "$w" "$h" "$extra"
}
no_window() { ! window_at "$@" >/dev/null; }
message_box_text() { "$wine" "$winpos" --text '#32770' 'Tarnwick' 2>/dev/null | tr -d '\r'; }
# wait_for <seconds> <what> <command...>: until the command succeeds, within the limit. Fails
# the scenario at once when the program has ended or shows a message box nobody expects.
expected_box=
wait_for() {
  local limit=$1 what=$2 box
  shift 2
  local end=$((SECONDS + limit))
  until "$@" >/dev/null; do
    kill -0 "$pid" 2>/dev/null || fail "the program ended while waiting for $what"
    if [ -z "$expected_box" ] && box=$(window_at '#32770' 'Tarnwick'); then
      shot "$unexpected_shot" $box
      fail "a message box instead of $what: $(message_box_text)"
    fi
    [ $SECONDS -lt $end ] || fail "no $what within $limit seconds"
    sleep 0.2
  done
}
# log_off_and_wait <main window title> [what]: the session logged off and closed, as Windows
# ends it; the program must agree and end within 20 s. what names the case in a failure.
log_off_and_wait() {
  local end
  "$wine" "$winpos" --end-session TarnwickForm "$1" ||
    fail "the program refused or missed the log-off${2:+ $2}"
  end=$((SECONDS + 20))
  while kill -0 "$pid" 2>/dev/null; do
    [ $SECONDS -lt $end ] || fail "the program did not end within 20 s of the log-off${2:+ $2}"
    sleep 0.2
  done
}
# painted <class> <title>: the visible window has nothing left to paint, even what the input it
# was given last invalidated.
painted() { "$wine" "$winpos" --painted "$1" "$2" 2>/dev/null; }
shot() {  # shot <file> <x> <y> <w> <h>
  import -window root -crop "${4}x${5}+${2}+${3}" +repage "$shots/$1"
}
# A layout length at 96 DPI scaled as the program scales it (rounded to nearest), at the DPI
# the program was started with: another process may be told 96 for a window of this one.
scaled() { echo $((($1 * ${want_dpi:-96} + 48) / 96)); }

# answer_first_run [picture]: the first-run message, checked and kept in the picture when one is
# named, answered with Enter over it.
answer_first_run() {
  local x y w h text
  expected_box=1
  wait_for 60 "the first-run message" window_at '#32770' 'Tarnwick'
  text=$(message_box_text)
  read -r x y w h _ < <(window_at '#32770' 'Tarnwick') || fail "the first-run message closed by itself"
  [ -z "${1:-}" ] || shot "$1" "$x" "$y" "$w" "$h"
  [ "$text" = '初次运行，需要设置您的IP地址！' ] || fail "a message box other than the first-run message: $text"
  xdotool mousemove $((x + w / 2)) $((y + h / 2)) key Return
  wait_for 20 "the first-run message to close" no_window '#32770' 'Tarnwick'
  expected_box=
}

# conf: Config.ini as UTF-8 text without CRs; active_is <A|B>: it records that active profile.
conf() { iconv -f GBK -t UTF-8 "$run/Config.ini" | tr -d '\r'; }
active_is() { conf | grep -qx "NET=$1"; }
# click <x> <y> <w> <h>: a click in the middle of that rectangle.
click() { xdotool mousemove $(($1 + $3 / 2)) $(($2 + $4 / 2)) sleep 0.2 click 1; }

# dialog_shown <picture>: the configuration dialog open and painted, kept in the picture; its
# client area in dx dy dw dh.
dialog_shown() {
  wait_for 30 "the configuration dialog" window_at 'TarnwickForm' '配置'
  wait_for 5 "the dialog painted" painted TarnwickForm '配置'
  read -r dx dy dw dh _ < <(window_at 'TarnwickForm' '配置')
  shot "$1" "$dx" "$dy" "$dw" "$dh"
}

# confirm_wired_first_run <picture>: the first run's dialog on the simulated laptop, on the wired
# adapter with "只切换此网卡" ticked, kept in the picture and confirmed: Adapter=1 is written.
confirm_wired_first_run() {
  local only_box='只切换此网卡' checked x y w h
  dialog_shown "$1"
  window_at --child 'TarnwickForm' '配置' '1: Intel(R) PRO/1000 MT Network Connection' >/dev/null ||
    fail "the wired adapter is not selected"
  read -r _ _ _ _ checked < <(window_at --child 'TarnwickForm' '配置' "$only_box") || fail "no $only_box"
  [ "$checked" = 1 ] || fail "$only_box is not ticked on a first run"
  read -r x y w h _ < <(window_at --child 'TarnwickForm' '配置' '确定') || fail "no 确定"
  click "$x" "$y" "$w" "$h"
  wait_for 20 "the configuration dialog to close" no_window 'TarnwickForm' '配置'
  conf | grep -qx 'Adapter=1' || fail "确定 did not write Adapter=1"
}

# write_profiles <B's lines>: profile A static (10.20.30.41/24, gateway 10.20.30.1, DNS
# 10.20.0.53) and B of those lines, written beside the options the dialog saved (the program
# reads Config.ini again for every switch).
write_profiles() {
  { conf | awk '/^\[/ { s = ($0 == "[NET]") } s && NF'
    printf '%s\n' '[A]' 'Name=内网' 'DHCPEnabled=0' 'IPAddress=10.20.30.41' 'IPSubnet=255.255.255.0' \
      'DefaultIPGateway=10.20.30.1' 'DNSEnabled=0' 'DNSA=10.20.0.53' 'DNSB=' '[B]' 'Name=外网' "$@"
  } | sed 's/$/\r/' | iconv -f UTF-8 -t GBK > "$run/Config.ini.new"
  mv "$run/Config.ini.new" "$run/Config.ini"
}

# fail_showing_files <message>: the scenario fails, showing Config.ini and the simulated log.
fail_showing_files() {
  echo "scenario: $*" >&2
  echo "--- Config.ini" >&2; iconv -f GBK -t UTF-8 "$run/Config.ini" >&2 || true
  echo "--- log" >&2; cat "$run/simulated-network.log" >&2 2>/dev/null || true
  exit 1
}

# answer_box <picture> <what>: the program's message box, kept in the picture, answered with
# Enter (its default button); its text in box_text.
answer_box() {
  local bx by bw bh
  wait_for 60 "$2" window_at '#32770' 'Tarnwick'
  wait_for 5 "$2 painted" painted '#32770' 'Tarnwick'
  read -r bx by bw bh _ < <(window_at '#32770' 'Tarnwick')
  shot "$1" "$bx" "$by" "$bw" "$bh"
  box_text=$(message_box_text)
  echo "scenario: $2 says: $(tr '\n' ' ' <<< "$box_text")"
  xdotool mousemove $((bx + bw / 2)) $((by + bh / 2)) key Return
  wait_for 20 "$2 to close" no_window '#32770' 'Tarnwick'
}

# The simulated installation (its service, its program folder, its Run value) and every running
# Tarnwick gone: the prefix is shared with the other tests.
simulated_install_folder="$WINEPREFIX/drive_c/Program Files/TarnwickSimulation"
simulated_service=TarnwickSimulation
remove_simulated_install() {
  "$wine" sc stop "$simulated_service" >/dev/null 2>&1 || true
  "$wine" sc delete "$simulated_service" >/dev/null 2>&1 || true
  "$wine" taskkill /f /im Tarnwick.exe >/dev/null 2>&1 || true
  "$wine" reg delete "$run_key" /v "$simulated_service" /f >/dev/null 2>&1 || true
  rm -rf "$simulated_install_folder"
}

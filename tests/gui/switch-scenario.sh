#!/usr/bin/env bash
# Starts the real Tarnwick.exe in simulation mode with a GBK Config.ini, double-clicks "×内网"
# with real pointer input, and checks what the program wrote. Keeps screenshots.
# Usage: switch-scenario.sh <Tarnwick.exe> <WindowPosition.exe> <stand-in netsh.exe> <screenshot folder> [B]
# With B, Config.ini selects the netsh engine and the log must show its command lines.
set -euo pipefail
exe=$1 winpos=$2 netsh=$3 shots=$4 method=${5:-}
wine=/usr/lib/wine/wine64
run=$(mktemp -d "${TMPDIR:-/tmp}/tarnwick-gui.XXXXXX")
mkdir -p "$shots"
cleanup() { [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null; wait 2>/dev/null; rm -rf "$run"; }
trap cleanup EXIT

cp "$exe" "$run/Tarnwick.exe"
cp "$netsh" "$run/simulated-netsh.exe"
printf '[NET]\r\nNET=\r\nMethod=%s\r\nAutoSwitch=1\r\n[A]\r\nName=内网办公\r\nDHCPEnabled=0\r\nIPAddress=10.20.30.41\r\nIPSubnet=255.255.255.0\r\nDefaultIPGateway=10.20.30.1\r\nDNSEnabled=0\r\nDNSA=10.20.0.53\r\nDNSB=\r\n[B]\r\nName=外网\r\nDHCPEnabled=1\r\nDNSEnabled=1\r\n' "$method" |
  iconv -f UTF-8 -t GBK > "$run/Config.ini"

# Where the desktop's (0, 0) is on the X screen: the virtual desktop's window, or the screen.
desktop_origin() {
  local id
  id=$(xdotool search --name 'Wine desktop' 2>/dev/null | head -n 1 || true)
  if [ -n "$id" ]; then
    xdotool getwindowgeometry --shell "$id" | awk -F= '/^X=/{x=$2} /^Y=/{y=$2} END{print x, y}'
  else
    echo 0 0
  fi
}
# Waits for a window; prints its client area on the X screen.
find_window() {
  local cls=$1 title=$2 pos
  for _ in $(seq 100); do
    if pos=$("$wine" "$winpos" "$cls" "$title" 2>/dev/null | tr -d "\r") && [ -n "$pos" ]; then
      read -r ox oy < <(desktop_origin)
      read -r x y w h <<< "$pos"
      echo $((x + ox)) $((y + oy)) "$w" "$h"
      return 0
    fi
    sleep 0.2
  done
  echo "scenario: no window '$title' ($cls)" >&2
  return 1
}
shot() {  # shot <file> <x> <y> <w> <h>
  import -window root -crop "${4}x${5}+${2}+${3}" +repage "$shots/$1"
}

# Slow enough for a picture of the progress window, with either engine.
export TARNWICK_FAKE_NETSH_DELAY_MS=800
(cd "$run" && exec "$wine" Tarnwick.exe --simulate --simulate-delay=1500) &
pid=$!

# First run: the program asks for the settings, then the main window shows.
read -r x y w h < <(find_window '#32770' 'Tarnwick')
shot "${method}first-run-message.png" "$x" "$y" "$w" "$h"
xdotool mousemove $((x + w / 2)) $((y + h - 20)) sleep 0.2 key Return
read -r x y w h < <(find_window 'TarnwickForm' 'Tarnwick')
sleep 1
shot "${method}main-before.png" "$x" "$y" "$w" "$h"

# A real double click on "×内网" (143, 85, 113 x 39 at 96 DPI).
xdotool mousemove $((x + 143 + 56)) $((y + 85 + 19)) sleep 0.3 click --repeat 2 --delay 80 1
read -r px py pw ph < <(find_window 'TarnwickForm' 'FmProgress')
sleep 0.5
shot "${method}progress.png" "$px" "$py" "$pw" "$ph"

for _ in $(seq 100); do
  grep -q 'NET=A' "$run/Config.ini" && break
  sleep 0.2
done
xdotool mousemove $((x + 10)) $((y + 200))
sleep 1
shot "${method}main-after.png" "$x" "$y" "$w" "$h"

status=0
tr -d '\r' < "$run/Config.ini" | grep -qx 'NET=A' || { echo "scenario: Config.ini does not record profile A" >&2; status=1; }
log=$run/simulated-network.log
if [ "$method" = B ]; then
  expected_lines=('netsh interface ip set address "本地连接" static 10.20.30.41 255.255.255.0 10.20.30.1 1'
                  'netsh interface ip set dns "本地连接" static 10.20.0.53')
else
  expected_lines=('EnableStatic({10.20.30.41}, {255.255.255.0}) = 0' 'SetGateways({10.20.30.1}) = 0'
                  'SetDNSServerSearchOrder({10.20.0.53}) = 0')
fi
for expected in "${expected_lines[@]}"; do
  grep -qF "$expected" "$log" 2>/dev/null || { echo "scenario: the log lacks '$expected'" >&2; status=1; }
done
[ $status -eq 0 ] || { echo "--- Config.ini"; iconv -f GBK -t UTF-8 "$run/Config.ini"; echo "--- log"; cat "$log" 2>/dev/null; }
# Config.ini keeps the names in GBK.
iconv -f GBK -t UTF-8 "$run/Config.ini" | grep -q 'Name=内网办公' || { echo "scenario: the GBK names changed" >&2; status=1; }
echo "scenario: screenshots in $shots"
exit $status

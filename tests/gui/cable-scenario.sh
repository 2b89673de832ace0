#!/usr/bin/env bash
# Starts a configured Tarnwick.exe in simulation mode inside Wine's virtual desktop, gone to
# the tray, and moves its simulated cable with --simulate-cable as a person would: a plug
# without an unplug changes nothing; an unplug and a plug switch to profile B, which the
# simulated adapter receives, and the balloon says so. Keeps a screenshot of the balloon.
# Runs under scripts/wine-env.
# Usage: cable-scenario.sh <Tarnwick.exe> <screenshot folder>
set -euo pipefail
exe=$1 shots=$2
wine=${WINELOADER:?scenario: run under scripts/wine-env, which sets WINELOADER}
run=$(mktemp -d "${TMPDIR:-/tmp}/tarnwick-cable.XXXXXX")
desktop=TarnwickCable$$
mkdir -p "$shots"
# The program hides on close: it is ended by force, and its desktop goes with it.
cleanup() {
  "$wine" taskkill /f /im Tarnwick.exe >/dev/null 2>&1 || true
  [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$run"
}
trap cleanup EXIT
fail() { echo "scenario: $*" >&2; exit 1; }

cp "$exe" "$run/Tarnwick.exe"
printf '[NET]\r\nNET=A\r\nAutoSwitch=1\r\n[A]\r\nName=内网办公\r\nDHCPEnabled=1\r\nDNSEnabled=1\r\n[B]\r\nName=外网\r\nIPAddress=10.1.2.3\r\nSubnetMask=255.255.255.0\r\nDNSEnabled=1\r\n' |
  iconv -f UTF-8 -t GBK > "$run/Config.ini"
active() { tr -d '\r' < "$run/Config.ini" | awk -F= '/^\[NET\]/{s=1;next} /^\[/{s=0} s && $1=="NET"{print $2}'; }
cable() { (cd "$run" && "$wine" Tarnwick.exe "--simulate-cable=$1"); }

(cd "$run" && exec "$wine" explorer "/desktop=$desktop,1024x768" Tarnwick.exe --simulate) >/dev/null 2>&1 &
pid=$!
# Ready when its cable can be moved. This first plug comes without an unplug: nothing changes.
end=$((SECONDS + 30))
until cable plug 2>/dev/null; do [ $SECONDS -lt $end ] || fail "no simulated instance"; sleep 0.5; done
sleep 2
[ "$(active)" = A ] || fail "a plug without an unplug switched to $(active)"
[ ! -s "$run/simulated-network.log" ] || fail "a plug without an unplug reached the adapter"

cable unplug
sleep 0.5
cable plug
end=$((SECONDS + 10))
until [ "$(active)" = B ]; do [ $SECONDS -lt $end ] || fail "NET stays $(active) after unplug and plug"; sleep 0.2; done
grep -q "^adapter 1 EnableStatic" "$run/simulated-network.log" || fail "adapter 1 did not receive profile B"
# The balloon comes once the progress window has gone.
sleep 3
import -window root "$shots/cable-balloon.png"
echo "scenario: NET=B after unplug and plug; screenshot in $shots/cable-balloon.png"

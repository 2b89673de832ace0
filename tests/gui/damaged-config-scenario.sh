#!/usr/bin/env bash
# Starts the real Tarnwick.exe in simulation mode over the worst of the damaged Config.ini files
# (binary bytes, NUL bytes, UTF-16, several megabytes): each start must show no message box,
# stay up, end when the session is logged off and closed, and leave Config.ini as it was.
# Runs under scripts/wine-env, at the DPI of SCENARIO_DPI when it is set.
# Usage: damaged-config-scenario.sh <Tarnwick.exe> <WindowPosition.exe> <screenshot folder>
#        <corpus folder>
set -euo pipefail
exe=$1 winpos=$2 shots=$3 corpus=$4
source "$(dirname "$0")/scenario-lib.sh"
scenario_files damaged
trap end_scenario EXIT
fail() { echo "scenario: $*" >&2; exit 1; }
unexpected_shot=damaged-config-message.png
use_dpi
cp "$exe" "$run/Tarnwick.exe"

# Several megabytes of sections nobody reads around a working file.
{
  printf '[NET]\r\nNET=B\r\n'
  for i in $(seq 20000); do printf '[Filler%d]\r\nKey=%0200d\r\n' "$i" 0; done
  printf '[A]\r\nName=A\r\nDHCPEnabled=1\r\n[B]\r\nName=B\r\nDHCPEnabled=1\r\n'
} > "$run/huge.ini"

for name in binary-bytes.ini nul-bytes.ini utf16le-bom.ini huge.ini; do
  source_file=$corpus/$name
  [ "$name" = huge.ini ] && source_file=$run/huge.ini
  cp "$source_file" "$run/Config.ini"
  echo "scenario: starting with $name"
  (cd "$run" && exec "$wine" Tarnwick.exe --simulate) &
  pid=$!
  # A configured start goes to the tray at once; the window exists, hidden.
  wait_for 60 "the program's window" "$wine" "$winpos" --exists TarnwickForm 'Tarnwick - 模拟'
  started=$SECONDS
  while [ $((SECONDS - started)) -lt 3 ]; do
    kill -0 "$pid" 2>/dev/null || fail "the program ended by itself with $name"
    if box=$(window_at '#32770' 'Tarnwick'); then
      shot "$unexpected_shot" $box
      fail "a message box with $name: $(message_box_text)"
    fi
    sleep 0.2
  done
  cmp -s "$source_file" "$run/Config.ini" || fail "Config.ini rewritten at start with $name"
  log_off_and_wait 'Tarnwick - 模拟' "with $name"
  wait "$pid" || fail "the program ended with code $? with $name"
  pid=
  cmp -s "$source_file" "$run/Config.ini" || fail "Config.ini rewritten with $name"
done
echo "scenario: every damaged Config.ini started, stayed up and ended, unchanged"

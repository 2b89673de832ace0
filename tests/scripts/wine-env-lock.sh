#!/usr/bin/env bash
# The Wine prefix lock of scripts/wine-env: of runs that start together exactly one gets the
# prefix, also when they find a lock left behind by a killed run, and a live run's lock is kept.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/tarnwick-lock.XXXXXX")
trap 'rm -rf "$work"' EXIT
status=0
fail() {
  echo "wine-env lock: $*" >&2
  status=1
}

# contend <lock> <n>: n shells try at the same moment; a winner holds the lock for a while.
contend() {
  local lock=$1 n=$2
  rm -f "$work"/won.*
  for _ in $(seq "$n"); do
    bash -c 'source "$1/scripts/wine-env"
             while [ ! -e "$2/go" ]; do sleep 0.01; done
             if wine_env_take_lock "$3"; then touch "$2/won.$$"; sleep 1; wine_env_drop_lock "$3"; fi' \
      _ "$here" "$work" "$lock" &
  done
  sleep 0.5
  touch "$work/go"
  wait
  rm -f "$work/go"
  find "$work" -maxdepth 1 -name "won.*" | wc -l
}

for round in 1 2 3; do
  winners=$(contend "$work/free.lock" 8)
  [ "$winners" = 1 ] || fail "round $round on a free prefix: $winners runs got it"
done
[ ! -e "$work/free.lock" ] || fail "the lock stays after its run dropped it"

# A killed run's lock: its pid no longer runs.
bash -c 'exit 0' &
dead=$!
wait "$dead"
for round in 1 2 3; do
  mkdir -p "$work/stale.lock"
  echo "$dead" > "$work/stale.lock/pid"
  winners=$(contend "$work/stale.lock" 8)
  [ "$winners" = 1 ] || fail "round $round on a stale lock: $winners runs got it"
done

# A live run's lock is neither taken nor removed, and its owner is named.
mkdir -p "$work/live.lock"
echo $$ > "$work/live.lock/pid"
if (source "$here/scripts/wine-env" && wine_env_take_lock "$work/live.lock"); then
  fail "a live run's lock was taken"
fi
[ "$(cat "$work/live.lock/pid" 2>/dev/null)" = $$ ] || fail "a live run's lock was changed"
owner=$(source "$here/scripts/wine-env" && { wine_env_take_lock "$work/live.lock" || true; } && echo "$wine_env_lock_owner")
[ "$owner" = $$ ] || fail "the owner of a live lock is reported as '$owner'"
[ -z "$(find "$work" -maxdepth 1 -type d -name "live.lock.*")" ] || fail "a refused run leaves a folder behind"

[ $status -ne 0 ] || echo "wine-env lock: ok"
exit $status

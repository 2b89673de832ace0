# Sourced by the scenarios that find the program's windows with WindowPosition.exe. They set
# wine, winpos (WindowPosition.exe), shots (the screenshot folder), pid (the program, once
# started), expected_box (non-empty while a message box is expected) and unexpected_shot (the
# picture's name for a box nobody expected), and define fail.

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
shot() {  # shot <file> <x> <y> <w> <h>
  import -window root -crop "${4}x${5}+${2}+${3}" +repage "$shots/$1"
}
# A layout length at 96 DPI scaled as the program scales it (rounded to nearest); dpi is the
# window's, as window_at gave it.
scaled() { echo $((($1 * dpi + 48) / 96)); }

# Sourced by the scenarios: where the program's windows are on the X screen. Needs $wine and
# $winpos (the WindowPosition tool).

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

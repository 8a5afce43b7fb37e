# Sourced by the bench scripts: a private X server, a program's window, and demo1 loaded
# and played the way a user does it.

# Starts Xvfb on a free display, its screen ${1:-1024x768}; sets xvfb_pid and DISPLAY.
# -noreset: a server that resets when its last client leaves refuses a program that
# connects at that moment.
start_xvfb() {
  exec 3< <(Xvfb -displayfd 1 -screen 0 "${1:-1024x768}x24" -nolisten tcp -noreset 2>/dev/null & echo "pid $!"; wait)
  read -r _ xvfb_pid <&3
  read -r display <&3
  export DISPLAY=":$display"
}

# Prints the window of process $1 once it has one; nothing after 20 s. A program that
# does not name its process on its window is found by its window class $2.
window_of() {
  local window=""
  for _ in $(seq 200); do
    if [ -n "${2:-}" ]; then
      window=$(xdotool search --classname "$2" 2>/dev/null | head -n 1 || true)
    else
      window=$(xdotool search --pid "$1" 2>/dev/null | head -n 1 || true)
    fi
    [ -n "$window" ] && break
    sleep 0.1
  done
  echo "$window"
}

# In the tracker's window $1 (at zoom $2, default 1): the name box, the name, Enter,
# LOAD, then F1: demo1 plays in a loop.
play_demo() {
  local z=${2:-1}
  xdotool mousemove --window "$1" $((100 * z)) $((450 * z)) click 1; sleep 0.2
  for c in d e m o 1; do xdotool type "$c"; sleep 0.08; done
  xdotool key Return; sleep 0.2
  xdotool mousemove --window "$1" $((414 * z)) $((450 * z)) click 1; sleep 0.3
  xdotool mousemove --window "$1" $((630 * z)) $((470 * z)); sleep 0.1
  xdotool key F1; sleep 0.5
}

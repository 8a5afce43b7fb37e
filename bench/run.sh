#!/usr/bin/env bash
# bench/run.sh [BUILD]: the costs of the tracker beside a bare window, side by side in
# one run on a private X server (make bench). No thresholds: it prints figures and
# ratios against the goals.
#   idle:     CPU share and peak memory of build/tamo in Standby over BENCH_SECONDS
#             (default 20) beside bare-window (640 x 475, clear and swap at 50 Hz)
#   playing:  the same while demo1 plays in a loop
#   start-up: launch to the first frame on screen (median of 5) beside bare-window
#   render:   tamo-render's speed on the demo songs, and the player's render bench
# Sound goes to OpenAL Soft's null output, which mixes in real time like a device.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${BENCH_SECONDS:-20}
hz=$(getconf CLK_TCK)

for tool in Xvfb xdotool; do
  command -v $tool >/dev/null || { echo "bench: $tool is missing (make deps-test)"; exit 1; }
done
for program in "$build/tamo" "$build/bench/barewindow/bare-window" \
               "$build/bench/firstframe/tamo-firstframe"; do
  [ -x "$program" ] || { echo "bench: $program is missing (make build-all)"; exit 1; }
done

work=$(mktemp -d /tmp/tamo-bench-XXXXXX)
xvfb_pid=""
cleanup() {
  for pid in $(jobs -p); do kill "$pid" 2>/dev/null || true; done
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A private X server; it writes its display number to the pipe.
exec 3< <(Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp 2>/dev/null & echo "pid $!"; wait)
read -r _ xvfb_pid <&3
read -r display <&3
export DISPLAY=":$display"
export ALSOFT_DRIVERS=null
unset ALSOFT_CONF

# A private copy of the program and its data, so the user's songs stay untouched.
cp "$build/tamo" "$work/tamo"
cp -r "$root/data" "$work/data"
cp "$build/bench/barewindow/bare-window" "$work/bare-window"

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
peak_kib() { awk '/VmHWM/ {print $2}' "/proc/$1/status"; }

# Starts a program in $work, waits for its window; sets $pid and $window.
launch() {
  (cd "$work" && exec "$@" </dev/null >/dev/null 2>&1) &
  pid=$!
  window=""
  for _ in $(seq 100); do
    window=$(xdotool search --pid "$pid" 2>/dev/null | head -n 1 || true)
    [ -n "$window" ] && break
    sleep 0.1
  done
  [ -n "$window" ] || { echo "bench: no window from $1"; exit 1; }
  sleep 2   # settle: start-up work is not idle cost
}

# Prints "CPU-share peak-KiB" of $pid over $seconds.
measure() {
  local t0 t1
  t0=$(cpu_ticks "$pid")
  sleep "$seconds"
  t1=$(cpu_ticks "$pid")
  echo "$(awk -v d=$((t1 - t0)) -v hz="$hz" -v s="$seconds" 'BEGIN {printf "%.4f", d / hz / s}') $(peak_kib "$pid")"
}

stop() { kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; }

# Types into the tracker like a user: name box, the name, Enter, LOAD, then F1.
play_demo() {
  xdotool mousemove --window "$window" 100 450 click 1; sleep 0.2
  for c in d e m o 1; do xdotool type "$c"; sleep 0.08; done
  xdotool key Return; sleep 0.2
  xdotool mousemove --window "$window" 414 450 click 1; sleep 0.3
  xdotool mousemove --window "$window" 630 470; sleep 0.1
  xdotool key F1; sleep 0.5
}

echo "Tamo Tracker bench, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, ${seconds} s per measurement"
echo

launch ./bare-window
read -r bare_cpu bare_kib <<<"$(measure)"
stop
launch ./tamo
read -r idle_cpu idle_kib <<<"$(measure)"
stop
launch ./tamo
play_demo
read -r play_cpu play_kib <<<"$(measure)"
stop

report() {  # name cpu kib
  awk -v n="$1" -v c="$2" -v k="$3" -v bc="$bare_cpu" -v bk="$bare_kib" 'BEGIN {
    ratio = bc > 0 ? c / bc : 0
    printf "%-22s CPU %5.1f %%  (%.2f x bare, goal <= 1.5)   peak memory %6.1f MiB  (bare + %.1f MiB, goal <= +16)\n",
           n, c * 100, ratio, k / 1024, (k - bk) / 1024 }'
}
awk -v c="$bare_cpu" -v k="$bare_kib" 'BEGIN {
  printf "%-22s CPU %5.1f %%                               peak memory %6.1f MiB\n", "bare window", c * 100, k / 1024 }'
report "tamo, Standby" "$idle_cpu" "$idle_kib"
report "tamo, playing demo1" "$play_cpu" "$play_kib"
echo

median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
startup() {  # program -> median ms of 5 launches
  for _ in 1 2 3 4 5; do
    (cd "$work" && "$build/bench/firstframe/tamo-firstframe" 635 470 86 60 106 "$1" 2>/dev/null) | awk '{print $1}'
  done | median
}
bare_ms=$(startup ./bare-window)
tamo_ms=$(startup ./tamo)
awk -v b="$bare_ms" -v t="$tamo_ms" 'BEGIN {
  printf "start-up to first frame: bare window %.1f ms, tamo %.1f ms (+%.1f ms, goal <= +50)\n", b, t, t - b }'
echo

echo "render speed (tamo-render, demo songs):"
for song in "$root"/data/songs/demo*; do
  "$build/tamo-render" "$song" "$work/render.wav" 2>&1 | sed 's/^/  /'
done
if [ -x "$build/bench/render/tamo-bench-render" ]; then
  echo
  "$build/bench/render/tamo-bench-render"
fi

#!/usr/bin/env bash
# bench/run.sh [BUILD]: the costs of the tracker beside a bare window, side by side in
# one run on a private X server (make bench). No thresholds: it prints figures and
# ratios beside their goals; every figure is a median over BENCH_RUNS rounds (default
# 3), each round measuring the programs one after another.
#   idle:     CPU of build/tamo in Standby plus the X server's CPU, over BENCH_SECONDS
#             (default 20), beside bare-window (640 x 475, clear and swap at 50 Hz)
#   playing:  the same while demo1 plays in a loop
#   memory:   peak resident memory, anonymous memory (smaps_rollup) in Standby, and
#             the program's own heap after start (its C++ allocations, counted by a
#             preloaded allocator; the bare window has none of its own)
#   start-up: launch to the first complete frame on screen, the programs launched in turn
#             so that a change in the machine's load falls on each (median of
#             BENCH_LAUNCHES rounds, default 11)
#   latency:  a note key in Standby to the first mixed sample of its note, through
#             OpenAL Soft's wave writer (bench/latency), with the tracker's own period
#             and with OpenAL Soft's default one; on a real device the periods queued
#             ahead of it are added
#   render:   tamo-render's speed on the demo songs, and the player's render bench
# BENCH_BEFORE=path/to/an/older/tamo measures that program beside the current one.
# Sound goes to OpenAL Soft's null output, which mixes in real time like a device.
set -euo pipefail
source "$(dirname "$0")/x11.sh"
build=$(cd "${1:-build}" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${BENCH_SECONDS:-20}
runs=${BENCH_RUNS:-3}
before=${BENCH_BEFORE:-}
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
start_xvfb
export ALSOFT_DRIVERS=null
unset ALSOFT_CONF

# A private copy of the program and its data, so the user's songs stay untouched.
cp "$build/tamo" "$work/tamo"
cp -r "$root/data" "$work/data"
cp "$build/bench/barewindow/bare-window" "$work/bare-window"
[ -n "$before" ] && cp "$before" "$work/tamo-before"

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
peak_kib() { awk '/VmHWM/ {print $2}' "/proc/$1/status"; }
anon_kib() { awk '/^Anonymous:/ {print $2}' "/proc/$1/smaps_rollup"; }
heap_counter=$build/bench/heap/libtamo-heapcount.so
preload=""

# Starts a program in $work, waits for its window; sets $pid and $window.
# $config is the settings folder it sees (XDG_CONFIG_HOME).
config=$work/config
launch() {
  (cd "$work" && exec env ${preload:+LD_PRELOAD=$preload} TAMO_HEAP_REPORT="$work/heap.txt" \
     XDG_CONFIG_HOME="$config" \
     "$@" </dev/null >"$work/launch.out" 2>&1) &
  pid=$!
  window=$(window_of "$pid")
  if [ -z "$window" ]; then
    if kill -0 "$pid" 2>/dev/null; then state="still running"
    else wait "$pid" && state="ended, status 0" || state="ended, status $?"; fi
    echo "bench: no window from $1 in 20 s ($state); what it printed:"
    sed 's/^/  /' "$work/launch.out"
    exit 1
  fi
  sleep 2   # settle: start-up work is not idle cost
}

# Prints "program-CPU X-CPU peak-KiB anonymous-KiB" of $pid over $seconds.
measure() {
  local t0 x0 t1 x1
  t0=$(cpu_ticks "$pid"); x0=$(cpu_ticks "$xvfb_pid")
  sleep "$seconds"
  t1=$(cpu_ticks "$pid"); x1=$(cpu_ticks "$xvfb_pid")
  awk -v d=$((t1 - t0)) -v x=$((x1 - x0)) -v hz="$hz" -v s="$seconds" \
    'BEGIN {printf "%.4f %.4f ", d / hz / s, x / hz / s}'
  echo "$(peak_kib "$pid") $(anon_kib "$pid")"
}

# The program's own heap now, in KiB (needs the heap counter preloaded).
own_heap_kib() {
  rm -f "$work/heap.txt"
  kill -USR1 "$pid"
  for _ in $(seq 50); do [ -s "$work/heap.txt" ] && break; sleep 0.02; done
  awk '{printf "%.1f", $1 / 1024}' "$work/heap.txt" 2>/dev/null || echo "-"
}

stop() { kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; }

median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
results=$work/results.txt
: >"$results"
record() { echo "$1 $2" >>"$results"; }          # name value
med() { awk -v n="$1" '$1 == n {print $2}' "$results" | median; }

echo "Tamo Tracker bench, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)," \
     "$runs rounds of ${seconds} s per measurement"
echo

programs="tamo"
[ -n "$before" ] && programs="tamo tamo-before"
for round in $(seq "$runs"); do
  launch ./bare-window
  read -r c x k a <<<"$(measure)"
  record bare.cpu "$c"; record bare.x "$x"; record bare.kib "$k"; record bare.anon "$a"
  stop
  for p in $programs; do
    launch "./$p"
    read -r c x k a <<<"$(measure)"
    record "$p.cpu" "$c"; record "$p.x" "$x"; record "$p.kib" "$k"; record "$p.anon" "$a"
    stop
    launch "./$p"
    play_demo "$window"
    read -r c x k a <<<"$(measure)"
    record "$p.play.cpu" "$c"; record "$p.play.x" "$x"
    stop
  done
done
if [ -f "$heap_counter" ]; then
  preload=$heap_counter
  for p in $programs; do
    for _ in 1 2 3; do launch "./$p"; record "$p.heap" "$(own_heap_kib)"; stop; done
  done
  preload=""
fi

cpu_line() {  # label name goal [bare window to compare with]
  local b=${4:-bare}
  awk -v l="$1" -v c="$(med "$2.cpu")" -v x="$(med "$2.x")" -v g="$3" \
      -v bc="$(med "$b.cpu")" -v bx="$(med "$b.x")" 'BEGIN {
    sum = c + x; bare = bc + bx
    printf "  %-22s %5.1f %% + X %5.1f %% = %5.1f %%", l, c * 100, x * 100, sum * 100
    if (g != "") printf "   (%.2f x bare, goal <= %s)", (bare > 0 ? sum / bare : 0), g
    printf "\n" }'
}
echo "CPU, the program plus the X server:"
cpu_line "bare window" bare ""
cpu_line "tamo, Standby" tamo 1.0
[ -n "$before" ] && cpu_line "before, Standby" tamo-before 1.0
cpu_line "tamo, playing demo1" tamo.play 1.5
[ -n "$before" ] && cpu_line "before, playing demo1" tamo-before.play 1.5
echo

mem_line() {  # label name
  awk -v l="$1" -v k="$(med "$2.kib")" -v a="$(med "$2.anon")" -v bk="$(med bare.kib)" \
      -v ba="$(med bare.anon)" -v n="$2" 'BEGIN {
    printf "  %-22s peak %6.1f MiB", l, k / 1024
    if (n != "bare") printf " (bare + %4.1f)", (k - bk) / 1024; else printf "              "
    printf "   anonymous %5.1f MiB", a / 1024
    if (n != "bare") printf " (bare + %4.1f, goal <= +11)", (a - ba) / 1024
    printf "\n" }'
}
echo "Memory in Standby:"
mem_line "bare window" bare
mem_line "tamo" tamo
[ -n "$before" ] && mem_line "before" tamo-before
printf "  own heap after start: tamo %s KiB (goal < 500 KiB; the bare window has none of its own)" "$(med tamo.heap)"
[ -n "$before" ] && printf ", before %s KiB" "$(med tamo-before.heap)"
echo
echo

first_frame_ms() {  # program -> ms, nothing on a timeout
  (cd "$work" && XDG_CONFIG_HOME="$work/config" "$build/bench/firstframe/tamo-firstframe" 635 470 86 60 106 "$1" 2>/dev/null) |
    awk '$2 == "ms" {print $1}' || true
}
for _ in $(seq "${BENCH_LAUNCHES:-11}"); do
  for p in bare-window $programs; do
    ms=$(first_frame_ms "./$p")
    [ -n "$ms" ] && record "$p.start" "$ms"
  done
done
bare_ms=$(med bare-window.start)
tamo_ms=$(med tamo.start)
printf "Launch to the first complete frame: bare window %.1f ms, tamo %.1f ms (+%.1f ms, goal <= +20)" \
  "$bare_ms" "$tamo_ms" "$(awk -v b="$bare_ms" -v t="$tamo_ms" 'BEGIN {print t - b}')"
if [ -n "$before" ]; then
  before_ms=$(med tamo-before.start)
  printf ", before %.1f ms (+%.1f)" "$before_ms" "$(awk -v b="$bare_ms" -v t="$before_ms" 'BEGIN {print t - b}')"
fi
echo
echo

# Key to sound: the user's configuration names the wave writer; once it says nothing
# about the period (the tracker's own applies), once it sets OpenAL Soft's defaults.
latency() {  # program period-lines -> "median min max n"
  local home=$work/home
  rm -rf "$home"; mkdir -p "$home"
  printf '[general]\ndrivers = wave\nfrequency = 44100\nchannels = stereo\nsample-type = int16\n%s[wave]\nfile = %s\n' \
    "$2" "$work/sound.wav" >"$home/.alsoftrc"
  (cd "$work" && env -u ALSOFT_CONF -u ALSOFT_DRIVERS -u XDG_CONFIG_HOME HOME="$home" XDG_CONFIG_DIRS="$home" \
     "$build/bench/latency/tamo-latency" measure 27 "$3" "$work/sound.wav" "$1" 2>/dev/null) || echo "- - - 0"
}
if [ -x "$build/bench/latency/tamo-latency" ]; then
  read -r own_frames rate <<<"$(cd "$work" && env -u ALSOFT_CONF HOME="$work/nohome" XDG_CONFIG_DIRS="$work/nohome" \
     "$build/bench/latency/tamo-latency" period "$work/data" 2>/dev/null)"
  own_periods=$(awk -F= '/^ *periods *=/ {gsub(/ /, "", $2); print $2}' "$work/data/alsoft.conf")
  read -r own_med own_min own_max own_n <<<"$(latency ./tamo "" "$own_frames")"
  read -r def_med def_min def_max def_n <<<"$(latency ./tamo $'period_size = 1024\nperiods = 3\n' 1024)"
  echo "Key to sound (a note key in Standby to its first mixed sample, $own_n and $def_n presses):"
  awk -v m="$own_med" -v lo="$own_min" -v hi="$own_max" -v f="$own_frames" -v p="$own_periods" -v r="$rate" 'BEGIN {
    q = (p - 1) * f / r * 1000
    printf "  tracker'"'"'s own period %d x %d: wave writer %.1f ms (%.1f..%.1f), real device + %.1f ms queued = %.1f ms (goal <= 30)\n",
           f, p, m, lo, hi, q, m + q }'
  awk -v m="$def_med" -v lo="$def_min" -v hi="$def_max" -v r="$rate" 'BEGIN {
    q = 2 * 1024 / r * 1000
    printf "  OpenAL Soft default 1024 x 3: wave writer %.1f ms (%.1f..%.1f), real device + %.1f ms queued = %.1f ms\n",
           m, lo, hi, q, m + q }'
  if [ -n "$before" ]; then
    read -r b_med b_min b_max b_n <<<"$(latency ./tamo-before "" 1024)"
    echo "  before (its default period): wave writer $b_med ms ($b_min..$b_max)"
  fi
  echo
fi

echo "render speed (tamo-render, demo songs):"
for song in "$root"/data/songs/demo*; do
  "$build/tamo-render" "$song" "$work/render.wav" 2>&1 | sed 's/^/  /'
done
if [ -x "$build/bench/render/tamo-bench-render" ]; then
  echo
  "$build/bench/render/tamo-bench-render"
fi

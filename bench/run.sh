#!/usr/bin/env bash
# bench/run.sh [BUILD]: the costs of the tracker beside a bare window, side by side in
# one run on a private X server (make bench). No thresholds: it prints figures and
# ratios beside their goals; every figure is a median over BENCH_RUNS rounds (default
# 3), each round measuring the programs one after another.
#   idle:     CPU of build/tamo in Standby plus the X server's CPU, over BENCH_SECONDS
#             (default 20), beside bare-window (640 x 475, clear and swap at 50 Hz) and,
#             when it is installed, the peer tracker MilkyTracker at rest (with SDL's
#             dummy sound; as root the bench installs it from Debian for itself);
#             with the wake-ups a second of the main thread and of all threads
#   playing:  the same while demo1 plays in a loop
#   looping:  the same while Enter loops demo1's first pattern and a note is typed into
#             it every second (live play), beside playing
#   zoom:     Standby and playing at 2x and 3x (the settings file says ZOOM), beside
#             the bare window of the same size, on a server of its own with room for 3x
#   memory:   peak resident memory, anonymous memory (smaps_rollup) in Standby, and
#             the program's own heap after start (its C++ allocations, counted by a
#             preloaded allocator; the bare window has none of its own)
#   start-up: launch to the first complete frame on screen, the programs launched in turn
#             so that a change in the machine's load falls on each (median of
#             BENCH_LAUNCHES rounds, default 11)
#   latency:  a note key in Standby to the first mixed sample of its note, through
#             OpenAL Soft's wave writer (bench/latency), with the tracker's own period
#             and with OpenAL Soft's default one; on a real device the periods queued
#             ahead of it are added. Also for notes typed after a rest long enough for
#             the sound device to have paused, and for the first note after start.
#   render:   tamo-render's speed on the demo songs, and the player's render bench
# BENCH_BEFORE=path/to/an/older/tamo measures that program beside the current one;
# BENCH_PARTS="cpu zoom start latency render" (the default: all) picks parts (cpu includes
# memory).
# Sound goes to OpenAL Soft's null output, which mixes in real time like a device.
set -euo pipefail
source "$(dirname "$0")/x11.sh"
build=$(cd "${1:-build}" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${BENCH_SECONDS:-20}
runs=${BENCH_RUNS:-3}
before=${BENCH_BEFORE:-}
hz=$(getconf CLK_TCK)
parts=" ${BENCH_PARTS:-cpu zoom start latency render} "
part() { [[ "$parts" == *" $1 "* ]]; }

for tool in Xvfb xdotool; do
  command -v $tool >/dev/null || { echo "bench: $tool is missing (make deps-test)"; exit 1; }
done
# The peer tracker, run as a black box whose CPU is measured.
peer=$(command -v milkytracker || true)
if [ -z "$peer" ] && [ "$(id -u)" = 0 ] && [ -z "${BENCH_NO_PEER:-}" ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends milkytracker \
    </dev/null >/dev/null 2>&1 || true
  peer=$(command -v milkytracker || true)
fi
[ -n "${BENCH_NO_PEER:-}" ] && peer=""
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
start_xvfb 1280x1024   # the size the peers' figures were taken at
export ALSOFT_DRIVERS=null
unset ALSOFT_CONF

# A private copy of the program and its data, so the user's songs stay untouched.
cp "$build/tamo" "$work/tamo"
cp -r "$root/data" "$work/data"
cp "$build/bench/barewindow/bare-window" "$work/bare-window"
[ -n "$before" ] && cp "$before" "$work/tamo-before"

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
# "thread switches" of each thread of $1: voluntary and involuntary context switches,
# that is how often each was woken or put off the processor.
thread_switches() {
  for status in /proc/"$1"/task/*/status; do
    awk -v t="${status%/status}" '/^(non)?voluntary_ctxt_switches/ {n += $2}
      END {sub(/.*\//, "", t); print t, n}' "$status" 2>/dev/null || true
  done
}
# Switches a second between two snapshots, "main all", over the threads in both.
switch_rates() {  # pid before-file after-file
  awk -v main="$1" -v s="$seconds" 'FNR == NR {a[$1] = $2; next}
    ($1 in a) {d = $2 - a[$1]; all += d; if ($1 == main) m = d}
    END {printf "%.1f %.1f", m / s, all / s}' "$2" "$3"
}
peak_kib() { awk '/VmHWM/ {print $2}' "/proc/$1/status"; }
anon_kib() { awk '/^Anonymous:/ {print $2}' "/proc/$1/smaps_rollup"; }
heap_counter=$build/bench/heap/libtamo-heapcount.so
preload=""

# Starts a program in $work, waits for its window (found by $window_class when that is
# set); sets $pid and $window.
window_class=""
# $config is the settings folder it sees (XDG_CONFIG_HOME).
config=$work/config
launch() {
  (cd "$work" && exec env ${preload:+LD_PRELOAD=$preload} TAMO_HEAP_REPORT="$work/heap.txt" \
     XDG_CONFIG_HOME="$config" \
     "$@" </dev/null >"$work/launch.out" 2>&1) &
  pid=$!
  window=$(window_of "$pid" "$window_class")
  if [ -z "$window" ]; then
    if kill -0 "$pid" 2>/dev/null; then state="still running"
    else wait "$pid" && state="ended, status 0" || state="ended, status $?"; fi
    echo "bench: no window from $1 in 20 s ($state); what it printed:"
    sed 's/^/  /' "$work/launch.out"
    exit 1
  fi
  sleep 2   # settle: start-up work is not idle cost
}

# Prints "program-CPU X-CPU peak-KiB anonymous-KiB main-switches/s all-switches/s" of
# $pid over $seconds.
measure() {
  local t0 x0 t1 x1
  thread_switches "$pid" >"$work/switches0"
  t0=$(cpu_ticks "$pid"); x0=$(cpu_ticks "$xvfb_pid")
  sleep "$seconds"
  t1=$(cpu_ticks "$pid"); x1=$(cpu_ticks "$xvfb_pid")
  thread_switches "$pid" >"$work/switches1"
  awk -v d=$((t1 - t0)) -v x=$((x1 - x0)) -v hz="$hz" -v s="$seconds" \
    'BEGIN {printf "%.4f %.4f ", d / hz / s, x / hz / s}'
  echo "$(peak_kib "$pid") $(anon_kib "$pid") $(switch_rates "$pid" "$work/switches0" "$work/switches1")"
}

# The program's own heap now, in KiB (needs the heap counter preloaded).
own_heap_kib() {
  rm -f "$work/heap.txt"
  kill -USR1 "$pid"
  for _ in $(seq 50); do [ -s "$work/heap.txt" ] && break; sleep 0.02; done
  awk '{printf "%.1f", $1 / 1024}' "$work/heap.txt" 2>/dev/null || echo "-"
}

# Ends the program; one that does not end at once (the peer asks about its unsaved
# song) is killed.
stop() {
  kill "$pid" 2>/dev/null || true
  for _ in $(seq 20); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -9 "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
results=$work/results.txt
: >"$results"
record() { echo "$1 $2" >>"$results"; }          # name value
med() { awk -v n="$1" '$1 == n {print $2}' "$results" | median; }

echo "Tamo Tracker bench, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)," \
     "$runs rounds of ${seconds} s per measurement"
echo

# The ratios to the bare window ($5, default the 1x one) and, for Standby, to the peer
# at rest, beside goals.
cpu_line() {  # label name bare-goal [peer-goal] [bare window]
  local b=${5:-bare}
  awk -v l="$1" -v c="$(med "$2.cpu")" -v x="$(med "$2.x")" -v g="$3" -v pg="${4:-}" \
      -v bc="$(med "$b.cpu")" -v bx="$(med "$b.x")" -v pc="$(med peer.cpu)" -v px="$(med peer.x)" \
      -v wm="$(med "$2.wake")" -v wa="$(med "$2.wakeall")" 'BEGIN {
    sum = c + x; bare = bc + bx; peer = pc + px
    printf "  %-22s %5.1f %% + X %5.1f %% = %5.1f %%", l, c * 100, x * 100, sum * 100
    if (g != "") printf "   %.2f x bare (goal <= %s)", (bare > 0 ? sum / bare : 0), g
    if (pg != "" && peer > 0) printf ", %.2f x MilkyTracker (goal <= %s)", sum / peer, pg
    if (wm != "") printf "; wake-ups %.0f/s main, %.0f/s all threads", wm, wa
    printf "\n" }'
}
programs="tamo"
[ -n "$before" ] && programs="tamo tamo-before"
if part cpu; then
for round in $(seq "$runs"); do
  launch ./bare-window
  read -r c x k a m w <<<"$(measure)"
  record bare.cpu "$c"; record bare.x "$x"; record bare.kib "$k"; record bare.anon "$a"
  record bare.wake "$m"; record bare.wakeall "$w"
  stop
  if [ -n "$peer" ]; then
    mkdir -p "$work/peer-home"
    window_class=milkytracker
    launch env HOME="$work/peer-home" SDL_AUDIODRIVER=dummy "$peer"
    sleep 2   # the peer's own start-up takes longer
    read -r c x k a m w <<<"$(measure)"
    record peer.cpu "$c"; record peer.x "$x"; record peer.wake "$m"; record peer.wakeall "$w"
    stop
    window_class=""
  fi
  for p in $programs; do
    launch "./$p"
    read -r c x k a m w <<<"$(measure)"
    record "$p.cpu" "$c"; record "$p.x" "$x"; record "$p.kib" "$k"; record "$p.anon" "$a"
    record "$p.wake" "$m"; record "$p.wakeall" "$w"
    stop
    launch "./$p"
    play_demo "$window"
    read -r c x k a m w <<<"$(measure)"
    record "$p.play.cpu" "$c"; record "$p.play.x" "$x"; record "$p.play.wake" "$m"
    record "$p.play.wakeall" "$w"
    stop
    launch "./$p"
    loop_demo "$window"
    keep_typing & typer=$!
    read -r c x k a m w <<<"$(measure)"
    kill "$typer"; wait "$typer" 2>/dev/null || true
    record "$p.loop.cpu" "$c"; record "$p.loop.x" "$x"; record "$p.loop.wake" "$m"
    record "$p.loop.wakeall" "$w"
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

echo "CPU, the program plus the X server:"
cpu_line "bare window" bare ""
[ -n "$peer" ] && cpu_line "MilkyTracker, at rest" peer 1.0
cpu_line "tamo, Standby" tamo 0.5 0.8
[ -n "$before" ] && cpu_line "before, Standby" tamo-before 0.5 0.8
cpu_line "tamo, playing demo1" tamo.play 1.18
[ -n "$before" ] && cpu_line "before, playing demo1" tamo-before.play 1.18
loop_line() {  # label program
  cpu_line "$1, looping + typing" "$2.loop" ""
  awk -v l="$(med "$2.loop.cpu")" -v lx="$(med "$2.loop.x")" -v p="$(med "$2.play.cpu")" -v px="$(med "$2.play.x")" \
    'BEGIN {printf "  looping + typing beside playing: program %.2f x, with X %.2f x (goal <= 1.1)\n",
            (p > 0 ? l / p : 0), (p + px > 0 ? (l + lx) / (p + px) : 0)}'
}
loop_line tamo tamo
[ -n "$before" ] && loop_line before tamo-before
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
fi

if part zoom; then
# The 3x window (1920 x 1425) needs a larger screen than the peers' figures were taken on.
kill "$xvfb_pid" 2>/dev/null || true
wait "$xvfb_pid" 2>/dev/null || true
start_xvfb 1920x1440
for round in $(seq "$runs"); do
  for z in 2 3; do
    launch ./bare-window $((640 * z)) $((475 * z))
    read -r c x k a m w <<<"$(measure)"
    record "bare$z.cpu" "$c"; record "bare$z.x" "$x"
    stop
    config=$work/zoom$z
    mkdir -p "$config/tamo-tracker"
    echo "ZOOM $z" >"$config/tamo-tracker/settings"
    launch ./tamo
    read -r c x k a m w <<<"$(measure)"
    record "tamo$z.cpu" "$c"; record "tamo$z.x" "$x"; record "tamo$z.wake" "$m"
    record "tamo$z.wakeall" "$w"
    stop
    launch ./tamo
    play_demo "$window" "$z"
    read -r c x k a m w <<<"$(measure)"
    record "tamo$z.play.cpu" "$c"; record "tamo$z.play.x" "$x"; record "tamo$z.play.wake" "$m"
    record "tamo$z.play.wakeall" "$w"
    stop
    config=$work/config
  done
done
echo "CPU when zoomed, beside the bare window of the same size:"
for z in 2 3; do
  cpu_line "bare window ${z}x" "bare$z" ""
  cpu_line "tamo ${z}x, Standby" "tamo$z" 1.0 "" "bare$z"
  cpu_line "tamo ${z}x, playing" "tamo$z.play" 1.18 "" "bare$z"
done
echo
kill "$xvfb_pid" 2>/dev/null || true
wait "$xvfb_pid" 2>/dev/null || true
start_xvfb 1280x1024   # the parts after this one, on the screen they were measured on
fi

if part start; then
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
fi

# Key to sound: the user's configuration names the wave writer; once it says nothing
# about the period (the tracker's own applies), once it sets OpenAL Soft's defaults.
latency() {  # program period-lines period-frames presses gap-ms -> "median min max n"
  local home=$work/home
  rm -rf "$home"; mkdir -p "$home"
  printf '[general]\ndrivers = wave\nfrequency = 44100\nchannels = stereo\nsample-type = int16\n%s[wave]\nfile = %s\n' \
    "$2" "$work/sound.wav" >"$home/.alsoftrc"
  (cd "$work" && env -u ALSOFT_CONF -u ALSOFT_DRIVERS -u XDG_CONFIG_HOME HOME="$home" XDG_CONFIG_DIRS="$home" \
     "$build/bench/latency/tamo-latency" measure "${4:-27}" "${5:-400}" "$3" "$work/sound.wav" "$1" 2>/dev/null) ||
    echo "- - - 0"
}
# Prints one key-to-sound line: label median min max presses queued-ms goal.
latency_line() {
  awk -v l="$1" -v m="$2" -v lo="$3" -v hi="$4" -v n="$5" -v q="$6" -v g="${7:-}" 'BEGIN {
    if (n == 0) { printf "  %s: no note heard\n", l; exit }
    printf "  %s: wave writer %.1f ms (%.1f..%.1f, %d notes), real device + %.1f ms queued = %.1f ms", l, m, lo, hi, n, q, m + q
    if (g != "") printf " (goal <= %s)", g
    printf "\n" }'
}
if part latency && [ -x "$build/bench/latency/tamo-latency" ]; then
  read -r own_frames rate <<<"$(cd "$work" && env -u ALSOFT_CONF HOME="$work/nohome" XDG_CONFIG_DIRS="$work/nohome" \
     "$build/bench/latency/tamo-latency" period "$work/data" 2>/dev/null)"
  own_periods=$(awk -F= '/^ *periods *=/ {gsub(/ /, "", $2); print $2}' "$work/data/alsoft.conf")
  own_queued=$(awk -v f="$own_frames" -v p="$own_periods" -v r="$rate" 'BEGIN {print (p - 1) * f / r * 1000}')
  def_queued=$(awk -v r="$rate" 'BEGIN {print 2 * 1024 / r * 1000}')
  echo "Key to sound (a note key in Standby to its first mixed sample; notes from silence):"
  latency_line "presses 400..600 ms apart, own period $own_frames x $own_periods" \
    $(latency ./tamo "" "$own_frames") "$own_queued" 30
  latency_line "the same, OpenAL Soft's default 1024 x 3" \
    $(latency ./tamo $'period_size = 1024\nperiods = 3\n' 1024) "$def_queued"
  # After a rest longer than the sound device's quiet spell. The wave writer itself never
  # rests, so what a wake adds on a device that does is timed on the null output.
  latency_line "after a rest of 3..4.5 s, own period" \
    $(latency ./tamo "" "$own_frames" "${BENCH_RESTS:-9}" 3000) "$own_queued" 30
  read -r wake_ms awake_ms rounds <<<"$(cd "$work" && env -u ALSOFT_CONF HOME="$work/nohome" \
     XDG_CONFIG_DIRS="$work/nohome" "$build/bench/latency/tamo-latency" wake "$work/data" 2>/dev/null)"
  [ -n "${rounds:-}" ] && printf '  a note that wakes a resting device (null output, %d notes): its start takes %.2f ms, %.2f ms on an awake one\n' \
    "$rounds" "$wake_ms" "$awake_ms"
  # The first note, 1.5 s after the window appeared: one note per launch.
  : >"$work/first.txt"
  for _ in $(seq "${BENCH_FIRST_NOTES:-7}"); do
    read -r m _ _ n <<<"$(latency ./tamo "" "$own_frames" 1)"
    [ "$n" = 1 ] && echo "$m" >>"$work/first.txt"
  done
  n=$(wc -l <"$work/first.txt")
  if [ "$n" -gt 0 ]; then
    latency_line "the first note after start, own period" "$(median <"$work/first.txt")" \
      "$(sort -n "$work/first.txt" | head -n 1)" "$(sort -n "$work/first.txt" | tail -n 1)" "$n" "$own_queued" 30
  else
    latency_line "the first note after start, own period" - - - 0 0
  fi
  if [ -n "$before" ]; then
    latency_line "before, presses 400..600 ms apart" $(latency ./tamo-before "" "$own_frames") "$own_queued" 30
    latency_line "before, after a rest of 3..4.5 s" \
      $(latency ./tamo-before "" "$own_frames" "${BENCH_RESTS:-9}" 3000) "$own_queued" 30
  fi
  echo
fi

if part render; then
echo "render speed (tamo-render, demo songs):"
for song in "$root"/data/songs/demo*; do
  "$build/tamo-render" "$song" "$work/render.wav" 2>&1 | sed 's/^/  /'
done
if [ -x "$build/bench/render/tamo-bench-render" ]; then
  echo
  "$build/bench/render/tamo-bench-render"
fi
fi
echo; echo "load at the end: $(cut -d" " -f1-3 /proc/loadavg)"

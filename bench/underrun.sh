#!/usr/bin/env bash
# bench/underrun.sh [BUILD]: does the tracker's mixing period keep a real-time output fed
# while the CPU is busy? For each period setting it plays demo1 in build/tamo on a private
# X server into a private sound server's null sink, which takes audio at the sample rate
# like a device, and counts the gaps the server logs ("Implicit underrun of ..." / "Actual
# underrun of ...": the stream's queue ran dry when the sink wanted more; the server logs
# with --log-time, which gives each line's time). No thresholds:
# it prints, per setting, the minutes played, the load average and the underruns counted.
#
# Needs pulseaudio and pulseaudio-utils (pactl, parec), which the Makefile does not
# install: this is a measurement on a desktop sound path, not part of the build.
# The server runs as this user on its own socket and runtime directory (PULSE_SERVER,
# PULSE_RUNTIME_PATH), one per setting, so a desktop's own server is not touched.
#
# Each setting is written into a private copy of data/alsoft.conf, the tracker's own
# OpenAL Soft configuration; a private HOME names the pulse driver and no period, so the
# tracker hands its own file to OpenAL Soft as it does for a user without one. The
# period and driver OpenAL Soft really got are read back from its log.
#
# Time is paced by the wall clock: the window starts once demo1 plays (after the check
# below) and lasts UNDERRUN_MINUTES (default 10); the load average (1-minute figure) is
# sampled every 10 s across it. Start-up and shutdown fall outside the window.
# Before each window the tracker is stopped for 100 ms (SIGSTOP): that gap must show up
# as an underrun, or the count means nothing ("stall seen" column).
#   UNDERRUN_SETTINGS  period settings, "frames x periods" (default "256x3 256x2")
#   UNDERRUN_BUSY      busy loops added besides whatever already runs: a number, or
#                      "auto" (default) for two when the 1-minute load is below 2
#   UNDERRUN_LOGS      a folder to keep the server and OpenAL Soft logs in
set -euo pipefail
source "$(dirname "$0")/x11.sh"
build=$(cd "${1:-build}" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
minutes=${UNDERRUN_MINUTES:-10}
seconds=$(awk -v m="$minutes" 'BEGIN {printf "%d", m * 60}')
settings=${UNDERRUN_SETTINGS:-"256x3 256x2"}
busy=${UNDERRUN_BUSY:-auto}
keep=${UNDERRUN_LOGS:-}

for tool in Xvfb xdotool pulseaudio pactl parec; do
  command -v $tool >/dev/null || {
    echo "underrun: $tool is missing (apt-get install pulseaudio pulseaudio-utils xvfb xdotool)"; exit 1; }
done
[ -x "$build/tamo" ] || { echo "underrun: $build/tamo is missing"; exit 1; }

work=$(mktemp -d /tmp/tamo-underrun-XXXXXX)
export XDG_CONFIG_HOME=$work/config   # the user's settings stay out of it
xvfb_pid="" pulse_pid="" tamo_pid="" busy_pids=""
cleanup() {
  [ -n "$tamo_pid" ] && kill "$tamo_pid" 2>/dev/null || true
  [ -n "$pulse_pid" ] && kill "$pulse_pid" 2>/dev/null || true
  for pid in $busy_pids; do kill "$pid" 2>/dev/null || true; done
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

start_xvfb

# The sound server's private corner; nothing here reaches a desktop session's server.
export PULSE_RUNTIME_PATH=$work/pulse PULSE_STATE_PATH=$work/pulse/state
export PULSE_SERVER=unix:$work/pulse/native PULSE_LOG_NO_RATE_LIMIT=1
mkdir -p -m 700 "$work/pulse" "$work/pulse/state" "$work/home"
printf '[general]\ndrivers = pulse\n' >"$work/home/.alsoftrc"

cp "$build/tamo" "$work/tamo"
cp -r "$root/data" "$work/data"

load1() { cut -d' ' -f1 /proc/loadavg; }
# Counts the gaps logged after byte offset $2 of log $1. One gap is often logged on
# several lines within a millisecond: lines less than 50 ms after the previous one count
# as the same gap.
underruns_since() {
  tail -c +"$(($2 + 1))" "$1" | { grep -E "(Implicit|Actual) underrun of" || true; } |
    awk -F'[(|]' '{t = $2 + 0; if (NR == 1 || t - p > 0.05) n++; p = t} END {print n + 0}'
}
# Peak of one second of what the sink plays (0 = silence).
peak() {
  { timeout 1 parec -d tamo.monitor --raw --format=s16le --channels=1 2>/dev/null || true; } |
    od -An -td2 -w2 -v | awk '{a = $1 < 0 ? -$1 : $1; if (a > m) m = a} END {print m + 0}'
}

start_pulse() {  # log
  HOME=$work/pulse pulseaudio -n --daemonize=no --exit-idle-time=-1 --system=false \
    --use-pid-file=no -vvvv --log-time=1 --log-target="file:$1" \
    --load="module-null-sink sink_name=tamo" \
    --load="module-native-protocol-unix auth-anonymous=1 socket=$work/pulse/native" \
    </dev/null >/dev/null 2>&1 &
  pulse_pid=$!
  for _ in $(seq 100); do pactl info >/dev/null 2>&1 && return; sleep 0.1; done
  echo "underrun: the sound server did not start (see $1)"; exit 1
}

if [ "$busy" = auto ]; then
  busy=0
  awk -v l="$(load1)" 'BEGIN {exit !(l < 2)}' && busy=2
fi
for _ in $(seq "$busy"); do nice -n 0 sha256sum /dev/zero >/dev/null & busy_pids="$busy_pids $!"; done

echo "Tamo Tracker underruns, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores," \
     "load $(cut -d' ' -f1-3 /proc/loadavg) at start, $busy busy loops added"
echo "  setting  (OpenAL got)        minutes  load mean/min/max  stall seen  underruns  playing"

for setting in $settings; do
  frames=${setting%x*} periods=${setting#*x}
  printf '[general]\nperiod_size = %s\nperiods = %s\n' "$frames" "$periods" >"$work/data/alsoft.conf"
  log=$work/pulse-$setting.log al=$work/openal-$setting.log
  start_pulse "$log"

  (cd "$work" && exec env -u ALSOFT_CONF -u XDG_CONFIG_HOME HOME="$work/home" \
     XDG_CONFIG_DIRS="$work/home" ALSOFT_DRIVERS=pulse ALSOFT_LOGLEVEL=3 ALSOFT_LOGFILE="$al" \
     ./tamo </dev/null >/dev/null 2>&1) &
  tamo_pid=$!
  window=$(window_of "$tamo_pid")
  [ -n "$window" ] || { echo "underrun: no window from tamo"; exit 1; }
  sleep 2
  got=$(grep -o 'Post-reset: .*' "$al" | tail -n 1 | sed 's/.* \([0-9]*\) update size x\([0-9]*\).*/\1x\2/')
  grep -q 'Initialized backend "pulse"' "$al" || got="$got,not-pulse"
  play_demo "$window"; sleep 1.5
  playing=$(peak)

  # The check must see a gap: 100 ms without the tracker.
  mark=$(stat -c %s "$log")
  kill -STOP "$tamo_pid"; sleep 0.1; kill -CONT "$tamo_pid"; sleep 2
  stall=$(underruns_since "$log" "$mark")

  mark=$(stat -c %s "$log")
  begin=$(date +%s); end=$((begin + seconds))
  loads=""
  while :; do
    now=$(date +%s)
    [ "$now" -ge "$end" ] && break
    sleep $((end - now < 10 ? end - now : 10))
    loads="$loads $(load1)"
  done
  played=$(( $(date +%s) - begin ))
  counted=$(underruns_since "$log" "$mark")
  kill -0 "$tamo_pid" 2>/dev/null || counted="$counted (tamo died)"
  playing="$playing/$(peak)"

  kill "$tamo_pid" 2>/dev/null || true; wait "$tamo_pid" 2>/dev/null || true; tamo_pid=""
  kill "$pulse_pid" 2>/dev/null || true; wait "$pulse_pid" 2>/dev/null || true; pulse_pid=""
  [ -n "$keep" ] && mkdir -p "$keep" && cp "$log" "$al" "$keep/"

  echo "$loads" | awk -v s="$setting" -v g="$got" -v m="$played" -v st="$stall" -v u="$counted" -v p="$playing" '{
    lo = hi = $1; for (i = 1; i <= NF; i++) { t += $i; if ($i < lo) lo = $i; if ($i > hi) hi = $i }
    printf "  %-8s (%-16s)  %7.1f  %4.2f/%4.2f/%4.2f     %-10s  %-9s  peak %s\n",
           s, g, m / 60, t / NF, lo, hi, st, u, p }'
done

#!/usr/bin/env bash
# bench/soak.sh [BUILD] [MINUTES]: the real tracker on a private X server playing demo1
# in a loop for MINUTES (default 10), its memory (resident set) sampled every 10 s.
# Passes when the program is still running at the end and its memory did not grow
# after the first minute (more than SOAK_SLACK_KIB, default 512 KiB, above the
# largest sample of that first minute). Not part of make test.
set -euo pipefail
source "$(dirname "$0")/x11.sh"
build=$(cd "${1:-build}" && pwd)
minutes=${2:-10}
slack=${SOAK_SLACK_KIB:-512}
root=$(cd "$(dirname "$0")/.." && pwd)

work=$(mktemp -d /tmp/tamo-soak-XXXXXX)
export XDG_CONFIG_HOME=$work/config   # the user's settings stay out of it
xvfb_pid=""
pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

start_xvfb
export ALSOFT_DRIVERS=null

cp "$build/tamo" "$work/tamo"
cp -r "$root/data" "$work/data"
(cd "$work" && exec ./tamo </dev/null >"$work/tamo.log" 2>&1) &
pid=$!
window=$(window_of "$pid")
[ -n "$window" ] || { echo "soak: no window"; exit 1; }
sleep 1
play_demo "$window"

echo "soak: demo1 playing in a loop for $minutes min, resident memory every 10 s"
samples=$((minutes * 6))
first_minute_max=0
worst=0
for i in $(seq "$samples"); do
  sleep 10
  if ! kill -0 "$pid" 2>/dev/null; then
    status=0; wait "$pid" || status=$?
    kill -0 "$xvfb_pid" 2>/dev/null && xvfb="running" || xvfb="gone"
    echo "soak: FAILED, the program ended after $((i * 10)) s with status $status (X server $xvfb)"
    cat "$work/tamo.log"; pid=""; exit 1
  fi
  rss=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status")
  printf "%4d s  %7d KiB\n" $((i * 10)) "$rss"
  if [ "$i" -le 6 ]; then
    [ "$rss" -gt "$first_minute_max" ] && first_minute_max=$rss
  else
    [ "$rss" -gt "$worst" ] && worst=$rss
  fi
done
growth=$((worst > first_minute_max ? worst - first_minute_max : 0))
echo "soak: largest after the first minute $worst KiB, first minute $first_minute_max KiB, growth $growth KiB"
if [ "$growth" -gt "$slack" ]; then
  echo "soak: FAILED, memory grew by $growth KiB"; exit 1
fi
echo "soak: passed"

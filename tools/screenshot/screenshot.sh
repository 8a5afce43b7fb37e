#!/bin/sh
# Captures the tracker window after start-up into docs/screenshot.png.
#
#   tools/screenshot/screenshot.sh [build-dir] [output.png]
#
# Starts a private X server (Xvfb), runs the tracker in it, waits for its window,
# lets it paint for a moment and grabs the window with ImageMagick's import.
# Needs xvfb, xdotool and imagemagick (all in the Makefile's package list).
set -eu

here=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-"$here/build"}
out=${2:-"$here/docs/screenshot.png"}
settle=${SETTLE_SECONDS:-2}

[ -x "$build/tamo" ] || { echo "no tracker at $build/tamo (run make build first)" >&2; exit 1; }
mkdir -p "$(dirname "$out")"

xvfb_pid=""
tamo_pid=""
fdfile=$(mktemp)
cleanup() {
    [ -n "$tamo_pid" ] && kill "$tamo_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -f "$fdfile"
}
trap cleanup EXIT INT TERM

# Let the server choose a free display number and report it on fd 3.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fdfile" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 50); do [ -s "$fdfile" ] && break; sleep 0.1; done
[ -s "$fdfile" ] || { echo "Xvfb did not start" >&2; exit 1; }
DISPLAY=":$(head -n1 "$fdfile")"
export DISPLAY

# No sound card is needed: OpenAL renders to its null output.
ALSOFT_DRIVERS=null "$build/tamo" </dev/null >/dev/null 2>&1 &
tamo_pid=$!

window=""
for _ in $(seq 100); do
    window=$(xdotool search --name "Tamo Tracker" 2>/dev/null | head -n1 || true)
    [ -n "$window" ] && break
    kill -0 "$tamo_pid" 2>/dev/null || { echo "the tracker ended before its window opened" >&2; exit 1; }
    sleep 0.1
done
[ -n "$window" ] || { echo "no tracker window appeared" >&2; exit 1; }

sleep "$settle"
import -window "$window" "$out"
echo "wrote $out"

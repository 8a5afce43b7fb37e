#!/usr/bin/env bash
# Runs every fuzz target for SECONDS (default 60) from the committed seed corpus and
# the inputs it once found faults with (tests/e2e/fuzz_cases/TARGET).
# New inputs go to build-fuzz/corpus/TARGET, never into the repository; a crash is
# kept as build-fuzz/crashes/TARGET-... and makes the run fail.
#   fuzz/run.sh [SECONDS] [BUILD_DIR]
set -u
seconds=${1:-60}
build=${2:-build-fuzz}
here=$(cd "$(dirname "$0")" && pwd)
status=0
mkdir -p "$build/crashes"
for target in readsong decodetext decodewav decodeimage decodeogg uploadwav loadpicture \
              playsong loadsong; do
  mkdir -p "$build/corpus/$target"
  found=""
  [ -d "$here/../tests/e2e/fuzz_cases/$target" ] && found="$here/../tests/e2e/fuzz_cases/$target"
  echo "== fuzz_$target for $seconds s"
  if ! "$build/fuzz_$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
       -print_final_stats=1 -artifact_prefix="$build/crashes/$target-" \
       "$build/corpus/$target" "$here/corpus/$target" $found 2>"$build/fuzz_$target.log"; then
    echo "fuzz_$target FAILED: see $build/fuzz_$target.log and $build/crashes/"
    tail -n 30 "$build/fuzz_$target.log"
    status=1
  else
    grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' "$build/fuzz_$target.log" | tr '\n' ' '
    echo
  fi
done
exit $status

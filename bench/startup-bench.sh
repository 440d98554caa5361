#!/usr/bin/env bash
# Start-up benchmark: time from exec until the window is mapped, and peak memory, for posdip and
# for a minimal Qt Widgets window built here, under one Xvfb, alternating runs. The minimal window
# with one caption shows the floor of any window with text: its fonts.
# Usage: bench/startup-bench.sh [RUNS]   (default 15)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-15}
posdip=build/bin/posdip
minimal=build/bin/bench_minimal_window
[ -x "$posdip" ] && [ -x "$minimal" ] || { echo "build first: make build" >&2; exit 1; }
for tool in Xvfb xwininfo /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps.sh --test)" >&2; exit 1; }
done

work=$(mktemp -d)
xvfb=""
trap '[ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true; rm -rf "$work"' EXIT

# Xvfb picks a free display itself and writes its number once it accepts clients; -noreset
# keeps it from resetting (and refusing clients) each time the last client leaves.
Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 200); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(tr -d '\n' <"$work/display")

# One run: prints "<milliseconds> <peak KiB>".
measure() { # title command...
  local start end title=$1
  shift
  start=$(date +%s%N)
  /usr/bin/time -f '%M' -o "$work/rss" "$@" >/dev/null 2>"$work/stderr" &
  local pid=$!
  until xwininfo -name "$title" 2>/dev/null | grep -q 'Map State: IsViewable'; do
    kill -0 "$pid" 2>/dev/null || {
      echo "$1 exited before mapping its window:" >&2; cat "$work/stderr" >&2; exit 1; }
    sleep 0.002
  done
  end=$(date +%s%N)
  sleep 0.3 # let it settle so the peak covers the shown window
  pkill -TERM -P "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  echo "$(( (end - start) / 1000000 )) $(tail -n 1 "$work/rss")"
}

median() { sort -n | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }

: >"$work/posdip"; : >"$work/minimal"; : >"$work/caption"
for _ in $(seq "$runs"); do
  measure FrmSetting "$posdip" >>"$work/posdip"
  measure MinimalWindow "$minimal" >>"$work/minimal"
  measure MinimalWindow "$minimal" --caption >>"$work/caption"
done

pt=$(cut -d' ' -f1 "$work/posdip" | median); pm=$(cut -d' ' -f2 "$work/posdip" | median)
mt=$(cut -d' ' -f1 "$work/minimal" | median); mm=$(cut -d' ' -f2 "$work/minimal" | median)
ct=$(cut -d' ' -f1 "$work/caption" | median); cm=$(cut -d' ' -f2 "$work/caption" | median)
echo "runs: $runs each, alternating"
echo "posdip:                      median ${pt} ms to mapped window, median peak ${pm} KiB"
echo "minimal window:              median ${mt} ms to mapped window, median peak ${mm} KiB"
echo "minimal window, one caption: median ${ct} ms to mapped window, median peak ${cm} KiB"
awk -v pt="$pt" -v mt="$mt" -v pm="$pm" -v mm="$mm" -v ct="$ct" -v cm="$cm" 'BEGIN {
  printf "time ratio:   %.2f x (aim <= 1.15; one caption alone: %.2f x)\n", pt/mt, ct/mt
  printf "memory ratio: %.2f x (aim <= 1.15; one caption alone: %.2f x)\n", pm/mm, cm/mm }'

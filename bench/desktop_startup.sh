#!/usr/bin/env bash
# Measures the desktop screen on a private Xvfb display: the time from starting the program to
# its main dialog shown and drawn, and what the program does while it idles in that dialog
# (CPU time and wake-ups over a quiet spell). Not a test: it prints figures.
#
#   bench/desktop_startup.sh [BUILD-DIR] [RUNS] [IDLE-SECONDS]      (defaults: build 5 10)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-5}
idle=${3:-10}
program=$build/tr20kx-downloader
probe=$build/tests/desktop-probe
for f in "$program" "$build/adapter-sim" "$probe"; do
  [ -x "$f" ] || { echo "build first: $f is missing" >&2; exit 1; }
done

work=$(mktemp -d)
mkdir "$work/ports"
xvfb="" sim="" prog=""
finish() {
  for p in $prog $sim $xvfb; do kill "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap finish EXIT

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
exec 3>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(head -n1 "$work/display")"
unset TR20KX_UI
"$build/adapter-sim" --dir "$work/ports" --port 1 >/dev/null 2>&1 &
sim=$!
for _ in $(seq 100); do [ -e "$work/ports/COM1" ] && break; sleep 0.05; done

readonly MAIN="ＴＲ２０ＫＸ　ダウンローダー　ｖｅｒ１．２４ｖｔ"
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
wakeups() { awk '/^voluntary_ctxt_switches|^nonvoluntary_ctxt_switches/ {n += $2} END {print n}' "/proc/$1/status"; }

echo "start-up to the main dialog shown and drawn (ms; the probe looks every 2 ms):"
for run in $(seq "$runs"); do
  "$probe" drawn "$MAIN" 20 >"$work/drawn" &
  watcher=$!
  sleep 0.3  # the probe is connected and looking
  start=$(now_ms)
  TR20KX_PORT_DIR="$work/ports" "$program" >/dev/null 2>&1 &
  prog=$!
  wait "$watcher"
  echo "  run $run: $(( $(cat "$work/drawn") - start ))"
  if [ "$run" = "$runs" ]; then
    sleep 1  # let the start settle
    ticks=$(cpu_ticks "$prog") switches=$(wakeups "$prog")
    sleep "$idle"
    echo "idle in the main dialog for ${idle} s: $(( $(cpu_ticks "$prog") - ticks )) CPU ticks" \
         "(1 tick = 1/$(getconf CLK_TCK) s), $(( $(wakeups "$prog") - switches )) context switches"
  fi
  kill "$prog"
  wait "$prog" 2>/dev/null || true
  prog=""
done

#!/usr/bin/env bash
# The real program on its desktop screen: a private Xvfb display, the adapter simulator, and
# desktop-probe to type keys and clicks into the program's windows (found by their titles) and
# to save each dialog and message box as PNG. With DISPLAY set and TR20KX_UI unset, the program
# must choose the desktop screen by itself.
#
#   desktop_program_test.sh PATH/tr20kx-downloader PATH/adapter-sim PATH/desktop-probe SHOTS-DIR
set -euo pipefail
program=$1
simulator=$2
probe=$3
shots=$4
command -v Xvfb >/dev/null || { echo "Xvfb is needed (scripts/install-deps)"; exit 1; }
fc-list | grep -q IPAPGothic || { echo "the IPA P Gothic face is needed (scripts/install-deps: fonts-ipafont-gothic)"; exit 1; }

work=$(mktemp -d)
mkdir -p "$shots"
xvfb=""
sim=""
prog=""
stop_sim() {
  if [ -n "$sim" ]; then
    kill "$sim" 2>/dev/null || true
    wait "$sim" 2>/dev/null || true
    sim=""
  fi
}
finish() {
  [ -n "$prog" ] && { kill "$prog" 2>/dev/null || true; wait "$prog" 2>/dev/null || true; }
  stop_sim
  [ -n "$xvfb" ] && { kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; }
  rm -rf "$work"
}
trap finish EXIT

fail() {
  echo "FAILED: $*"
  echo "--- windows shown:"
  "$probe" titles 2>/dev/null || true
  echo "--- program's output:"
  cat "$work/program.log" 2>/dev/null || true
  echo "--- adapter:"
  cat "$work/sim.log" 2>/dev/null || true
  exit 1
}

# A display of our own: Xvfb picks a free number and writes it to the descriptor given.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
exec 3>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(head -n1 "$work/display")"
unset TR20KX_UI
export LC_ALL=C.UTF-8
# In a sanitizer build: what fontconfig keeps at the end of the run is not the program's leak.
export LSAN_OPTIONS="suppressions=$(cd "$(dirname "$0")" && pwd)/desktop_lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

readonly MAIN="ＴＲ２０ＫＸ　ダウンローダー　ｖｅｒ１．２４ｖｔ"
readonly PROGRESS="バージョンアップ中"

# Starts the simulator (with the options given) and the program against it.
start() {
  rm -f "$work/ports"/* "$work/exit-code"
  mkdir -p "$work/ports"
  "$simulator" --dir "$work/ports" --port 1 --commands "$@" >"$work/sim.log" 2>&1 &
  sim=$!
  for _ in $(seq 100); do [ -e "$work/ports/COM1" ] && break; sleep 0.05; done
  [ -e "$work/ports/COM1" ] || fail "the simulator did not start"
  ( TR20KX_PORT_DIR="$work/ports" "$program" >"$work/program.log" 2>&1; echo $? >"$work/exit-code" ) &
  prog=$!
  "$probe" wait "$MAIN" 20 >/dev/null || fail "the main dialog did not show"
}

# Waits until the program has ended and checks its exit code.
ended_with() {
  for _ in $(seq 300); do [ -e "$work/exit-code" ] && break; sleep 0.1; done
  [ -e "$work/exit-code" ] || fail "the program did not end"
  wait "$prog" 2>/dev/null || true
  prog=""
  [ "$(cat "$work/exit-code")" = "$1" ] || fail "exit code $(cat "$work/exit-code"), not $1"
  stop_sim
}

shot() { "$probe" shot "$1" "$shots/$2" >/dev/null || fail "no picture of \"$1\""; }
key() { "$probe" key "$@" || fail "keys $* not typed"; }
wait_for() { "$probe" wait "$1" "${2:-30}" >/dev/null || fail "\"$1\" never showed"; }
gone() { "$probe" gone "$1" "${2:-30}" || fail "\"$1\" stayed"; }
count_is() { [ "$("$probe" count "$1")" = "$2" ] || fail "$2 windows \"$1\" expected"; }

# 1. A whole version-up; on the way, Escape asks whether to abort and Enter keeps the default No.
start
shot "$MAIN" main-idle.png
key "$MAIN" Return  # the version-up button has the focus
wait_for "$PROGRESS"
count_is "$MAIN" 1  # the progress dialog is a window of its own
# It stands 0, 35 dialog units from the main dialog's client area, as its template says.
geometry() { "$probe" wait "$1" 1 | tr 'x+' '  '; }
read -r mw mh mx my <<<"$(geometry "$MAIN")"
read -r pw ph px py <<<"$(geometry "$PROGRESS")"
[ "$px" = "$mx" ] && [ $((py - my - mh * 35 / 79)) -ge -2 ] && [ $((py - my - mh * 35 / 79)) -le 2 ] ||
  fail "progress dialog at $px,$py; main dialog at $mx,$my, $mw x $mh"
[ $((pw * 211 / 187 - mw)) -ge -2 ] && [ $((pw * 211 / 187 - mw)) -le 2 ] || fail "progress dialog $pw wide, main $mw"
"$probe" modal "$PROGRESS" || fail "the progress dialog is not modal"
for _ in $(seq 300); do grep -q '^command: AAT\*VER1' "$work/sim.log" && break; sleep 0.1; done
sleep 8  # about half of the upload's fixed pauses
shot "$PROGRESS" progress-mid-upload.png
key "$PROGRESS" Escape
wait_for "バージョンアップの中断" 10
shot "バージョンアップの中断" box-abort-question.png
"$probe" modal "バージョンアップの中断" || fail "the message box is not a modal window"
key "バージョンアップの中断" Return  # No, the default button
gone "バージョンアップの中断" 10
count_is "$PROGRESS" 1
gone "$PROGRESS" 90
for _ in $(seq 100); do grep -q '^command: AAT&F&W' "$work/sim.log" && break; sleep 0.1; done
sleep 0.5
shot "$MAIN" main-finished.png
key "$MAIN" c  # the Cancel button's mnemonic
ended_with 0
expected=$'command: AATE\ncommand: AATI4\ncommand: AAT*VER1\ncommand: AAT&F&W'
[ "$(grep '^command:' "$work/sim.log")" = "$expected" ] || fail "the adapter received another conversation"
grep -q '^loader: erased, 6 images, [0-9]* records, 0 bad$' "$work/sim.log" || fail "the loader did not take six good images"

# 2. Abort confirmed with Alt+Y: the notice, then Escape leaves the program.
start
key "$MAIN" alt+v
wait_for "$PROGRESS"
key "$PROGRESS" Escape
wait_for "バージョンアップの中断" 10
key "バージョンアップの中断" alt+y
wait_for "中断しました" 10
gone "$PROGRESS" 5
shot "中断しました" box-aborted.png
key "中断しました" Return
gone "中断しました" 5
key "$MAIN" Escape
ended_with 0

# 3. A wrong adapter: its message box, then a click on the Cancel button.
start --model "OTHER ADAPTER"
key "$MAIN" Return
wait_for "エラー" 20
shot "エラー" box-wrong-adapter.png
key "エラー" Return
gone "エラー" 5
sleep 0.5
shot "$MAIN" main-abandoned.png
size=$("$probe" wait "$MAIN" 1)
width=${size%%x*}
height=${size#*x}
height=${height%%+*}
# The Cancel button stands at 155..204 x 40..70 of the 211 x 79 dialog units.
"$probe" click "$MAIN" $((width * 180 / 211)) $((height * 55 / 79)) || fail "no click"
ended_with 0

# 4. A silent adapter: its message box, then Alt+F4 on the main dialog.
start --silent
key "$MAIN" Return
wait_for "ステータス" 30
shot "ステータス" box-no-answer.png
key "ステータス" Return
gone "ステータス" 5
key "$MAIN" alt+F4
ended_with 0

echo "passed: version-up, abort, wrong and silent adapter on the desktop screen; pictures in $shots"

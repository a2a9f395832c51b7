#!/usr/bin/env bash
# The real program in a terminal: tmux runs tr20kx-downloader on its terminal screen against
# the adapter simulator; the script types the keys, reads the screen back and checks the exit
# code and what the adapter received. Runs without a terminal of its own (tmux is detached).
#
#   program_tmux_test.sh PATH/tr20kx-downloader PATH/adapter-sim
set -euo pipefail
program=$1
simulator=$2
command -v tmux >/dev/null || { echo "tmux is needed (scripts/install-deps)"; exit 1; }

work=$(mktemp -d)
mkdir "$work/ports"
socket="tr20kx-program-test-$$"
sim=""
tmux_() { LC_ALL=C.UTF-8 tmux -u -L "$socket" -f /dev/null "$@"; }
finish() {
  tmux_ kill-server 2>/dev/null || true
  if [ -n "$sim" ]; then
    kill "$sim" 2>/dev/null || true
    wait "$sim" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap finish EXIT

fail() {
  echo "FAILED: $*"
  echo "--- screen:"
  tmux_ capture-pane -p -t program 2>/dev/null || echo "(no screen)"
  echo "--- adapter:"
  cat "$work/sim.log" 2>/dev/null || true
  exit 1
}

# Waits (generously) until the screen shows `text`.
wait_for_screen() {
  local text=$1 step=$2
  for _ in $(seq 600); do
    tmux_ capture-pane -p -t program 2>/dev/null | grep -qF -- "$text" && return 0
    [ -e "$work/exit-code" ] && fail "$step: the program ended before showing \"$text\""
    sleep 0.1
  done
  fail "$step: \"$text\" never showed"
}

"$simulator" --dir "$work/ports" --port 1 --commands >"$work/sim.log" 2>&1 &
sim=$!
for _ in $(seq 100); do [ -e "$work/ports/COM1" ] && break; sleep 0.05; done
[ -e "$work/ports/COM1" ] || fail "the simulator did not start"

tmux_ new-session -d -s program -x 100 -y 30 \
  "TR20KX_PORT_DIR='$work/ports' TR20KX_UI=terminal '$program' 2>'$work/stderr'; echo \$? >'$work/exit-code.tmp'; mv '$work/exit-code.tmp' '$work/exit-code'; sleep 600"

wait_for_screen "アイドル" "start"
wait_for_screen "COM1" "port list"
tmux_ send-keys -t program Enter  # the version-up button has the focus
wait_for_screen "アダプタの電源の確認をします" "adapter check"
wait_for_screen "バージョンアップ中です" "progress dialog"
# Shown while the user-interface thread busy-waits before the final command.
wait_for_screen "初期化しています" "final command"
wait_for_screen "バージョンアップ完了" "finished"
tmux_ send-keys -t program c  # the Cancel button's mnemonic
for _ in $(seq 300); do [ -e "$work/exit-code" ] && break; sleep 0.1; done
[ -e "$work/exit-code" ] || fail "the program did not end after Cancel"
code=$(cat "$work/exit-code")
[ "$code" = 0 ] || fail "exit code $code after Cancel; stderr: $(cat "$work/stderr")"

kill "$sim"
wait "$sim" || true
sim=""
expected=$'command: AATE\ncommand: AATI4\ncommand: AAT*VER1\ncommand: AAT&F&W'
[ "$(grep '^command:' "$work/sim.log")" = "$expected" ] || fail "the adapter received another conversation"
grep -q '^loader: erased, 6 images, [0-9]* records, 0 bad$' "$work/sim.log" || fail "the loader did not take six good images"
echo "passed: version-up finished and left with Cancel, exit code 0"

# Shared by the playbook tests: a scratch folder, posdip-emulator on a free loopback port, and
# ansible-playbook on localhost with the local connection. Sourced, not run.
# Needs POSDIP_CLI, POSDIP_EMULATOR, POSDIP_LOOPBACK_PEERS and ANSIBLE_COLLECTIONS_PATH in the
# environment.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d)
emulator_pids=()

cleanup() {
  local pid
  for pid in "${emulator_pids[@]}"; do
    kill -CONT "$pid" 2>/dev/null || true
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

# Ansible keeps its own files in the scratch folder, not in the user's home.
export ANSIBLE_HOME=$work/ansible-home ANSIBLE_LOCAL_TEMP=$work/ansible-tmp
export ANSIBLE_REMOTE_TEMP=$work/ansible-remote ANSIBLE_RETRY_FILES_ENABLED=0
export ANSIBLE_NOCOLOR=1 ANSIBLE_FORCE_COLOR=0 ANSIBLE_DEPRECATION_WARNINGS=0
export ANSIBLE_PYTHON_INTERPRETER=/usr/bin/python3
# posdip-cli's default ledger, for the stores that give none, is in the scratch folder too.
export XDG_STATE_HOME=$work/state

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# start_emulator NAME [OPTION...]: posdip-emulator --listen 127.0.0.1:0 (or $emulator_listen)
# --hex, its frames in $work/NAME.out and its log in $work/NAME.err; sets emulator_port and
# emulator_pid.
start_emulator() {
  local name=$1
  shift
  # Made here, not by the redirection below: that runs in the child, maybe after the first look.
  : >"$work/$name.err"
  "$POSDIP_EMULATOR" --listen "${emulator_listen:-127.0.0.1:0}" --hex "$@" \
    >"$work/$name.out" 2>"$work/$name.err" &
  emulator_pid=$!
  emulator_pids+=("$emulator_pid")
  local i
  for i in $(seq 100); do
    emulator_port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/$name.err")
    [ -n "$emulator_port" ] && return 0
    kill -0 "$emulator_pid" 2>/dev/null || break
    sleep 0.1
  done
  fail "posdip-emulator did not start listening: $(cat "$work/$name.err")"
}

# Sets refused_port to a loopback port nobody listens on: one the emulator had, after it is gone.
pick_refused_port() {
  start_emulator gone
  kill "$emulator_pid"
  wait "$emulator_pid" 2>/dev/null || true
  refused_port=$emulator_port
}

# wait_for_exit PID: the emulator ends by itself once it has its --count frames (bound 20 s).
wait_for_exit() {
  local i
  for i in $(seq 200); do
    kill -0 "$1" 2>/dev/null || return 0
    sleep 0.1
  done
  fail "posdip-emulator $1 is still running: it did not get all its frames"
}

# stand_in_cli NAME STATUS [LINE...]: $work/NAME, a stand-in for posdip-cli that keeps its
# arguments in $work/NAME.args (one a line), reads its input, prints the lines and exits with
# STATUS: for answers no real run gives on demand, or quickly.
stand_in_cli() {
  local name=$1 status=$2
  shift 2
  printf '%s\n' "$@" >"$work/$name.lines"
  printf '#!/bin/sh\nprintf "%%s\\n" "$@" >"%s.args"\ncat >/dev/null\ncat "%s"\nexit %s\n' \
    "$work/$name" "$work/$name.lines" "$status" >"$work/$name"
  chmod +x "$work/$name"
}

# play PLAYBOOK [EXTRA-VARS-JSON]: runs the playbook on localhost with posdip_cli set.
play() {
  ansible-playbook -i localhost, -c local "$here/$1" \
    -e "{\"posdip_cli\": \"$POSDIP_CLI\", \"work\": \"$work\"}" -e "${2:-{\}}"
}

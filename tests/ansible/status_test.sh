#!/usr/bin/env bash
# posdip.printers.status, and dip's verify and connect_timeout, against posdip-emulator: a ready
# printer, a port nobody listens on, and a listener that takes no more connections.
source "$(dirname "$0")/harness.sh"

# A listener that never accepts and whose backlog is full: a connect gets no answer at all.
"$POSDIP_LOOPBACK_PEERS" silent 300 >"$work/stalled.out" &
emulator_pids+=($!)
for _ in $(seq 200); do
  stalled_port=$(head -n 1 "$work/stalled.out" 2>/dev/null || true)
  [ -n "$stalled_port" ] && break
  sleep 0.05
done
[ -n "$stalled_port" ] || fail "the silent listener did not start"

pick_refused_port
stand_in_cli silent-cli 0 # like /bin/true, but it reads what it is given
stand_in_cli one-ready-cli 0 '{"schema":1,"target":"ETHERNET 127.0.0.1:9","action":"status",'\
'"ok":true,"kind":"ok","stage":"close","elapsed_ms":1,"written":0,"message":"","reason":""}'
stand_in_cli timed-out-cli 1 '{"schema":2,"target":"ETHERNET 127.0.0.1:9","action":"restore",'\
'"ok":false,"kind":"timeout","stage":"open","elapsed_ms":5000,"written":0,"message":"","reason":""}'
start_emulator printer
play status.yml "{\"emulator_port\": $emulator_port, \"refused_port\": $refused_port,
  \"stalled_port\": $stalled_port}"

grep -q '| 1F 1B 1F A1 10 11 12 13 14 15 FD$' "$work/printer.out" ||
  fail "the verified store did not reach the emulator; it heard: $(cat "$work/printer.out")"
echo "the verified store reached the emulator"

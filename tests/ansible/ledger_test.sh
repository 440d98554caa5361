#!/usr/bin/env bash
# posdip.printers.dip changes only what differs: the ledger keeps a second identical store from
# the printer, a printer swapped at the same address (another serial number) is stored again, a
# damaged ledger fails the task by name, and printer_info sends no frame.
source "$(dirname "$0")/harness.sh"

start_emulator first --id serial=A1
port=$emulator_port
play ledger.yml "{\"emulator_port\": $port, \"log\": \"$work/first.out\", \"phase\": \"first\"}"

# The same address, another printer.
kill "$emulator_pid"
wait "$emulator_pid" 2>/dev/null || true
emulator_listen=127.0.0.1:$port start_emulator swapped --id serial=B2
play ledger.yml "{\"emulator_port\": $port, \"log\": \"$work/swapped.out\", \"phase\": \"swapped\"}"
echo "stored once, left alone, stored again on the swapped printer; the damaged ledger named"

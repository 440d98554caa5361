#!/usr/bin/env bash
# posdip.printers.dip end to end: check mode sends nothing, a store arrives byte for byte, a
# refused printer fails the task by name, and so does a printer posdip-cli gave no result for. The emulator must hear exactly the two frames sent.
source "$(dirname "$0")/harness.sh"

pick_refused_port
# A printer that closed its side before taking a byte: the one result posdip-cli gives for it.
stand_in_cli closed-cli 1 '{"schema":1,"target":"ETHERNET 127.0.0.1:9","action":"restore",'\
'"ok":false,"kind":"closed","stage":"write","elapsed_ms":1,"written":0,'\
'"message":"Fail to write to port,please check!","reason":"write failed: network printer '\
'127.0.0.1:9: the printer closed the connection before the first byte (0 of 11 bytes)",'\
'"frame":"1F 1B 1F A1 10 11 12 13 14 15 FD"}'
start_emulator printer --count 4
play dip.yml "{\"emulator_port\": $emulator_port, \"refused_port\": $refused_port}"

wait_for_exit "$emulator_pid"
# Only the bytes after '|' count; the text before them is the emulator's explanation.
expected="| 1D 49 44
| 1D 49 44
| 1F 1B 1F A1 10 11 12 13 14 15 42
| 1F 1B 1F C0 15 14 13 12 11 10 AA"
heard=$(sed 's/^[^|]*|/|/' "$work/printer.out")
[ "$heard" = "$expected" ] ||
  fail "the emulator heard:
$(cat "$work/printer.out")
expected these frames and no other:
$expected"
echo "the emulator heard exactly the two serial number requests, the store and the enable frame"

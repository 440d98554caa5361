#!/usr/bin/env bash
# The example playbook over two shops on localhost: the shop whose printer is ready gets its
# setting stored; the shop with a printer nobody answers for fails and is sent nothing.
source "$(dirname "$0")/harness.sh"

pick_refused_port
start_emulator printer
cat >"$work/shops.yml" <<EOF
shops:
  vars: {ansible_connection: local, posdip_cli: "$POSDIP_CLI"}
  hosts:
    ready_shop: {printers: [ETHERNET 127.0.0.1:$emulator_port], printer_setting: {chars: 48}}
    broken_shop: {printers: [ETHERNET 127.0.0.1:$refused_port], printer_setting: {chars: 48}}
EOF
out=$(ansible-playbook -i "$work/shops.yml" "$ANSIBLE_COLLECTIONS_PATH/examples/playbook.yml" 2>&1) &&
  fail "the playbook passed with a printer not ready: $out"
grep -Eq 'ready_shop +: ok=[0-9]+ +changed=1 +unreachable=0 +failed=0' <<<"$out" ||
  fail "the ready shop was not stored: $out"
grep -Eq 'broken_shop +: ok=[0-9]+ +changed=0 +unreachable=0 +failed=1' <<<"$out" ||
  fail "the shop with a printer not ready did not fail: $out"
grep -q "1 of 1 printers not ready" <<<"$out" || fail "the failure does not say what is wrong: $out"
[ "$(grep -c '| 1F 1B 1F A1 ' "$work/printer.out")" = 1 ] ||
  fail "the ready printer did not get one store frame: $(cat "$work/printer.out")"
echo "the ready shop was stored, the other failed and was left as it is"

#!/usr/bin/env bash
# The collection as Ansible loads it: every module compiles, ansible-doc renders each module's
# documentation, examples and return values, and the example playbook passes the syntax check.
source "$(dirname "$0")/harness.sh"

collection=$ANSIBLE_COLLECTIONS_PATH/ansible_collections/posdip/printers
examples=$ANSIBLE_COLLECTIONS_PATH/examples

for f in "$collection"/plugins/*/*.py; do
  python3 -c 'import sys, py_compile; py_compile.compile(sys.argv[1], cfile=sys.argv[2], doraise=True)' \
    "$f" "$work/$(basename "$f")c" || fail "$f does not compile"
done

for module in dip printer_info; do
  doc=$(ansible-doc "posdip.printers.$module" 2>&1) || fail "ansible-doc posdip.printers.$module: $doc"
  # The shared options come from the doc fragment; the sections from each module.
  for part in '= targets' 'connect_timeout' 'posdip_cli' 'EXAMPLES:' 'RETURN VALUES:' '- results'; do
    grep -qF -- "$part" <<<"$doc" || fail "ansible-doc posdip.printers.$module lacks '$part':
$doc"
  done
done

listed=$(ansible-doc -l posdip.printers 2>&1)
for module in dip printer_info; do
  grep -q "^posdip.printers.$module " <<<"$listed" || fail "ansible-doc -l does not list $module: $listed"
done

# The former name leads to printer_info.
doc=$(ansible-doc posdip.printers.status 2>&1) || fail "ansible-doc posdip.printers.status: $doc"
grep -q 'printer_info' <<<"$doc" || fail "posdip.printers.status does not lead to printer_info: $doc"

ansible-playbook -i "$examples/inventory.yml" --syntax-check "$examples/playbook.yml" >/dev/null
# Two shops, each host with its own printers.
graph=$(ansible-inventory -i "$examples/inventory.yml" --graph --vars 2>&1)
[ "$(grep -c -- '--@shop_' <<<"$graph")" = 2 ] || fail "the example inventory is not two shops: $graph"
[ "$(grep -c -- '--{printers = \[' <<<"$graph")" = 2 ] ||
  fail "not every host of the example inventory lists its printers: $graph"
echo "modules compile, documentation renders, the example playbook parses"

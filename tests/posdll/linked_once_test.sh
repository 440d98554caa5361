#!/usr/bin/env bash
# linked_once_test.sh LIBRARY PROGRAM...: the device library's code is compiled into the library
# only; the programs that load it carry no copy of its rules, its print-server requests or its
# libcups stand-ins.
set -euo pipefail
lib=$1
shift
ours() { # the functions and data of the library's namespace and the libcups names it defines
    nm --defined-only "$1" | awk '$2 ~ /^[TtDdBbRr]$/ {print $3}' |
        grep -E '^_ZN?K?6posdll|^(ipp|http|cups)[A-Z]' | sort -u || true
}
status=0
for program in "$@"; do
    twice=$(comm -12 <(ours "$lib") <(ours "$program"))
    if [ -n "$twice" ]; then
        echo "$program carries its own copy of:" >&2
        c++filt <<<"$twice" >&2
        status=1
    fi
done
exit $status

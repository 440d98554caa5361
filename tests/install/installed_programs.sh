#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks that the programs there load libposdll
# from the prefix, and that no program or library looks for libraries in the current directory.
# Usage: installed_programs.sh CMAKE BUILD_DIR
set -euo pipefail
cmake=$1 build=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
"$cmake" --install "$build" --prefix "$prefix" >/dev/null

status=0
libs=$(find "$prefix" -name 'libposdll.so.*' -type f)
[ -n "$libs" ] || { echo "libposdll is not installed under $prefix"; exit 1; }
for elf in "$prefix"/bin/* $libs; do
  [ -L "$elf" ] && continue
  runpath=$(readelf -d "$elf" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
  case ":$runpath:" in
    *::*) echo "$elf: runpath '$runpath' has an empty entry (the current directory)"; status=1 ;;
  esac
done

# From an empty folder, so nothing there or in the build tree can stand in for the library.
cd "$prefix"
cli=$prefix/bin/posdip-cli
lib=$(ldd "$cli" | awk '$1 == "libposdll.so.0" { print $3 }')
case "$lib" in
  "$prefix"/*) ;;
  *) echo "posdip-cli loads libposdll from '$lib', not from $prefix"; status=1 ;;
esac
out=$("$cli" store --dry-run) || { echo "installed posdip-cli failed: $out"; status=1; }
case "$out" in
  "1F 1B 1F A1 10 11 12 13 14 15 FD"*) ;;
  *) echo "installed posdip-cli printed: $out"; status=1 ;;
esac
exit $status

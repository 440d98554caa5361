#!/usr/bin/env bash
# Fails when a tracked C or C++ file is not formatted as .clang-format says; names the files.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "missing clang-format (scripts/install-deps.sh --test)" >&2; exit 1; }
git ls-files -z '*.c' '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror

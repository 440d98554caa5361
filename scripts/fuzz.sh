#!/usr/bin/env bash
# Runs every fuzz target for a bounded time: FUZZ_SECONDS each (default 60).
# Seeds come from fuzz/corpus/<target>; what the fuzzer finds stays under build-fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
status=0
for bin in build-fuzz/bin/fuzz_*; do
  name=${bin#build-fuzz/bin/fuzz_}
  work=build-fuzz/corpus/$name
  mkdir -p "$work" build-fuzz/artifacts
  echo "== fuzz $name for ${seconds}s"
  if ! "$bin" "$work" "fuzz/corpus/$name" -max_total_time="$seconds" -timeout=10 \
      -rss_limit_mb=2048 -artifact_prefix=build-fuzz/artifacts/"$name"- -print_final_stats=1 \
      >build-fuzz/"$name".log 2>&1; then
    echo "fuzz $name FAILED:"; tail -n 40 build-fuzz/"$name".log; status=1
  else
    grep -E '^(Done|stat::number_of_executed_units)' build-fuzz/"$name".log || true
  fi
done
exit $status

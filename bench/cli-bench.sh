#!/usr/bin/env bash
# posdip-cli against socat, all on 127.0.0.1:
#   1. one store, whole process, against socat sending the same 11 bytes: median wall time and
#      peak memory (aim: at most 0.5 x socat's time, under 8 MiB);
#   2. 1,000 network targets with -j 32 against xargs -P 32 socat over the same list (aim: 3 x);
#   3. a list where a tenth of the printers never answer (a listener whose backlog is full):
#      done within about one connect timeout per -j batch, each of those reported as failed;
#   4. 1,000 printers that keep their side open after the document, default options: each end of
#      a document watches 0.5 s for a late reset, all watched on one thread (aim: at most 2.2 s);
#   5. the most threads alive at once, for store, status and scan with -j 32 (aim: -j + 4);
#   6. scan 127.0.0.0/16 -j 1024 --status-timeout 0.1 against a listener on every loopback
#      address that accepts and never answers (aims: at most 64 MiB and 7.5 s), and the same
#      sweep where every connection is refused (aim: under 0.5 s).
# Usage: bench/cli-bench.sh [RUNS]   RUNS single stores each (default 30); BATCH_RUNS (default 3),
# TARGETS (default 1000) and SILENT_LIST (default 320) in the environment. Every peer this starts
# ends by itself after PEER_SECONDS (default 600) and is killed at exit. It runs in a network
# namespace of its own, lo its only interface, so the sweeps reach nothing but this machine.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${POSDIP_BENCH_NETNS:-}" ]; then
  export POSDIP_BENCH_NETNS=1
  own=-rn # a user namespace too, unless root
  [ "$(id -u)" -eq 0 ] && own=-n
  exec unshare "$own" bash -c 'ip link set lo up && exec "$0" "$@"' "$0" "$@"
fi
runs=${1:-30}
batch_runs=${BATCH_RUNS:-3}
targets=${TARGETS:-1000}
silent_list=${SILENT_LIST:-320}
peer_seconds=${PEER_SECONDS:-600}
jobs=32
connect_timeout=3 # seconds: the device library's bound on connecting to a network printer

cli=build/bin/posdip-cli
emulator=build/bin/posdip-emulator
peers_bin=build/bin/bench_loopback_peers
[ -x "$cli" ] && [ -x "$peers_bin" ] || { echo "build first: make build" >&2; exit 1; }
for tool in socat xargs /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps.sh --test)" >&2; exit 1; }
done

work=$(mktemp -d)
peers=()
cleanup() {
  for p in "${peers[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Starts a peer of bench/loopback_peers.cpp; sets $port to the port it listens on.
start_peer() { # sink|keep-open|silent name
  "$peers_bin" "$1" "$peer_seconds" >"$work/$2.out" &
  peers+=($!)
  for _ in $(seq 200); do
    port=$(head -n 1 "$work/$2.out" 2>/dev/null || true)
    [ -n "$port" ] && return 0
    sleep 0.01
  done
  echo "$2 did not start" >&2; exit 1
}

# The printer for part 1: posdip-emulator when it is built, else the sink.
if [ -x "$emulator" ]; then
  start_peer sink portpick # a free port for the emulator: taken, then given back
  kill "${peers[-1]}"; wait "${peers[-1]}" 2>/dev/null || true
  "$emulator" --listen "127.0.0.1:$port" >"$work/emulator.out" 2>&1 &
  peers+=($!)
  for _ in $(seq 200); do
    ss -ltnH "sport = :$port" 2>/dev/null | grep -q . && break
    sleep 0.01
  done
  printer="posdip-emulator"
else
  start_peer sink single
  printer="a loopback sink (posdip-emulator is not built)"
fi
single=127.0.0.1:$port

median() { sort -n | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
peak_kib() { /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F': ' '/Maximum resident set size/ {print $2}'; }

# The same 11 bytes as a file for socat.
hex=$("$cli" store --dry-run | cut -d' ' -f1-11)
printf "$(sed -E 's/([0-9A-F]{2}) ?/\\x\1/g' <<<"$hex")" >"$work/frame.bin"
[ "$(stat -c %s "$work/frame.bin")" -eq 11 ] || { echo "frame is not 11 bytes: $hex" >&2; exit 1; }

echo "== 1. one store to $printer on $single, $runs runs each, alternating"
: >"$work/cli.us"; : >"$work/socat.us"
for _ in $(seq "$runs"); do
  "$peers_bin" runs 1 "$cli" store --ip "$single" >>"$work/cli.us"
  "$peers_bin" runs 1 socat -u "OPEN:$work/frame.bin" "TCP:$single" >>"$work/socat.us"
done
cli_us=$(median <"$work/cli.us"); socat_us=$(median <"$work/socat.us")
rss_cli=$(for _ in 1 2 3 4 5; do peak_kib "$cli" store --ip "$single"; done | median)
rss_socat=$(for _ in 1 2 3 4 5; do peak_kib socat -u "OPEN:$work/frame.bin" "TCP:$single"; done | median)
awk -v c="$cli_us" -v s="$socat_us" -v rc="$rss_cli" -v rs="$rss_socat" 'BEGIN {
  printf "posdip-cli: median %.2f ms, peak %d KiB\nsocat:      median %.2f ms, peak %d KiB\n", c/1000, rc, s/1000, rs
  printf "time ratio posdip-cli/socat: %.2f x (aim <= 0.5)\n", c/s
  printf "peak memory of posdip-cli: %.2f MiB (aim < 8)\n", rc/1024 }'

echo "== 2. $targets targets, -j $jobs, $batch_runs runs each"
start_peer sink batch
: >"$work/list"; : >"$work/addresses"
for _ in $(seq "$targets"); do
  echo "ETHERNET 127.0.0.1:$port" >>"$work/list"
  echo "127.0.0.1:$port" >>"$work/addresses"
done
"$peers_bin" runs "$batch_runs" "$cli" store --targets "$work/list" -j "$jobs" >"$work/batch-cli.us" ||
  echo "warning: a posdip-cli batch run reported a failure"
"$peers_bin" runs "$batch_runs" xargs -a "$work/addresses" -P "$jobs" -I{} \
  socat -u "OPEN:$work/frame.bin" "TCP:{}" >"$work/batch-socat.us" ||
  echo "warning: an xargs socat batch run reported a failure"
bc_us=$(median <"$work/batch-cli.us"); bs_us=$(median <"$work/batch-socat.us")
awk -v c="$bc_us" -v s="$bs_us" 'BEGIN {
  printf "posdip-cli -j 32:      median %.3f s\nxargs -P 32 socat:     median %.3f s\n", c/1e6, s/1e6
  printf "speed-up over xargs socat: %.2f x (aim >= 3)\n", s/c }'
kill "${peers[-1]}"; wait "${peers[-1]}" 2>/dev/null || true
read -r _ conns _ bytes <<<"$(tail -n 1 "$work/batch.out")"
expected=$(( 2 * batch_runs * targets ))
echo "the batch listener took $conns connections, $bytes bytes (expected $expected, $(( expected * 11 )))"

silent_count=$(( silent_list / 10 ))
echo "== 3. $silent_list targets, $silent_count of them never answer, -j $jobs"
start_peer sink alive; alive=127.0.0.1:$port
start_peer silent silent; dead=127.0.0.1:$port
: >"$work/mixed"
for i in $(seq "$silent_list"); do
  if (( i % 10 == 0 )); then echo "ETHERNET $dead"; else echo "ETHERNET $alive"; fi >>"$work/mixed"
done
start=$EPOCHREALTIME
status=0
"$cli" restore --targets "$work/mixed" -j "$jobs" >"$work/mixed.out" || status=$?
end=$EPOCHREALTIME
failed=$(grep -c ": failed: " "$work/mixed.out" || true)
dead_failed=$(grep -c "^ETHERNET $dead: failed: Fail to open port,please check!" "$work/mixed.out" || true)
ok=$(grep -c ": ok: " "$work/mixed.out" || true)
batches=$(( (silent_count + jobs - 1) / jobs ))
awk -v s="$start" -v e="$end" -v b="$batches" -v t="$connect_timeout" -v f="$failed" \
    -v df="$dead_failed" -v ok="$ok" -v n="$silent_count" -v st="$status" 'BEGIN {
  el = e - s; bound = b * t
  printf "elapsed %.2f s for %d silent targets in %d batch(es) of -j 32, bound about %d s: %s\n",
         el, n, b, bound, (el <= bound * 1.34) ? "within" : "NOT within"
  printf "reported failed: %d (of them the silent printer: %d, expected %d); ok: %d; exit status %d\n",
         f, df, n, ok, st }'

# Prints "SECONDS PEAK_THREADS PEAK_KIB EXIT_STATUS" for one run of posdip-cli.
measure() { "$peers_bin" measure "$cli" "$@"; }

echo "== 4. $targets printers that keep their side open, default options"
start_peer keep-open kept
: >"$work/kept"
for _ in $(seq "$targets"); do echo "ETHERNET 127.0.0.1:$port" >>"$work/kept"; done
read -r seconds threads _ status <<<"$(measure store --targets "$work/kept")"
echo "elapsed $seconds s for $targets printers, exit status $status, at most $threads threads (aim: at most 2.2 s)"

echo "== 5. the most threads alive at once, -j $jobs (aim: at most $(( jobs + 4 )))"
start_peer sink-any silent-all; silent_all=$port
: >"$work/silent-list"
for _ in $(seq "$targets"); do echo "ETHERNET 127.0.0.1:$silent_all" >>"$work/silent-list"; done
read -r seconds threads _ status <<<"$(measure store --targets "$work/kept" -j "$jobs")"
echo "store, $targets printers that keep their side open: $threads threads ($seconds s)"
read -r seconds threads _ status <<<"$(measure status --targets "$work/silent-list" -j "$jobs" --status-timeout 0.1)"
echo "status, $targets printers that never answer: $threads threads ($seconds s)"
read -r seconds threads _ status <<<"$(measure scan 127.0.0.0/22 --port-number "$silent_all" -j "$jobs" --status-timeout 0.1)"
echo "scan 127.0.0.0/22, hosts that never answer: $threads threads ($seconds s)"

echo "== 6. scan 127.0.0.0/16 -j 1024 --status-timeout 0.1"
read -r seconds threads kib status <<<"$(measure scan 127.0.0.0/16 --port-number "$silent_all" -j 1024 --status-timeout 0.1)"
awk -v s="$seconds" -v t="$threads" -v k="$kib" 'BEGIN {
  printf "every host accepts, none answers: %.2f s (aim <= 7.5), peak %.1f MiB (aim <= 64), %d threads\n", s, k/1024, t }'
kill "${peers[-1]}"; wait "${peers[-1]}" 2>/dev/null || true
read -r seconds threads kib status <<<"$(measure scan 127.0.0.0/16 --port-number "$silent_all" -j 1024 --status-timeout 0.1)"
awk -v s="$seconds" -v t="$threads" -v k="$kib" 'BEGIN {
  printf "every connection refused: %.2f s (aim < 0.5), peak %.1f MiB, %d threads\n", s, k/1024, t }'
read -r floor _ <<<"$("$peers_bin" refused-floor "$silent_all")"
echo "the same 65,534 refused connections made one by one, nothing else: $floor s (the least one thread can take)"

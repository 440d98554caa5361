#!/usr/bin/env bash
# Takes a picture of the window as it opens, on a private X server (Xvfb), without pressing
# anything: docs/posdip-window.png, or the file given. Needs xvfb, x11-utils and imagemagick.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/posdip-window.png}
bin=build/bin/posdip

if [ -z "${POSDIP_SCREENSHOT_XVFB:-}" ]; then
    [ -x "$bin" ] || { echo "screenshot: $bin is missing; run 'make' first" >&2; exit 1; }
    for tool in xvfb-run xwininfo import; do
        command -v "$tool" >/dev/null || { echo "screenshot: $tool is missing; run scripts/install-deps.sh --test" >&2; exit 1; }
    done
    exec xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96 -nolisten tcp" \
        env POSDIP_SCREENSHOT_XVFB=1 "$0" "$out"
fi

runtime=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; rm -rf "$runtime"' EXIT
XDG_RUNTIME_DIR=$runtime QT_QPA_PLATFORM=xcb "$bin" &
pid=$!

# Wait (at most 10 s) for the window to be mapped, then give it a moment to paint.
id=""
for _ in $(seq 100); do
    id=$(xwininfo -root -tree 2>/dev/null | awk '/"FrmSetting"/ { print $1; exit }')
    [ -n "$id" ] && xwininfo -id "$id" | grep -q 'IsViewable' && break
    id=""
    kill -0 "$pid" 2>/dev/null || { echo "screenshot: posdip exited early" >&2; exit 1; }
    sleep 0.1
done
[ -n "$id" ] || { echo "screenshot: the window did not appear" >&2; exit 1; }
sleep 1

mkdir -p "$(dirname "$out")"
import -window "$id" "png:$out"
echo "screenshot: wrote $out ($(xwininfo -id "$id" | awk '/Width:|Height:/ { printf "%s ", $2 }'| sed 's/ $//;s/ /x/') pixels)"

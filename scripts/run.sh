#!/usr/bin/env bash
# `make run`: opens the settings window, with a printer emulator listening on 127.0.0.1:9100
# beside it, so the buttons can be tried without a printer.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=build/bin

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    cat >&2 <<'MSG'
run: there is no display (neither DISPLAY nor WAYLAND_DISPLAY is set), so the window cannot open.
     On a machine without a desktop, run it on a virtual X server:   xvfb-run -a make run
     or take a picture of the window as it opens:                    scripts/screenshot.sh
MSG
    exit 1
fi
[ -x "$bin/posdip" ] || { echo "run: $bin/posdip is missing; build with 'make'" >&2; exit 1; }

emulator=""
stop_emulator() {
    [ -n "$emulator" ] || return 0
    kill "$emulator" 2>/dev/null || true
    wait "$emulator" 2>/dev/null || true
}
trap stop_emulator EXIT
trap 'exit 130' INT TERM

if [ -x "$bin/posdip-emulator" ]; then
    "$bin/posdip-emulator" --listen 127.0.0.1:9100 &
    emulator=$!
    sleep 0.3
    if kill -0 "$emulator" 2>/dev/null; then
        echo "run: a printer emulator listens on 127.0.0.1:9100 and prints every frame it gets."
        echo "     Type 127.0.0.1 as the IP to see what each button sends."
    else
        emulator=""
        echo "run: the emulator did not start (is port 9100 taken?); the window opens without it." >&2
    fi
else
    echo "run: $bin/posdip-emulator is not built; the window opens without an emulator." >&2
fi

"$bin/posdip"

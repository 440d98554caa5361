#!/usr/bin/env bash
# Writes docs/ipbox-demo.png: ipbox-demo drawn offscreen after writing "1.2.3" to Address, so the
# picture shows the four fields and the error 102 message. Its Chinese line needs a CJK font
# (the picture in the repository was made with fonts-dejavu-core and fonts-droid-fallback).
# Drawn at twice the size so it stays sharp on high-density screens.
set -euo pipefail
cd "$(dirname "$0")/.."

[ -d build ] || cmake --preset default >/dev/null
cmake --build build --target ipbox-demo >/dev/null
QT_QPA_PLATFORM=offscreen QT_SCALE_FACTOR=2 \
    build/bin/ipbox-demo --write 1.2.3 --screenshot docs/ipbox-demo.png
echo "wrote docs/ipbox-demo.png"

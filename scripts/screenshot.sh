#!/usr/bin/env bash
# Draws the window without a display (Qt's offscreen platform) into
# docs/vellumark-window.png, the picture the README shows. Run after a build.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
if [ ! -x "$build/app/vellumark" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build "$build" -j2 --target vellumark
fi
mkdir -p docs
QT_QPA_PLATFORM=offscreen \
  "$build/app/vellumark" --screenshot docs/vellumark-window.png
echo "docs/vellumark-window.png"

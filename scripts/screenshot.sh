#!/usr/bin/env bash
# Draws the window with a file open and its preview beside it, without a
# display (Qt's offscreen platform), into docs/vellumark-window.png, the
# picture the README shows. Run after a build.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
if [ ! -x "$build/app/vellumark" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build "$build" -j2 --target vellumark
fi
mkdir -p docs
# The settings of a real run stay out of the picture.
XDG_CONFIG_HOME="$(mktemp -d)" QT_QPA_PLATFORM=offscreen \
  "$build/app/vellumark" --open tests/data/two_pages.pdf --preview \
  --screenshot docs/vellumark-window.png
echo "docs/vellumark-window.png"

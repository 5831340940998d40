#!/usr/bin/env bash
# Installs what is missing, builds, and starts Vellumark.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
vx_install_deps
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2
# Without a window system the program says so in one line and exits.
exec ./build/app/vellumark "$@"

#!/usr/bin/env bash
# Runs the README's recipes and draws the pictures of their results into
# docs/recipes/, which the README shows. Run after a build.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
if [ ! -x "$build/cli/vellumark-cli" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build "$build" -j2 --target vellumark-cli
fi
python3 tests/docs/readme_recipes.py README.md "$build/cli" docs/examples --pictures docs/recipes

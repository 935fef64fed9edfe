#!/usr/bin/env bash
# Regenerates the demonstration images of this folder from the program's own generator.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${QUELVANE_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build "$build" --target generer-echantillons
"$build/tools/generer-echantillons" samples

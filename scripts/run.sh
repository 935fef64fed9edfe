#!/usr/bin/env bash
# Installs what is missing, builds Quelvane and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh

build=${QUELVANE_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUELVANE_TESTS=OFF
cmake --build "$build"
exec "$build/src/app/quelvane" "$@"

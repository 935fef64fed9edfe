#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer,
# checks the formatting and runs every test. The benchmarks are built, not run.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh

build=${QUELVANE_BUILD_DIR:-build-test}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUELVANE_SANITIZE=ON -DQUELVANE_BENCH=ON
cmake --build "$build"

echo "== tests"
status=0
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir "$build" -j "$(nproc)" --output-on-failure || status=1

echo "== formatting"
git ls-files -z -- '*.cpp' '*.h' | xargs -0 -r clang-format --dry-run -Werror || status=1
exit $status

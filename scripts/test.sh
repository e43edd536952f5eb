#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: the release build, then
# the same tests under AddressSanitizer and UndefinedBehaviorSanitizer, then the
# Windows build under Wine (scripts/windows.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs="$(nproc)"

echo "== release build and tests"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DMXPLUGIN_SANITIZE=address,undefined \
  -DMXPLUGIN_TOOLS=OFF >/dev/null
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs" -E plugin_exports

# Prints how long it took.
bash scripts/windows.sh

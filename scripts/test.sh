#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: the release build (then
# its needs of the system, its install with consumer hosts and the .deb), the
# same tests under AddressSanitizer and UndefinedBehaviorSanitizer (the
# allocation-failure sweep with LeakSanitizer among them), the concurrency test
# under ThreadSanitizer, the fuzz targets over their corpora, then the Windows
# build under Wine (scripts/windows.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs="$(nproc)"

echo "== include floors"
python3 scripts/check_layers.py

echo "== release build and tests"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

echo "== what libmxplugin.so needs of the system it loads on"
bash scripts/check_abi.sh build/libmxplugin.so

echo "== install into a fresh prefix, consumer hosts, .deb"
bash scripts/check_install.sh build

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DMXPLUGIN_SANITIZE=address,undefined \
  -DMXPLUGIN_TOOLS=OFF >/dev/null
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs" -E plugin_exports

echo "== ThreadSanitizer: many threads on one module, concurrent loads"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMXPLUGIN_SANITIZE=thread \
  -DMXPLUGIN_TOOLS=OFF >/dev/null
cmake --build build-tsan -j"$jobs" --target mx_concurrency_tests
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 build-tsan/tests/hardening/mx_concurrency_tests

echo "== fuzz targets: every corpus file, then a short run of each (clang, ASan+UBSan)"
bash scripts/fuzz.sh replay 20

# Prints how long it took.
bash scripts/windows.sh

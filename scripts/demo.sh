#!/usr/bin/env bash
# Installs what is needed, builds, and runs the main job.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DMXPLUGIN_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)"
./build/examples/mx_roundtrip

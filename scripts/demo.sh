#!/usr/bin/env bash
# Installs what is needed, builds, and runs the main job: `mxtool demo` writes
# the demo material as a data file, runs it through the plug-in's pre-processor
# and solver roads, prints a report and a friction table, and draws the chart
# (mxtool-demo/friction-pressure.png and .svg).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DMXPLUGIN_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target mxtool
./build/tools/mxtool demo -o mxtool-demo

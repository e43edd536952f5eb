#!/usr/bin/env bash
# Renders the report of a material with Debian's headless Chromium into a PNG:
# the picture of `mxtool report` that the README shows.
#
#   bash scripts/report-screenshot.sh [material] [png]
#     (defaults: data/demo.mxd, docs/report.png; after the Linux build in build/)
#
# Environment: MX_LINUX_BUILD (default build), MX_SCREENSHOT_SIZE (default 1280,2400).
set -euo pipefail
cd "$(dirname "$0")/.."
material="${1:-data/demo.mxd}"
png="${2:-docs/report.png}"
build="${MX_LINUX_BUILD:-build}"
size="${MX_SCREENSHOT_SIZE:-1280,2400}"

if ! command -v chromium >/dev/null; then
  echo "chromium is missing: apt-get install chromium" >&2
  exit 2
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$build/tools/mxtool" report "$material" -o "$work/report.html" >/dev/null
# A profile of its own in the temporary folder, no network, no GPU, no sandbox
# (it runs as root in CI containers).
chromium --headless --no-sandbox --disable-gpu --no-first-run --disable-background-networking \
  --disable-component-update --disable-sync --user-data-dir="$work/profile" --hide-scrollbars \
  --window-size="$size" --screenshot="$work/report.png" "file://$work/report.html" \
  >/dev/null 2>&1 || true
if [[ ! -s "$work/report.png" ]]; then
  echo "chromium wrote no screenshot" >&2
  exit 1
fi
cp "$work/report.png" "$png"
echo "wrote $png"

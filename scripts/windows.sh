#!/usr/bin/env bash
# The Windows build: cross-builds mxplugin.dll, the test suite and the example
# host with mingw-w64, checks the DLL's export and import tables, runs the test
# suite under Wine, and runs the example host on Linux and under Wine on the
# same inputs (a generated sample data file, and data/demo.mxd when present),
# requiring byte-identical output: both builds agree to the last bit. The
# Fortran example host runs too, on Linux and under Wine, and must print what
# the C host prints on Linux. After the build it checks the DLL's version
# resource and packs the install as build-win/package/mxplugin-X.Y.Z-windows-x64.zip.
#
#   bash scripts/windows.sh            (after the Linux release build in build/)
#
# Environment: MX_LINUX_BUILD (default build), MX_WINDOWS_BUILD (default
# build-win), MX_JOBS (default nproc).
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
jobs="${MX_JOBS:-$(nproc)}"
linux_build="${MX_LINUX_BUILD:-build}"
windows_build="${MX_WINDOWS_BUILD:-build-win}"

echo "== Windows: cross build (mingw-w64, x86-64)"
cmake -S . -B "$windows_build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$windows_build" -j"$jobs"

echo "== Windows: version resource, installed files in the .zip"
version="$(sed -n 's/^#define MXPLUGIN_VERSION_STRING "\(.*\)"$/\1/p' include/mxplugin/mxplugin.h)"
strings -el "$windows_build/mxplugin.dll" | grep -qx "$version" ||
  { echo "mxplugin.dll carries no version resource for $version" >&2; exit 1; }
(cd "$windows_build" && cpack -G ZIP -B package >/dev/null)
zip="$windows_build/package/mxplugin-$version-windows-x64.zip"
listing="$(cmake -E tar tf "$zip")"
for f in bin/mxplugin.dll lib/libmxplugin.dll.a include/mxplugin/mxplugin.h \
  share/doc/mxplugin/README.md lib/cmake/mxplugin/mxpluginConfig.cmake; do
  grep -q "/$f$" <<<"$listing" || { echo "$zip lacks $f" >&2; exit 1; }
done
echo "$zip: $(wc -l <<<"$listing") entries"

# Wine runs headless in a prefix of its own under the build tree.
export WINEPREFIX="$PWD/$windows_build/wine-prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installer
unset DISPLAY
if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
  echo "== Windows: creating the Wine prefix"
  wineboot --init >/dev/null 2>&1
fi
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT

echo "== Windows: export and import tables, test suite under Wine"
ctest --test-dir "$windows_build" --output-on-failure

echo "== Windows: example host, Linux and Windows builds on the same input"
cmake -S . -B "$linux_build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$linux_build" -j"$jobs" --target mxplugin mx_host mx_sample_module
cmake --build "$linux_build" -j"$jobs" --target mx_host_fortran
# mxplugin.dll beside the build's root, found through Wine's search path.
export WINEPATH="$PWD/$windows_build"
compare_dir="$windows_build/host-compare"
mkdir -p "$compare_dir"
"$linux_build/examples/mx_sample_module" "$compare_dir/sample.mxd"
inputs=("$compare_dir/sample.mxd")
[[ -f data/demo.mxd ]] && inputs+=(data/demo.mxd)

for input in "${inputs[@]}"; do
  name="$(basename "$input" .mxd)"
  "$linux_build/examples/mx_host" --library "$linux_build/libmxplugin.so" "$input" \
    >"$compare_dir/$name-linux.txt"
  wine "$windows_build/examples/mx_host.exe" --library "$windows_build/mxplugin.dll" "$input" \
    >"$compare_dir/$name-windows.txt"
  "$linux_build/examples/mx_host_fortran" "$input" >"$compare_dir/$name-fortran-linux.txt"
  wine "$windows_build/examples/mx_host_fortran.exe" "$input" \
    >"$compare_dir/$name-fortran-windows.txt"
  outputs=("$name-windows.txt" "$name-fortran-linux.txt" "$name-fortran-windows.txt")
  for output in "${outputs[@]}"; do
    if ! cmp -s "$compare_dir/$name-linux.txt" "$compare_dir/$output"; then
      echo "$input: $output differs from the C host on Linux:" >&2
      diff "$compare_dir/$name-linux.txt" "$compare_dir/$output" | head -40 >&2
      exit 1
    fi
  done
  echo "$input: identical output (C on Linux, ${outputs[*]%.txt})," \
    "$(wc -l <"$compare_dir/$name-linux.txt") lines," \
    "$(awk '$2 == "00000001"' "$compare_dir/$name-linux.txt" | wc -l) calls answered 1"
done

echo "== Windows stage took $((SECONDS - started)) s"

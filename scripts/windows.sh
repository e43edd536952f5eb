#!/usr/bin/env bash
# The Windows build: cross-builds mxplugin.dll, mxtool.exe, the test suite and
# the example host with mingw-w64, checks the export and import tables, runs
# the test suite under Wine, and runs the example host and mxtool on Linux and
# under Wine on the same inputs (a generated sample data file, and
# data/demo.mxd when present), requiring the same output (line endings aside):
# both builds agree to the last bit. The Fortran example host runs too, on
# Linux and under Wine, and must print what the C host prints on Linux. After
# the build it checks the DLL's version resource and packs the install as
# build-win/package/mxplugin-X.Y.Z-windows-x64.zip.
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
for f in bin/mxplugin.dll bin/mxtool.exe lib/libmxplugin.dll.a include/mxplugin/mxplugin.h \
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
cmake --build "$linux_build" -j"$jobs" --target mxplugin mx_host mx_sample_module mxtool
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

echo "== Windows: mxtool, Linux and Windows builds on the same inputs"
tool_started=$SECONDS
tool_dir="$windows_build/mxtool-compare"
rm -rf "$tool_dir"
mkdir -p "$tool_dir"
# Contact states for eval --points: a fixed pseudo-random walk over every
# column kind, integers and fractions alike.
awk 'BEGIN { print "pressure,strain,sheetTemperature,velocity,directionCosine,lubricationAmount";
             s = 12345; for (i = 0; i < 2000; ++i) { s = (s * 1103515245 + 12345) % 2147483648;
             printf "%.6g,%.4g,%d,%.5g,%.3g,%.3g\n", s % 12000 / 100, s % 400 / 1000,
                    20 + s % 181, s % 50000 / 97, s % 1000 / 999, 0.5 + s % 150 / 100 } }' \
  >"$tool_dir/states.csv"
quantities=friction,contact-area,roughness,history,lubrication,heat-transfer,spot-lube,galling,wear
quantities+=,production,average:1,average:2

# Runs mxtool with the same arguments on both builds; stdout (carriage returns
# dropped) and exit status must agree.
compare_tool() {
  local name="$1"
  shift
  local linux_status=0 windows_status=0
  "$linux_build/tools/mxtool" "$@" >"$tool_dir/$name-linux.txt" || linux_status=$?
  wine "$windows_build/tools/mxtool.exe" "$@" >"$tool_dir/$name-windows.raw" || windows_status=$?
  tr -d '\r' <"$tool_dir/$name-windows.raw" >"$tool_dir/$name-windows.txt"
  if [[ $linux_status != "$windows_status" ]] ||
    ! cmp -s "$tool_dir/$name-linux.txt" "$tool_dir/$name-windows.txt"; then
    echo "mxtool $*: Linux (status $linux_status) and Windows (status $windows_status) differ:" >&2
    diff "$tool_dir/$name-linux.txt" "$tool_dir/$name-windows.txt" | head -40 >&2
    exit 1
  fi
  compared+=("$name:$linux_status:$(wc -l <"$tool_dir/$name-linux.txt")")
}
compare_files() {
  if ! cmp -s "$1" "$2"; then
    echo "$1 and $2 differ" >&2
    exit 1
  fi
}

compared=()
for input in "${inputs[@]}"; do
  name="$(basename "$input" .mxd)"
  compare_tool "$name-inspect" inspect "$input"
  compare_tool "$name-inspect-json" inspect --json "$input"
  compare_tool "$name-check" check "$input"
  compare_tool "$name-unpack" unpack "$input"
  cp "$tool_dir/$name-unpack-linux.txt" "$tool_dir/$name.json"
  compare_tool "$name-pack" pack "$tool_dir/$name.json" -o "$tool_dir/$name-packed.mxd"
  mv "$tool_dir/$name-packed.mxd" "$tool_dir/$name-packed-windows.mxd"
  "$linux_build/tools/mxtool" pack "$tool_dir/$name.json" -o "$tool_dir/$name-packed.mxd"
  compare_files "$tool_dir/$name-packed.mxd" "$tool_dir/$name-packed-windows.mxd"
  compare_tool "$name-pack-stream" pack "$tool_dir/$name.json" --stream -o "$tool_dir/$name.rec"
  mv "$tool_dir/$name.rec" "$tool_dir/$name-windows.rec"
  "$linux_build/tools/mxtool" pack "$tool_dir/$name.json" --stream -o "$tool_dir/$name.rec"
  compare_files "$tool_dir/$name.rec" "$tool_dir/$name-windows.rec"
  compare_tool "$name-eval-sweep" eval "$input" --sweep velocity --steps 25 -q "$quantities" --csv
  compare_tool "$name-eval-points" eval "$input" --points "$tool_dir/states.csv" -q "$quantities"
  compare_tool "$name-diff-self" diff "$input" "$tool_dir/$name-packed.mxd"
  compare_tool "$name-diff-json" diff "$input" "${inputs[0]}" --json
done
[[ ${#inputs[@]} -gt 1 ]] && compare_tool "diff-demo" diff "${inputs[@]}"
echo "mxtool: identical output on ${#compared[@]} runs (name:status:lines): ${compared[*]}"

# Without gnuplot on the Windows PATH, plot and report say how to get it.
for command in "plot ${inputs[0]} -o $tool_dir/chart" "report ${inputs[0]} -o $tool_dir/r.html"; do
  status=0
  # shellcheck disable=SC2086
  wine "$windows_build/tools/mxtool.exe" $command >/dev/null 2>"$tool_dir/gnuplot-missing.txt" ||
    status=$?
  if [[ $status != 2 ]] || ! grep -q "gnuplot is not on the PATH.*install it" \
    "$tool_dir/gnuplot-missing.txt"; then
    echo "mxtool $command under Wine: status $status, expected 2 and how to get gnuplot:" >&2
    cat "$tool_dir/gnuplot-missing.txt" >&2
    exit 1
  fi
done
echo "mxtool: Windows plot and report without gnuplot say how to get it"
echo "== Windows: mxtool comparison took $((SECONDS - tool_started)) s"

echo "== Windows stage took $((SECONDS - started)) s"

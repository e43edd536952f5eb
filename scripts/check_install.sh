#!/usr/bin/env bash
# What a host installs: `cmake --install` of a release build into a fresh
# prefix must hold the header, the versioned library with its SONAME and
# links, mxtool, the docs, the CMake package and mxplugin.pc; a host project
# (tests/consumer) built against that prefix through find_package and through
# pkg-config must print what the example host prints on data/demo.mxd; asking
# for the next major version must fail at configure time; and cpack must make
# a .deb holding the same files.
#
#   bash scripts/check_install.sh [build]   (after the release build)
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
build="${1:-build}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
version="$(sed -n 's/^#define MXPLUGIN_VERSION_STRING "\(.*\)"$/\1/p' include/mxplugin/mxplugin.h)"
major="${version%%.*}"
minor="${version#*.}"
minor="${minor%%.*}"

fail() {
  echo "check_install: $*" >&2
  exit 1
}

# The files every install and the package must hold, relative to the prefix.
files=(include/mxplugin/mxplugin.h include/mxplugin/mxplugin.f90 lib/libmxplugin.so.$version lib/libmxplugin.so.$major
  lib/libmxplugin.so bin/mxtool share/doc/mxplugin/README.md share/doc/mxplugin/CHANGELOG.md
  lib/cmake/mxplugin/mxpluginConfig.cmake lib/cmake/mxplugin/mxpluginConfigVersion.cmake
  lib/cmake/mxplugin/mxpluginTargets.cmake lib/pkgconfig/mxplugin.pc)

prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in "${files[@]}"; do
  [[ -e "$prefix/$f" ]] || fail "the install lacks $f"
done
soname="$(objdump -p "$prefix/lib/libmxplugin.so.$version" | awk '$1 == "SONAME" { print $2 }')"
[[ "$soname" == "libmxplugin.so.$major" ]] || fail "SONAME is '$soname', not libmxplugin.so.$major"
echo "installed $version, SONAME $soname, ${#files[@]} files checked"

"$build/examples/mx_host" --library "$build/libmxplugin.so" data/demo.mxd >"$work/expected.txt"
for road in cmake pkg-config; do
  # Each road sees the prefix through its own means only.
  if [[ "$road" == cmake ]]; then
    cmake -S tests/consumer -B "$work/$road" -DMX_FIND=cmake -DMX_VERSION="$major.$minor" \
      -DCMAKE_PREFIX_PATH="$prefix" >"$work/$road.log" 2>&1 || { cat "$work/$road.log"; fail "$road: configure failed"; }
  else
    PKG_CONFIG_PATH="$prefix/lib/pkgconfig" cmake -S tests/consumer -B "$work/$road" \
      -DMX_FIND=pkg-config >"$work/$road.log" 2>&1 || { cat "$work/$road.log"; fail "$road: configure failed"; }
  fi
  cmake --build "$work/$road" >>"$work/$road.log" 2>&1 || { cat "$work/$road.log"; fail "$road: build failed"; }
  ldd "$work/$road/consumer" | grep -q "libmxplugin.so.$major => $prefix/lib/" ||
    fail "$road: the consumer does not load the installed library"
  "$work/$road/consumer" data/demo.mxd >"$work/$road.txt"
  cmp -s "$work/expected.txt" "$work/$road.txt" || {
    diff "$work/expected.txt" "$work/$road.txt" | head -20 >&2
    fail "$road: the consumer's output differs from the example host's"
  }
  echo "consumer through $road: same output as the example host ($(wc -l <"$work/$road.txt") lines)"
done

newer="$((major + 1)).0"
if cmake -S tests/consumer -B "$work/newer" -DMX_FIND=cmake -DMX_VERSION="$newer" \
  -DCMAKE_PREFIX_PATH="$prefix" >"$work/newer.log" 2>&1; then
  fail "find_package(mxplugin $newer) accepted version $version"
fi
grep -q "compatible with requested version \"$newer\"" "$work/newer.log" ||
  { cat "$work/newer.log"; fail "find_package(mxplugin $newer) failed for another reason"; }
echo "find_package(mxplugin $newer) refused"

(cd "$build" && cpack -G DEB -B "$work/deb") >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack failed"; }
deb="$(ls "$work"/deb/mxplugin_"$version"_*.deb)"
listing="$(dpkg-deb -c "$deb")"
for f in "${files[@]}"; do
  grep -q " \./usr/$f\( -> .*\)\?$" <<<"$listing" || fail "$(basename "$deb") lacks /usr/$f"
done
depends="$(dpkg-deb -f "$deb" Depends)"
[[ "$depends" == *libssl3* ]] || fail "$(basename "$deb") does not depend on libssl3: $depends"
echo "$(basename "$deb"): ${#files[@]} files checked, Depends: $depends"
echo "== install stage took $((SECONDS - started)) s"

#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the tools need.
# Runs apt-get only when something is missing, so repeated runs are quick.
set -euo pipefail
packages=(
  build-essential cmake ccache pkg-config python3 gfortran
  libgtest-dev libgmock-dev libbenchmark-dev
  libssl-dev nlohmann-json3-dev libcli11-dev libeigen3-dev
  gnuplot-nox python3-pytest python3-numpy python3-getfem
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  gfortran-mingw-w64-x86-64-posix
  googletest wine wine64
  clang libclang-rt-14-dev llvm
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

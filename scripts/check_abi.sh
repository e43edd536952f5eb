#!/usr/bin/env bash
# What the Linux library needs from the system it loads on: prints its NEEDED
# entries and the highest symbol version it asks of each runtime, and fails
# when a library outside the known set appears or a version rises above its
# ceiling. The ceilings keep it loading on Debian 12, Ubuntu 22.04 and RHEL 9
# (glibc 2.34, libstdc++ of GCC 11, OpenSSL 3.0).
#
#   bash scripts/check_abi.sh [build/libmxplugin.so]
set -euo pipefail
library="${1:-build/libmxplugin.so}"
allowed_needed="libc.so.6 libm.so.6 libgcc_s.so.1 libstdc++.so.6 libcrypto.so.3"
ceilings=(GLIBC_2.34 GLIBCXX_3.4.29 CXXABI_1.3.9 OPENSSL_3.0.0)

headers="$(objdump -p "$library")"
status=0
echo "$library"
needed="$(awk '$1 == "NEEDED" { print $2 }' <<<"$headers")"
for lib in $needed; do
  if [[ " $allowed_needed " == *" $lib "* ]]; then
    echo "  NEEDED $lib"
  else
    echo "  NEEDED $lib   <- not among: $allowed_needed"
    status=1
  fi
done

# Symbol versions from the version-reference table, e.g. "GLIBCXX_3.4.29".
versions="$(sed -n '/^Version References:/,/^$/p' <<<"$headers" | awk 'NF == 4 { print $4 }')"
for ceiling in "${ceilings[@]}"; do
  family="${ceiling%_*}"
  highest="$(grep -E "^${family}_[0-9.]+$" <<<"$versions" | sort -V | tail -n 1 || true)"
  if [[ -z "$highest" ]]; then
    echo "  $family: none"
  elif [[ "$(printf '%s\n%s\n' "$highest" "$ceiling" | sort -V | tail -n 1)" != "$ceiling" ]]; then
    echo "  $family: highest $highest   <- above the ceiling $ceiling"
    status=1
  else
    echo "  $family: highest $highest (ceiling $ceiling)"
  fi
done
exit "$status"

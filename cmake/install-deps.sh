#!/usr/bin/env bash
# Installs the Debian packages the build and the tests use. With "native"
# only what the Linux build needs; with "all" the cross compilers, Wine and
# the fuzzing toolchain too. Does nothing for packages already installed.
set -euo pipefail
native=(cmake ninja-build g++ make googletest libbenchmark-dev)
all=("${native[@]}" g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64
     binutils-mingw-w64-i686 wine64 clang libclang-rt-14-dev util-linux libc-bin procps netbase)
case "${1:-all}" in
  native) wanted=("${native[@]}") ;;
  all) wanted=("${all[@]}") ;;
  *) echo "usage: $0 [native|all]" >&2; exit 2 ;;
esac
missing=()
for pkg in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
echo "installing: ${missing[*]}"
"${sudo[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"

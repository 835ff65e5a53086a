#!/usr/bin/env bash
# Installs the build into a scratch prefix, then builds and runs the downstream
# host program twice: once through find_package(ardoxml CONFIG), once through
# pkg-config with -Wall -Wextra -Werror. Proves a host needs nothing but the
# installed package and <ardoxml/ardoxml.h>.
set -euo pipefail
build=$1
src=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null
libdir=$(dirname "$(find "$work/prefix" -name 'libardoxml.so' | head -n 1)")

cmake -S "$src/examples/host_program" -B "$work/cmake-host" -G Ninja \
  -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/cmake-host" >/dev/null
LD_LIBRARY_PATH="$libdir" "$work/cmake-host/host_program"

export PKG_CONFIG_PATH="$libdir/pkgconfig"
g++ -std=c++17 -Wall -Wextra -Werror "$src"/examples/host_program/*.cpp \
  $(pkg-config --cflags --libs ardoxml) -o "$work/pkg-host"
LD_LIBRARY_PATH="$libdir" "$work/pkg-host"
echo "installed package: cmake and pkg-config consumers built and ran"

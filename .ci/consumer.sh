#!/usr/bin/env bash
# Checks ostrel as its users get it: installs it to a scratch prefix, then
# builds and runs the example consumer (examples/consumer) three ways:
# through the installed CMake package, through the pkg-config file, and with
# the source tree vendored by add_subdirectory. Exits non-zero on the first
# failure; prints the time the step took.
set -euo pipefail

cd "$(dirname "$0")/.."
root=$PWD
start=$SECONDS

.ci/deps cmake ninja-build g++ pkg-config libcpp-httplib-dev

# Two cores are all CI has; builds take both and no more.
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-2}

work=$root/build/consumer
prefix=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-prefix.XXXXXX")
trap 'rm -rf "$prefix"' EXIT
rm -rf "$work"
mkdir -p "$work"

echo "== build and install ostrel to $prefix"
cmake -S . -B "$work/ostrel" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DOSTREL_BUILD_TESTS=OFF -DOSTREL_BUILD_TOOLS=OFF \
  -DOSTREL_BUILD_BENCHMARKS=OFF -DOSTREL_BUILD_FUZZERS=OFF >/dev/null
cmake --build "$work/ostrel"
cmake --install "$work/ostrel" --prefix "$prefix" >/dev/null

# The installed library must carry its major version in its SONAME.
soname=$(readelf -d "$prefix/lib/libostrel.so" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
echo "libostrel SONAME: $soname"
[[ $soname == libostrel.so.0 ]]

echo "== consumer through find_package(ostrel CONFIG)"
cmake -S examples/consumer -B "$work/package" -G Ninja \
  -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/package"
"$work/package/ostrel_consumer"

echo "== consumer through pkg-config"
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
echo "ostrel $(pkg-config --modversion ostrel) with ostrel-cpp $(pkg-config --modversion ostrel-cpp)"
# shellcheck disable=SC2046  # pkg-config prints words meant to be split
g++ -std=c++17 -Wall -Wextra -Werror examples/consumer/main.cc \
  $(pkg-config --cflags --libs ostrel-cpp) -o "$work/ostrel_consumer_pc"
LD_LIBRARY_PATH="$prefix/lib" "$work/ostrel_consumer_pc"

echo "== consumer with ostrel vendored by add_subdirectory"
cmake -S examples/consumer -B "$work/vendored" -G Ninja \
  -DOSTREL_SOURCE_DIR="$root" >/dev/null
cmake --build "$work/vendored"
"$work/vendored/ostrel_consumer"
# Vendored, ostrel builds its libraries only: tests, tools, benchmarks and
# install rules default to off.
for option in BUILD_TESTS BUILD_TOOLS BUILD_BENCHMARKS INSTALL; do
  if ! grep -q "^OSTREL_$option:BOOL=OFF\$" "$work/vendored/CMakeCache.txt"; then
    echo "vendored build has OSTREL_$option on" >&2
    exit 1
  fi
done

echo "consumer step passed in $((SECONDS - start)) s"

#!/usr/bin/env bash
# Checks ostrel as its users get it: installs it to a scratch prefix, then
# builds and runs the example consumers (examples/consumer: one on the C++
# layer, one on the exported plain functions alone, linked with --as-needed)
# three ways: through the installed CMake package, through the pkg-config
# file, and with the source tree vendored by add_subdirectory. Every public
# header must compile on its own from the source tree's include folders and
# from the installed ones, and the quick start (examples/quickstart), copied
# out of the tree, must build against the installed package and print what
# the README says. Programs run without LD_LIBRARY_PATH: the installed
# libraries find each other. Exits non-zero on the first failure; prints the
# time the step took.
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
# ...and find libcmutil beside itself, wherever the prefix is.
runpath=$(readelf -d "$prefix/lib/libostrel.so" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
echo "libostrel RUNPATH: ${runpath:-(none)}"
[[ $runpath == '$ORIGIN' ]]
unset LD_LIBRARY_PATH

echo "== every public header compiles on its own"
# From the source tree: its three include folders, nothing built.
for header in ostrel/include/*.h util/include/*.h cpp/include/ostrel/cpp.h \
    cpp/include/ostrel/cpp/*.h; do
  echo "#include \"$root/$header\"" |
    g++ -std=c++17 -fsyntax-only -Wall -Wextra -Werror -Iostrel/include \
      -Iutil/include -Icpp/include -x c++ - ||
    { echo "$header does not compile from the source tree's folders" >&2; exit 1; }
done
# From the install: the folders the package's pkg-config files name.
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
installed_flags=$(pkg-config --cflags ostrel-cpp)
count=0
while IFS= read -r header; do
  # shellcheck disable=SC2086  # pkg-config prints words meant to be split
  echo "#include <${header#"$prefix/include/"}>" |
    g++ -std=c++17 -fsyntax-only -Wall -Wextra -Werror $installed_flags \
      -x c++ - ||
    { echo "$header does not compile from the installed folders" >&2; exit 1; }
  count=$((count + 1))
done < <(find "$prefix/include" -name '*.h' | sort)
echo "$count installed headers and the source tree's headers compile alone"

echo "== consumer through find_package(ostrel CONFIG)"
cmake -S examples/consumer -B "$work/package" -G Ninja \
  -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/package"
"$work/package/ostrel_consumer"
"$work/package/ostrel_plain_consumer"

echo "== consumer through pkg-config"
echo "ostrel $(pkg-config --modversion ostrel) with ostrel-cpp $(pkg-config --modversion ostrel-cpp)"
# shellcheck disable=SC2046  # pkg-config prints words meant to be split
g++ -std=c++17 -Wall -Wextra -Werror examples/consumer/main.cc \
  $(pkg-config --cflags --libs ostrel-cpp) -o "$work/ostrel_consumer_pc"
LD_LIBRARY_PATH="$prefix/lib" "$work/ostrel_consumer_pc"
# The plain functions alone with --as-needed: the program lists libostrel
# only, which must bring libcmutil by itself.
# shellcheck disable=SC2046
g++ -std=c++17 -Wall -Wextra -Werror examples/consumer/plain_main.cc \
  -Wl,--as-needed $(pkg-config --cflags --libs ostrel) \
  -Wl,-rpath,"$prefix/lib" -o "$work/ostrel_plain_consumer_pc"
if readelf -d "$work/ostrel_plain_consumer_pc" | grep -F '(NEEDED)' |
    grep -qF libcmutil; then
  echo "the plain consumer lists libcmutil although it uses nothing of it" >&2
  exit 1
fi
"$work/ostrel_plain_consumer_pc"

echo "== the quick start, copied out of the tree, against the package"
cp -R examples/quickstart "$work/quickstart"
cmake -S "$work/quickstart" -B "$work/quickstart/build" -G Ninja \
  -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/quickstart/build"
"$work/quickstart/build/ostrel_quickstart" >"$work/quickstart.out"
cat "$work/quickstart.out"
printf 'relay mode on\nset: KOVA_S_OK\nMaxFps 60, relay on\nFpsFor 4: 30\n' >"$work/quickstart.expected"
tail -n 4 "$work/quickstart.out" | diff "$work/quickstart.expected" -

echo "== consumer with ostrel vendored by add_subdirectory"
cmake -S examples/consumer -B "$work/vendored" -G Ninja \
  -DOSTREL_SOURCE_DIR="$root" >/dev/null
cmake --build "$work/vendored"
"$work/vendored/ostrel_consumer"
"$work/vendored/ostrel_plain_consumer"
# Vendored, ostrel builds its libraries only: tests, tools, benchmarks and
# install rules default to off.
for option in BUILD_TESTS BUILD_TOOLS BUILD_BENCHMARKS INSTALL; do
  if ! grep -q "^OSTREL_$option:BOOL=OFF\$" "$work/vendored/CMakeCache.txt"; then
    echo "vendored build has OSTREL_$option on" >&2
    exit 1
  fi
done

echo "consumer step passed in $((SECONDS - start)) s"

#!/usr/bin/env bash
# The Windows build: cross-compiles cmutil.dll, ostrel.dll and the test
# programs for x86-64 Windows with MinGW-w64, runs the test suite under Wine
# and checks the DLLs' export tables and imports (the plain functions include
# GetKovaConfigCell, which the C++ layer's handles resolve through), then
# builds the example consumer against the installed package and runs it.
# Installs the packages it needs when they are missing. Prints the test summary and the time the step
# took; exits non-zero on any failure.
#
# OSTREL_WINDOWS_BUILD_DIR picks the build directory (default build/windows);
# the Wine prefix lives inside it.
set -euo pipefail

cd "$(dirname "$0")/.."
start=$SECONDS
build=${OSTREL_WINDOWS_BUILD_DIR:-build/windows}

.ci/deps cmake ninja-build g++-mingw-w64-x86-64-posix googletest wine wine64

mkdir -p "$build"
build=$(cd "$build" && pwd)
WINEPREFIX=$build/wine
export WINEPREFIX WINEDEBUG=-all
# Two cores are all CI has; builds take both and no more.
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-2}

# The prefix's wineserver outlives the programs for a few seconds; it is this
# step's own, so it is ended with the step.
stop_wine() { wineserver -k >/dev/null 2>&1 || true; }
trap stop_wine EXIT

if [[ ! -f $WINEPREFIX/system.reg ]]; then
  echo "== creating the Wine prefix $WINEPREFIX"
  wineboot -i >"$build/wineboot.log" 2>&1 || {
    cat "$build/wineboot.log"
    exit 1
  }
  wineserver -w
fi

echo "== configure and build ($build)"
# No inspector on Windows: Debian ships its HTTP server library
# (libcpp-httplib-dev) only as a Linux shared library with a header of
# declarations, with no MinGW build and no header-only source, and nothing
# is downloaded at build time; its connection layer also uses POSIX sockets.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchain-mingw-w64.cmake" \
  -DOSTREL_BUILD_TESTS=ON -DOSTREL_BUILD_TOOLS=OFF \
  -DOSTREL_BUILD_BENCHMARKS=OFF -DOSTREL_BUILD_FUZZERS=OFF \
  -DOSTREL_BUILD_INSPECTOR=OFF >/dev/null
cmake --build "$build"

echo "== tests under $(wine --version)"
# One persistent wineserver for the whole run: test programs started in
# parallel then never race to start their own. A test that still fails is run
# once more, since a Wine process can die at start-up with no output at all;
# the same tests run on Linux (also under the sanitizers) without a second
# chance.
wineserver -p
# Start the prefix's own services now, detached from any test: a service
# started by a test program would inherit its output pipe and keep the test
# "running" until the server ends.
wineboot </dev/null >/dev/null 2>&1 || true
status=0
ctest --test-dir "$build" -j2 --timeout 300 --output-on-failure \
  --repeat until-pass:2 \
  >"$build/ctest.log" 2>&1 || status=$?
grep -vE '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed|^ +Start +[0-9]+:' \
  "$build/ctest.log" || true

echo "== export table"
bash ostrel/test/windows_exports_test.sh "$build/bin/ostrel.dll" \
  "$build/bin/cmutil.dll" x86_64-w64-mingw32-objdump || status=1

echo "== example consumer against the installed Windows package"
prefix=$build/install
rm -rf "$prefix" "$build/consumer"
cmake --install "$build" --prefix "$prefix" >/dev/null
# The toolchain confines package searches to the MinGW root, so the package
# is named by its directory.
if cmake -S examples/consumer -B "$build/consumer" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchain-mingw-w64.cmake" \
  -Dostrel_DIR="$prefix/lib/cmake/ostrel" >/dev/null &&
  cmake --build "$build/consumer"; then
  # A Windows program finds its DLLs beside it.
  cp "$prefix"/bin/*.dll "$build/consumer/"
  wine "$build/consumer/ostrel_consumer.exe" || status=1
else
  echo "consumer build failed"
  status=1
fi

summary=$(grep -E 'tests passed' "$build/ctest.log" | tail -n 1 || true)
echo "windows: ${summary:-no ctest summary}"
echo "windows step took $((SECONDS - start)) s"
exit "$status"

#!/usr/bin/env bash
# Checks the package as a user installs it: builds the libraries and the
# command, installs them into a fresh prefix and moves the prefix (nothing may
# depend on where it was built or installed), then runs the installed
# `ostrel --version` and `ostrel demo`, renders the installed manual page
# without warnings, validates the shipped examples against `ostrel schema`
# with a JSON Schema validator (the ajv library from npm, driven by
# .ci/validate-json.js), and asks the CMake package for a version and a
# component it does not have; builds and runs a host with the inspector
# (examples/inspector) against the moved prefix. Exits non-zero on the first
# failure.
set -euo pipefail

cd "$(dirname "$0")/.."
root=$PWD
start=$SECONDS

.ci/deps cmake ninja-build g++ libcli11-dev man-db groff-base \
  libcpp-httplib-dev pkg-config
# Node and npm come from Debian unless the machine has them already.
if ! command -v npm >/dev/null; then
  .ci/deps nodejs npm
fi

export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-2}

work=$root/build/package
scratch=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-package.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
rm -rf "$work/ostrel" "$work/find"
mkdir -p "$work"

echo "== build and install ostrel with the command"
cmake -S . -B "$work/ostrel" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DOSTREL_BUILD_TESTS=OFF -DOSTREL_BUILD_TOOLS=ON \
  -DOSTREL_BUILD_BENCHMARKS=OFF -DOSTREL_BUILD_FUZZERS=OFF >/dev/null
cmake --build "$work/ostrel"
cmake --install "$work/ostrel" --prefix "$scratch/installed" >/dev/null
mv "$scratch/installed" "$scratch/moved"
prefix=$scratch/moved
ostrel=$prefix/bin/ostrel

echo "== the installed command"
"$ostrel" --version
# It runs the store of the shipped library, the one beside it.
loaded=$(ldd "$ostrel" | awk '$1 ~ /^libostrel\.so/ { print $3 }')
if [[ -z $loaded || $(realpath "$loaded") != $(realpath "$prefix/lib/libostrel.so.0") ]]; then
  echo "the installed command does not load $prefix/lib/libostrel.so.0 (${loaded:-none})" >&2
  exit 1
fi
echo "the installed command loads $loaded"
# Run from elsewhere: the demo must find the installed sample by itself.
(cd "$scratch" && "$ostrel" demo >"$scratch/demo.out")
grep -F 'teardown: clean' "$scratch/demo.out"

echo "== the installed manual page"
MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/ostrel.1" \
  >/dev/null 2>"$scratch/man.err"
if [[ -s $scratch/man.err ]]; then
  cat "$scratch/man.err" >&2
  exit 1
fi
echo "ostrel.1 renders without warnings"
# A JSON Schema validator must be told the schema's draft; the page says so.
MANWIDTH=80 man -l "$prefix/share/man/man1/ostrel.1" 2>/dev/null |
  tr -s ' \n' '  ' >"$scratch/man.txt"
for phrase in 'needs draft 2020-12' 'draft option set to draft2020'; do
  if ! grep -qF -- "$phrase" "$scratch/man.txt"; then
    echo "ostrel.1 does not say: $phrase" >&2
    exit 1
  fi
done

echo "== the examples against ostrel schema"
ajv_dir=$root/build/ci-tools/ajv
if [[ ! -f $ajv_dir/node_modules/ajv/dist/2020.js ]]; then
  npm install --no-audit --no-fund --prefix "$ajv_dir" ajv@8.17.1 >/dev/null
fi
ajv() {
  NODE_PATH=$ajv_dir/node_modules node .ci/validate-json.js \
    "$scratch/ostrel.schema.json" "$@"
}
"$ostrel" schema >"$scratch/ostrel.schema.json"
# Every example is listed once: documents the schema accepts, documents it
# rejects for their structure, and text that is not JSON at all.
valid=(call-sample.json broken/toggle-typo.json)
rejected=(broken/comma-in-array-string.json broken/group-not-array.json
  broken/lowercase-group.json broken/missing-value.json
  broken/number-value.json)
not_json=(broken/reader-quirks.json)  # a comma before "}": only the store's reader takes it
listed=" ${valid[*]} ${rejected[*]} ${not_json[*]} "
for file in examples/*.json examples/broken/*.json; do
  if [[ $listed != *" ${file#examples/} "* ]]; then
    echo "$file is not listed as valid, rejected or not JSON" >&2
    exit 1
  fi
done
for file in "${valid[@]}"; do
  ajv "examples/$file"
done
# What the store writes back is a document of the same schema.
"$ostrel" apply examples/call-sample.json >"$scratch/dump.json"
ajv "$scratch/dump.json"
for file in "${rejected[@]}"; do
  # Exit status 1 is "invalid"; anything else is a failure of the run.
  status=0
  ajv "examples/$file" >"$scratch/ajv.out" 2>&1 || status=$?
  if ((status != 1)); then
    cat "$scratch/ajv.out" >&2
    echo "examples/$file: expected the schema to reject it (status $status)" >&2
    exit 1
  fi
  echo "examples/$file rejected: $(tail -n 1 "$scratch/ajv.out")"
done

echo "== the CMake package refuses what it does not have"
mkdir -p "$work/find"
cat >"$work/find/CMakeLists.txt" <<'EOF'
cmake_minimum_required(VERSION 3.25)
project(find_ostrel LANGUAGES CXX)
find_package(ostrel ${REQUEST} CONFIG REQUIRED)
EOF
version=$(sed -n 's/^project(ostrel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
IFS=. read -r major minor _ <<<"$version"
find_ostrel() {
  rm -rf "$work/find/build"
  cmake -S "$work/find" -B "$work/find/build" -DCMAKE_PREFIX_PATH="$prefix" \
    "-DREQUEST=$1" >"$scratch/find.out" 2>&1
}
find_ostrel "$major.$minor;COMPONENTS;ostrel;cmutil"
if find_ostrel "$major.$((minor + 1))"; then
  echo "find_package accepted version $major.$((minor + 1)) of $version" >&2
  exit 1
fi
if ((major == 0 && minor > 0)) && find_ostrel "0.$((minor - 1))"; then
  echo "find_package accepted version 0.$((minor - 1)) of $version" >&2
  exit 1
fi
if find_ostrel "COMPONENTS;ostrel;frobnicator"; then
  echo "find_package accepted the unknown component frobnicator" >&2
  exit 1
fi
grep -F 'ostrel has no component "frobnicator"' "$scratch/find.out"

echo "== a host with the inspector (ostrel::inspect)"
find_ostrel "COMPONENTS;cpp;inspect"
rm -rf "$work/inspector"
cmake -S examples/inspector -B "$work/inspector" -G Ninja \
  -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/inspector"
"$work/inspector/inspector_example"

echo "package step passed in $((SECONDS - start)) s"

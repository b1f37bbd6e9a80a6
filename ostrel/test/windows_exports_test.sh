#!/usr/bin/env bash
# The Windows DLLs as a host sees them, read from their PE headers with
# objdump -p:
#   - ostrel.dll exports exactly the API: the plain functions under their
#     undecorated names, the two ConfigData members compiled into it, the
#     client helper class (members, vtable, type info) and the copy
#     operations of the two statistics interfaces;
#   - ostrel.dll and cmutil.dll import nothing but Windows system DLLs (and
#     ostrel.dll the util library): the compiler runtime is linked in.
# Prints the export table it read. Exits non-zero on any difference.
#
# Usage: windows_exports_test.sh OSTREL_DLL CMUTIL_DLL [OBJDUMP]
set -euo pipefail

if (($# < 2)); then
  echo "usage: $0 OSTREL_DLL CMUTIL_DLL [OBJDUMP]" >&2
  exit 2
fi
ostrel_dll=$1
cmutil_dll=$2
objdump=${3:-x86_64-w64-mingw32-objdump}
# The target's own demangler when it sits beside objdump; the mangling is the
# same as the host's, so the host's one will do otherwise.
cxxfilt=${objdump%objdump}c++filt
command -v "$cxxfilt" >/dev/null 2>&1 || cxxfilt=c++filt

plain_names=(
  CreateKovaConfig ReleaseKovaConfig CleanUpKovaConfig DestroyKovaConfig
  GetKovaConfigSizeForUT GetKovaConfigValue GetKovaConfigValueEx
  createOstrelEntity releaseOstrelEntity
  ListKovaConfigCallIds GetKovaConfigCounters GetKovaConfigTotalCounters
  SetKovaJournalSettings GetKovaJournalSettings SetKovaJournalEnabled
  ReadKovaJournal findOstrelEntity listOstrelEntities
)
cxx_names=(
  "ConfigData::ConfigData(char const*, unsigned int)"
  "ConfigData::CopyBufferTo(char*, unsigned int) const"
  "typeinfo for kovaStore::KovaConfigHelper"
  "vtable for kovaStore::KovaConfigHelper"
  "kovaStore::KovaConfigHelper::KovaConfigHelper(unsigned int)"
  "kovaStore::KovaConfigHelper::KovaConfigHelper(kovaStore::KovaConfigHelper const&)"
  "kovaStore::KovaConfigHelper::~KovaConfigHelper()"
  "kovaStore::KovaConfigHelper::operator=(kovaStore::KovaConfigHelper const&)"
  "kovaStore::IKovaAudioInfo::IKovaAudioInfo(kovaStore::IKovaAudioInfo const&)"
  "kovaStore::IKovaAudioInfo::operator=(kovaStore::IKovaAudioInfo const&)"
  "kovaStore::IKovaVideoInfo::IKovaVideoInfo(kovaStore::IKovaVideoInfo const&)"
  "kovaStore::IKovaVideoInfo::operator=(kovaStore::IKovaVideoInfo const&)"
)
helper_prefix="kovaStore::KovaConfigHelper::"
system_dlls="^(KERNEL32|kernel32|msvcrt|ucrtbase|api-ms-win-crt-[a-z0-9-]+|ADVAPI32|USER32|ntdll)\.dll$"

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# The names of the export table, raw, one a line.
exported_names() {
  "$objdump" -p "$1" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p'
}

# The DLLs a module imports, one a line.
imported_dlls() {
  "$objdump" -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p'
}

mapfile -t raw < <(exported_names "$ostrel_dll")
((${#raw[@]} > 0)) || { echo "FAIL: no export table in $ostrel_dll"; exit 1; }
mapfile -t demangled < <(printf '%s\n' "${raw[@]}" | "$cxxfilt")

echo "Export table of $(basename "$ostrel_dll") (${#raw[@]} names):"
for i in "${!raw[@]}"; do
  if [[ ${raw[$i]} == "${demangled[$i]}" ]]; then
    printf '  %s\n' "${raw[$i]}"
  else
    printf '  %s  [%s]\n' "${demangled[$i]}" "${raw[$i]}"
  fi
done

declare -A seen_plain=() seen_cxx=()
is_plain() {
  local name
  for name in "${plain_names[@]}"; do [[ $1 == "$name" ]] && return 0; done
  return 1
}
is_cxx() {
  local name
  for name in "${cxx_names[@]}"; do [[ $1 == "$name" ]] && return 0; done
  return 1
}

for i in "${!raw[@]}"; do
  r=${raw[$i]}
  d=${demangled[$i]}
  if is_plain "$r"; then
    seen_plain[$r]=1
  elif is_cxx "$d"; then
    seen_cxx[$d]=1
  elif [[ $d == "$helper_prefix"* ]]; then
    :
  else
    fail "unexpected export: $d ($r)"
  fi
  # A plain function must never be exported under a decorated name.
  if [[ $r != "$d" ]]; then
    for name in "${plain_names[@]}"; do
      [[ $d == *"$name("* ]] && fail "decorated export of $name: $d"
    done
  fi
done
for name in "${plain_names[@]}"; do
  [[ -n ${seen_plain[$name]:-} ]] || fail "missing export: $name"
done
for name in "${cxx_names[@]}"; do
  [[ -n ${seen_cxx[$name]:-} ]] || fail "missing export: $name"
done

for dll in "$ostrel_dll" "$cmutil_dll"; do
  while read -r import; do
    [[ $import =~ $system_dlls ]] && continue
    [[ $dll == "$ostrel_dll" && $import == "$(basename "$cmutil_dll")" ]] &&
      continue
    fail "$(basename "$dll") imports $import"
  done < <(imported_dlls "$dll")
done
echo "Imports of $(basename "$ostrel_dll"): $(imported_dlls "$ostrel_dll" | tr '\n' ' ')"
echo "Imports of $(basename "$cmutil_dll"): $(imported_dlls "$cmutil_dll" | tr '\n' ' ')"

if ((failures > 0)); then
  echo "$failures problem(s) in the export table or imports"
  exit 1
fi
echo "export table and imports as expected"

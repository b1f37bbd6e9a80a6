// Fuzz target of a store's apply and dump: every input is applied as a
// configuration document to a fresh store, all groups are dumped, and the
// store is given back. Trace lines are built (the mask stays at its most
// verbose) but dropped, so the fuzzer is not slowed by output.
#include <CmTrace.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ostrel/IKovaConfig.h"
#include "ostrel/KovaConfigApi.h"

namespace {

void dropTraceLine(void*, int, const char*, const char*, unsigned) {}

constexpr uint32_t kCallId = 4242;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  set_external_trace_mask(2);
  SetCmTraceSink(dropTraceLine, nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The store takes NUL-terminated text: an input is read up to its first NUL.
  const std::string text(reinterpret_cast<const char*>(data), size);
  kovaStore::IKovaConfig* store = nullptr;
  if (kovaStore::CreateKovaConfig(kCallId, &store) != KOVA_S_OK ||
      store == nullptr) {
    std::abort();
  }
  store->ApplyKovaConfigs(text.c_str());
  const char* dump = store->DumpKovaConfigs(0xFFFFFFFF);
  if (dump == nullptr || dump[0] != '{') std::abort();
  kovaStore::ReleaseKovaConfig(store);
  kovaStore::CleanUpKovaConfig(kCallId);
  return 0;
}

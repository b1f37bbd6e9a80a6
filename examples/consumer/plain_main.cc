// A module that uses only ostrel's exported plain functions and the store
// interface they hand out: nothing of the util library by name. Linked with
// --as-needed it lists libostrel alone, so it starts only when libostrel
// finds libcmutil by itself. Exits 0 when the store behaved as promised.
#include <ostrel/ostrel.h>

#include <cstdio>
#include <cstring>

int main() {
  const uint32_t callId = 77;
  kovaStore::IKovaConfig* store = nullptr;
  if (kovaStore::CreateKovaConfig(callId, &store) != KOVA_S_OK ||
      store == nullptr) {
    std::fputs("plain consumer: no store\n", stderr);
    return 1;
  }
  const KOVA_RESULT applied = store->ApplyKovaConfigs(
      "{\"Audio\":[{\"key\":\"AecMode\",\"value\":\"3\"}]}");
  const char* dump =
      store->DumpKovaConfigs(1u << kovaStore::KovaConfigGroup_Audio);
  const bool ok =
      applied == KOVA_S_OK && std::strcmp(dump,
                                          "{\"Audio\":[{\"key\":\"AecMode\","
                                          "\"value\":\"3\"}]}") == 0;
  kovaStore::ReleaseKovaConfig(store);
  kovaStore::CleanUpKovaConfig(callId);
  std::printf("plain consumer: %s\n", ok ? "ok" : "FAILED");
  return ok && kovaStore::GetKovaConfigSizeForUT() == 0 ? 0 : 1;
}

// The shared library as the engine uses it: loaded at run time, its plain
// exported functions found by name, one call driven through them, and the
// exported client class reached through its linker names.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ostrel/IKovaConfig.h"
#include "ostrel/KovaConfigApi.h"
#include "ostrel/KovaConfigHelper.h"
#include "util/testing/trace_capture.h"

namespace kovaStore {
namespace {

typedef std::unique_ptr<void, int (*)(void*)> Library;

Library load() {
  Library library(dlopen(OSTREL_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL), dlclose);
  EXPECT_TRUE(library) << dlerror();
  return library;
}

// A function found by name, with the exact type the public header declares.
template <class Fn>
Fn resolve(const Library& library, const char* name) {
  void* symbol = library ? dlsym(library.get(), name) : nullptr;
  EXPECT_NE(symbol, nullptr) << name;
  return reinterpret_cast<Fn>(symbol);
}
#define KOVA_RESOLVE(library, fn) resolve<decltype(&fn)>(library, #fn)

// The value readers reach the store without holding a reference of their
// own; the trace lines carry the loaded library's module name.
TEST(LoadedLibrary, DrivesOneCallFromCreateToCleanUpAndTracesAsTheLibrary) {
  const Library library = load();
  auto create = KOVA_RESOLVE(library, CreateKovaConfig);
  auto release = KOVA_RESOLVE(library, ReleaseKovaConfig);
  auto cleanUp = KOVA_RESOLVE(library, CleanUpKovaConfig);
  auto destroy = KOVA_RESOLVE(library, DestroyKovaConfig);
  auto size = KOVA_RESOLVE(library, GetKovaConfigSizeForUT);
  auto readEx = KOVA_RESOLVE(library, GetKovaConfigValueEx);
  auto read = KOVA_RESOLVE(library, GetKovaConfigValue);
  ASSERT_TRUE(create && release && cleanUp && destroy && size && readEx &&
              read);
  const uint32_t before = size();
  CmTraceCapture capture(2);
  IKovaConfig* store = nullptr;
  ASSERT_EQ(create(4242, &store), KOVA_S_OK);
  const std::vector<CmTraceLine> lines = capture.Lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_TRUE(capture.HasExact(2, "kovaStore::CreateKovaConfig [cid=4242]"));
  for (const CmTraceLine& line : lines)
    EXPECT_EQ(std::strrchr(OSTREL_LIBRARY_PATH, '/') + 1, line.module);

  std::string seen;
  ASSERT_NE(store->SubscribeConfig(
                KovaConfigGroup_Audio, "AecMode",
                [&](const KovaConfigEvent& event) {
                  seen += event.newValue.ToCstr();
                },
                nullptr, false),
            0u);
  EXPECT_EQ(store->SetKovaConfig(KovaConfigGroup_Audio, "AecMode",
                                 ConfigData("2"), false, false),
            KOVA_S_OK);
  EXPECT_EQ(seen, "2");
  ConfigData value, valueEx;
  EXPECT_EQ(readEx(KovaConfigGroup_Audio, "AecMode", valueEx, 4242), KOVA_S_OK);
  EXPECT_EQ(read(kova::KovaSessionType_Audio, "AecMode", value, 4242),
            KOVA_S_OK);
  EXPECT_EQ(value, ConfigData("2"));
  EXPECT_EQ(valueEx, ConfigData("2"));

  IKovaConfig* again = nullptr;
  ASSERT_EQ(create(4242, &again), KOVA_S_OK);
  EXPECT_EQ(again, store);
  EXPECT_EQ(size(), before + 1);
  EXPECT_EQ(release(again), KOVA_S_OK);
  EXPECT_EQ(release(store), KOVA_S_OK);
  EXPECT_EQ(size(), before + 1);  // the call's own reference remains
  EXPECT_EQ(cleanUp(4242), KOVA_S_OK);
  EXPECT_EQ(size(), before);
  destroy();
}

// The constructor and destructor take the object's address first. The store
// lives in the loaded library's registry, not in the copy of the code linked
// into this test.
TEST(DlopenHelperTest, LoadedHelperBindsACallInTheLibrarysOwnRegistry) {
  const Library library = load();
  auto construct = resolve<void (*)(KovaConfigHelper*, uint32_t)>(
      library, "_ZN9kovaStore16KovaConfigHelperC1Ej");
  auto destruct = resolve<void (*)(KovaConfigHelper*)>(
      library, "_ZN9kovaStore16KovaConfigHelperD1Ev");
  auto size = KOVA_RESOLVE(library, GetKovaConfigSizeForUT);
  auto cleanUp = KOVA_RESOLVE(library, CleanUpKovaConfig);
  ASSERT_TRUE(construct && destruct && size && cleanUp);
  const uint32_t loadedBefore = size(), linkedBefore = GetKovaConfigSizeForUT();
  alignas(KovaConfigHelper) unsigned char storage[sizeof(KovaConfigHelper)];
  auto* helper = reinterpret_cast<KovaConfigHelper*>(storage);
  construct(helper, 0x5A5A0001);
  EXPECT_EQ(loadedBefore + 1, size());
  EXPECT_EQ(linkedBefore, GetKovaConfigSizeForUT());
  destruct(helper);
  EXPECT_EQ(KOVA_S_OK, cleanUp(0x5A5A0001));  // the call's own reference
  EXPECT_EQ(loadedBefore, size());
}

}  // namespace
}  // namespace kovaStore

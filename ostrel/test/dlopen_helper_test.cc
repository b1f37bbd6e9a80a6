// The exported client class as a module loading the library at run time
// reaches it: constructor and destructor found by their linker names.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <memory>

#include "KovaConfigApi.h"
#include "KovaConfigHelper.h"

namespace kovaStore {
namespace {

typedef void (*ConstructFn)(KovaConfigHelper*, uint32_t);
typedef void (*DestructFn)(KovaConfigHelper*);

TEST(DlopenHelperTest, LoadedHelperBindsACallInTheLibrarysOwnRegistry) {
  std::unique_ptr<void, int (*)(void*)> library(
      dlopen(OSTREL_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL), dlclose);
  ASSERT_TRUE(library) << dlerror();
  void* handle = library.get();
  // The constructor and destructor take the object's address first.
  auto construct = reinterpret_cast<ConstructFn>(
      dlsym(handle, "_ZN9kovaStore16KovaConfigHelperC1Ej"));
  auto destruct = reinterpret_cast<DestructFn>(
      dlsym(handle, "_ZN9kovaStore16KovaConfigHelperD1Ev"));
  auto size = reinterpret_cast<decltype(&GetKovaConfigSizeForUT)>(
      dlsym(handle, "GetKovaConfigSizeForUT"));
  auto cleanUp = reinterpret_cast<decltype(&CleanUpKovaConfig)>(
      dlsym(handle, "CleanUpKovaConfig"));
  ASSERT_TRUE(construct && destruct && size && cleanUp);

  const uint32_t loadedBefore = size();
  const uint32_t linkedBefore = GetKovaConfigSizeForUT();
  alignas(KovaConfigHelper) unsigned char storage[sizeof(KovaConfigHelper)];
  auto* helper = reinterpret_cast<KovaConfigHelper*>(storage);
  construct(helper, 0x5A5A0001);
  // The store lives in the loaded library's registry, not in the copy of the
  // code linked into this test.
  EXPECT_EQ(loadedBefore + 1, size());
  EXPECT_EQ(linkedBefore, GetKovaConfigSizeForUT());
  destruct(helper);
  // Only the call's own reference is left.
  EXPECT_EQ(KOVA_S_OK, cleanUp(0x5A5A0001));
  EXPECT_EQ(loadedBefore, size());
}

}  // namespace
}  // namespace kovaStore

// The exported client class as a module loading the library at run time
// reaches it: constructor, members and destructor found by their linker
// names, one call bound and used through them.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <memory>

#include "KovaConfigApi.h"
#include "KovaConfigHelper.h"

namespace kovaStore {
namespace {

typedef void (*ConstructFn)(KovaConfigHelper*, uint32_t);
typedef void (*DestructFn)(KovaConfigHelper*);
typedef KOVA_RESULT (KovaConfigHelper::*GetConfigFn)(const char*, ConfigData&,
                                                     KovaConfigGroup);

// A non-virtual member found by name, called through a pointer to member
// built from the symbol's address (no adjustment), so that every call keeps
// the exact signature the public header declares. Null when not found.
template <class MemberFn>
MemberFn member(void* handle, const char* szSymbol) {
  struct {
    void* address;
    std::ptrdiff_t adjustment;
  } raw = {dlsym(handle, szSymbol), 0};
  static_assert(sizeof(MemberFn) == sizeof(raw), "two-word member pointers");
  MemberFn fn;
  std::memcpy(&fn, &raw, sizeof(fn));
  return fn;
}

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
  auto setToggle = member<decltype(&KovaConfigHelper::SetFeatureToggle)>(
      handle,
      "_ZN9kovaStore16KovaConfigHelper16SetFeatureToggleE19KovaFeatureToggleID"
      "10ConfigData");
  auto getConfig = member<GetConfigFn>(
      handle,
      "_ZN9kovaStore16KovaConfigHelper13GetKovaConfigEPKcR10ConfigDataNS_"
      "15KovaConfigGroupE");
  ASSERT_TRUE(construct && destruct && size && cleanUp && setToggle &&
              getConfig);

  const uint32_t loadedBefore = size();
  const uint32_t linkedBefore = GetKovaConfigSizeForUT();
  alignas(KovaConfigHelper) unsigned char storage[sizeof(KovaConfigHelper)];
  auto* helper = reinterpret_cast<KovaConfigHelper*>(storage);
  construct(helper, 0x5A5A0001);
  // The store lives in the loaded library's registry, not in the copy of the
  // code linked into this test.
  EXPECT_EQ(loadedBefore + 1, size());
  EXPECT_EQ(linkedBefore, GetKovaConfigSizeForUT());
  EXPECT_EQ(KOVA_E_NOOBSERVER,
            (helper->*setToggle)(KOVA_FT_EnableRelayMode, ConfigData("1")));
  ConfigData value;
  EXPECT_EQ(KOVA_S_OK, (helper->*getConfig)("EnableRelayMode", value,
                                            KovaConfigGroup_Feature));
  EXPECT_EQ(ConfigData("1"), value);
  destruct(helper);
  // Only the call's own reference is left.
  EXPECT_EQ(KOVA_S_OK, cleanUp(0x5A5A0001));
  EXPECT_EQ(loadedBefore, size());
}

}  // namespace
}  // namespace kovaStore

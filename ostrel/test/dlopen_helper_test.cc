// The exported client class as a module loading the library at run time
// reaches it: constructor, members and destructor found by their linker
// names, one call bound and used through them.
//
// A member found by name is called through a pointer to member built from
// the symbol's address (non-virtual, no adjustment), so every call keeps the
// exact signature the public header declares. The constructor and destructor
// take the object's address as their first argument.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "KovaConfigApi.h"
#include "KovaConfigHelper.h"

namespace kovaStore {
namespace {

typedef void (*ConstructFn)(KovaConfigHelper*, uint32_t);
typedef void (*DestructFn)(KovaConfigHelper*);
typedef uint32_t (*SizeFn)();
typedef KOVA_RESULT (*CleanUpFn)(uint32_t);

typedef KOVA_RESULT (KovaConfigHelper::*SetSessionTypeFn)(
    kova::KovaSessionType);
typedef KOVA_RESULT (KovaConfigHelper::*SetToggleFn)(KovaFeatureToggleID,
                                                     ConfigData);
typedef bool (KovaConfigHelper::*HaveToggleFn)(KovaFeatureToggleID);
typedef KOVA_RESULT (KovaConfigHelper::*GetConfigFn)(const char*, ConfigData&,
                                                     KovaConfigGroup);

constexpr uint32_t kCall = 0x5A5A0001;

template <class MemberFn>
MemberFn toMember(void* symbol) {
  struct {
    void* address;
    std::ptrdiff_t adjustment;
  } raw = {symbol, 0};
  static_assert(sizeof(MemberFn) == sizeof(raw), "two-word member pointers");
  MemberFn member;
  std::memcpy(&member, &raw, sizeof(member));
  return member;
}

TEST(DlopenHelperTest, LoadedHelperBindsACallInTheLibrarysOwnRegistry) {
  void* handle = dlopen(OSTREL_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(nullptr, handle) << dlerror();
  auto find = [handle](const char* name) {
    void* symbol = dlsym(handle, name);
    EXPECT_NE(nullptr, symbol) << name;
    return symbol;
  };
  auto construct = reinterpret_cast<ConstructFn>(
      find("_ZN9kovaStore16KovaConfigHelperC1Ej"));
  auto destruct =
      reinterpret_cast<DestructFn>(find("_ZN9kovaStore16KovaConfigHelperD1Ev"));
  auto size = reinterpret_cast<SizeFn>(find("GetKovaConfigSizeForUT"));
  auto cleanUp = reinterpret_cast<CleanUpFn>(find("CleanUpKovaConfig"));
  void* setSessionType = find(
      "_ZN9kovaStore16KovaConfigHelper18SetKovaSessionTypeEN4kova"
      "15KovaSessionTypeE");
  void* setToggle = find(
      "_ZN9kovaStore16KovaConfigHelper16SetFeatureToggleE19KovaFeatureToggleID"
      "10ConfigData");
  void* haveToggle = find(
      "_ZN9kovaStore16KovaConfigHelper17HaveFeatureToggleE19KovaFeatureToggle"
      "ID");
  void* getConfig = find(
      "_ZN9kovaStore16KovaConfigHelper13GetKovaConfigEPKcR10ConfigDataNS_"
      "15KovaConfigGroupE");
  if (!construct || !destruct || !size || !cleanUp || !setSessionType ||
      !setToggle || !haveToggle || !getConfig) {
    dlclose(handle);
    return;
  }

  const uint32_t loadedBefore = size();
  const uint32_t linkedBefore = GetKovaConfigSizeForUT();
  alignas(KovaConfigHelper) unsigned char storage[sizeof(KovaConfigHelper)];
  auto* helper = reinterpret_cast<KovaConfigHelper*>(storage);
  construct(helper, kCall);
  // The store lives in the loaded library's registry, not in the copy of the
  // code linked into this test.
  EXPECT_EQ(loadedBefore + 1, size());
  EXPECT_EQ(linkedBefore, GetKovaConfigSizeForUT());

  EXPECT_EQ(KOVA_S_OK, (helper->*toMember<SetSessionTypeFn>(setSessionType))(
                           kova::KovaSessionType_Video));
  EXPECT_FALSE(
      (helper->*toMember<HaveToggleFn>(haveToggle))(KOVA_FT_EnableRelayMode));
  EXPECT_EQ(KOVA_E_NOOBSERVER, (helper->*toMember<SetToggleFn>(setToggle))(
                                   KOVA_FT_EnableRelayMode, ConfigData("1")));
  EXPECT_TRUE(
      (helper->*toMember<HaveToggleFn>(haveToggle))(KOVA_FT_EnableRelayMode));
  ConfigData value;
  EXPECT_EQ(KOVA_S_OK, (helper->*toMember<GetConfigFn>(getConfig))(
                           "EnableRelayMode", value, KovaConfigGroup_Feature));
  EXPECT_EQ(ConfigData("1"), value);
  // The default group is "Video", which does not hold the toggle.
  EXPECT_EQ(KOVA_E_FAIL,
            (helper->*toMember<GetConfigFn>(getConfig))(
                "EnableRelayMode", value, KovaConfigGroup_Undefined));

  destruct(helper);
  // Only the call's own reference is left.
  EXPECT_EQ(KOVA_S_OK, cleanUp(kCall));
  EXPECT_EQ(loadedBefore, size());
  dlclose(handle);
}

}  // namespace
}  // namespace kovaStore

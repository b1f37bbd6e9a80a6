// The shared library as the engine uses it: loaded at run time, its plain
// exported functions found by name, one call driven through them.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "IKovaConfig.h"
#include "KovaConfigApi.h"
#include "trace_capture.h"

namespace kovaStore {
namespace {

// Loads the library for one test and unloads it afterwards. The functions
// found keep the exact types the public header declares.
class LoadedLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    m_handle = dlopen(OSTREL_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(m_handle, nullptr) << dlerror();
    m_create = resolve<decltype(&CreateKovaConfig)>("CreateKovaConfig");
    m_release = resolve<decltype(&ReleaseKovaConfig)>("ReleaseKovaConfig");
    m_cleanUp = resolve<decltype(&CleanUpKovaConfig)>("CleanUpKovaConfig");
    m_destroy = resolve<decltype(&DestroyKovaConfig)>("DestroyKovaConfig");
    m_size =
        resolve<decltype(&GetKovaConfigSizeForUT)>("GetKovaConfigSizeForUT");
  }
  void TearDown() override {
    if (m_destroy != nullptr) m_destroy();
    if (m_handle != nullptr) dlclose(m_handle);
  }

  template <class Fn>
  Fn resolve(const char* name) {
    void* symbol = dlsym(m_handle, name);
    EXPECT_NE(symbol, nullptr) << name << ": " << dlerror();
    return reinterpret_cast<Fn>(symbol);
  }

  void* m_handle = nullptr;
  decltype(&CreateKovaConfig) m_create = nullptr;
  decltype(&ReleaseKovaConfig) m_release = nullptr;
  decltype(&CleanUpKovaConfig) m_cleanUp = nullptr;
  decltype(&DestroyKovaConfig) m_destroy = nullptr;
  decltype(&GetKovaConfigSizeForUT) m_size = nullptr;
};

// The value readers reach the store without holding a reference of their own.
TEST_F(LoadedLibrary, DrivesOneCallFromCreateToCleanUp) {
  auto readEx =
      resolve<decltype(&GetKovaConfigValueEx)>("GetKovaConfigValueEx");
  auto read = resolve<decltype(&GetKovaConfigValue)>("GetKovaConfigValue");
  ASSERT_TRUE(m_create && readEx && read);
  const uint32_t before = m_size();
  IKovaConfig* store = nullptr;
  ASSERT_EQ(m_create(4242, &store), KOVA_S_OK);
  ASSERT_NE(store, nullptr);

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
  ConfigData value;
  EXPECT_EQ(readEx(KovaConfigGroup_Audio, "AecMode", value, 4242), KOVA_S_OK);
  EXPECT_EQ(value, ConfigData("2"));
  value = ConfigData();
  EXPECT_EQ(read(kova::KovaSessionType_Audio, "AecMode", value, 4242),
            KOVA_S_OK);
  EXPECT_EQ(value, ConfigData("2"));

  IKovaConfig* again = nullptr;
  ASSERT_EQ(m_create(4242, &again), KOVA_S_OK);
  EXPECT_EQ(again, store);
  EXPECT_EQ(m_size(), before + 1);
  EXPECT_EQ(m_release(again), KOVA_S_OK);
  EXPECT_EQ(m_release(store), KOVA_S_OK);
  EXPECT_EQ(m_size(), before + 1);  // the call's own reference remains
  EXPECT_EQ(m_cleanUp(4242), KOVA_S_OK);
  EXPECT_EQ(m_size(), before);
}

TEST_F(LoadedLibrary, TraceLinesCarryTheLibrarysModuleName) {
  const char* path = OSTREL_LIBRARY_PATH;
  const char* slash = std::strrchr(path, '/');
  const std::string moduleName = slash ? slash + 1 : path;
  CmTraceCapture capture(2);
  IKovaConfig* store = nullptr;
  ASSERT_EQ(m_create(4244, &store), KOVA_S_OK);
  bool found = false;
  for (const CmTraceLine& line : capture.Lines()) {
    if (line.text == "kovaStore::CreateKovaConfig [cid=4244]") {
      found = true;
      EXPECT_EQ(line.level, 2);
      EXPECT_EQ(line.module, moduleName);
    }
  }
  EXPECT_TRUE(found);
  m_release(store);
}

}  // namespace
}  // namespace kovaStore

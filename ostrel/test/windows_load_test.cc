// ostrel.dll as a Windows host loads it: LoadLibrary, the plain functions
// found by their undecorated names, trace lines that carry the DLL's own file
// name, and thread ids that are the system's.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <thread>

#include "CmThread.h"
#include "KovaConfigApi.h"
#include "trace_capture.h"

namespace {

using kovaStore::IKovaConfig;

const char* const kPlainNames[] = {
    "CreateKovaConfig",     "ReleaseKovaConfig",      "CleanUpKovaConfig",
    "DestroyKovaConfig",    "GetKovaConfigSizeForUT", "GetKovaConfigValue",
    "GetKovaConfigValueEx", "createOstrelEntity",     "releaseOstrelEntity"};

// Loaded from beside the test program, as a host would ship it.
class WindowsLoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_module = ::LoadLibraryA("ostrel.dll");
    ASSERT_NE(nullptr, m_module) << "LoadLibrary failed: " << ::GetLastError();
  }
  void TearDown() override {
    if (m_module != nullptr) ::FreeLibrary(m_module);
  }

  template <typename Fn>
  Fn find(const char* szName) {
    return reinterpret_cast<Fn>(
        reinterpret_cast<void*>(::GetProcAddress(m_module, szName)));
  }

  HMODULE m_module = nullptr;
};

TEST_F(WindowsLoadTest, PlainFunctionsResolveByUndecoratedName) {
  for (const char* name : kPlainNames) {
    EXPECT_NE(nullptr, find<FARPROC>(name)) << name;
  }
  EXPECT_EQ(nullptr, find<FARPROC>("_CreateKovaConfig"));
}

TEST_F(WindowsLoadTest, StoreWorksThroughTheLoadedDllAndTracesItsFileName) {
  using CreateFn = KOVA_RESULT (*)(uint32_t, IKovaConfig**);
  using ReleaseFn = KOVA_RESULT (*)(IKovaConfig*);
  using CleanUpFn = KOVA_RESULT (*)(uint32_t);
  using SizeFn = uint32_t (*)();
  auto create = find<CreateFn>("CreateKovaConfig");
  auto release = find<ReleaseFn>("ReleaseKovaConfig");
  auto cleanUp = find<CleanUpFn>("CleanUpKovaConfig");
  auto size = find<SizeFn>("GetKovaConfigSizeForUT");
  ASSERT_TRUE(create && release && cleanUp && size);

  CmTraceCapture capture(2);
  IKovaConfig* store = nullptr;
  ASSERT_EQ(KOVA_S_OK, create(901, &store));
  ASSERT_NE(nullptr, store);
  EXPECT_EQ(1u, size());
  EXPECT_EQ(KOVA_S_OK, release(store));
  EXPECT_EQ(KOVA_S_OK, cleanUp(901));
  EXPECT_EQ(0u, size());

  bool sawCreate = false;
  for (const CmTraceLine& line : capture.Lines()) {
    EXPECT_EQ("ostrel.dll", line.module) << line.text;
    if (line.text == "kovaStore::CreateKovaConfig [cid=901]") sawCreate = true;
  }
  EXPECT_TRUE(sawCreate);
}

TEST(WindowsThreadIdTest, IdsAreTheSystemThreadIds) {
  EXPECT_EQ(static_cast<unsigned long>(::GetCurrentThreadId()),
            GetThreadSelfId());
  unsigned long inside = 0;
  DWORD system = 0;
  std::thread other([&] {
    inside = GetThreadSelfId();
    system = ::GetCurrentThreadId();
  });
  other.join();
  EXPECT_EQ(static_cast<unsigned long>(system), inside);
  EXPECT_NE(GetThreadSelfId(), inside);
}

}  // namespace

// ostrel.dll as a Windows host loads it: LoadLibrary, the plain functions
// found by their undecorated names, trace lines that carry the DLL's own file
// name, thread ids that are the system's and named event threads.
#include <CmThread.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <thread>

#include "ostrel/KovaConfigApi.h"
#include "util/testing/trace_capture.h"

namespace {

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

TEST_F(WindowsLoadTest, StoreWorksThroughUndecoratedNamesAndTracesItsFileName) {
  for (const char* name :
       {"DestroyKovaConfig", "GetKovaConfigValue", "GetKovaConfigValueEx",
        "createOstrelEntity", "releaseOstrelEntity", "GetKovaConfigCell"})
    EXPECT_NE(nullptr, find<FARPROC>(name)) << name;
  EXPECT_EQ(nullptr, find<FARPROC>("_CreateKovaConfig"));
  // Typed as the header declares them.
  auto create =
      find<decltype(&kovaStore::CreateKovaConfig)>("CreateKovaConfig");
  auto release =
      find<decltype(&kovaStore::ReleaseKovaConfig)>("ReleaseKovaConfig");
  auto cleanUp =
      find<decltype(&kovaStore::CleanUpKovaConfig)>("CleanUpKovaConfig");
  auto size = find<decltype(&kovaStore::GetKovaConfigSizeForUT)>(
      "GetKovaConfigSizeForUT");
  ASSERT_TRUE(create && release && cleanUp && size);

  CmTraceCapture capture(2);
  kovaStore::IKovaConfig* store = nullptr;
  ASSERT_EQ(KOVA_S_OK, create(901, &store));
  EXPECT_EQ(1u, size());
  EXPECT_EQ(KOVA_S_OK, release(store));
  EXPECT_EQ(KOVA_S_OK, cleanUp(901));
  EXPECT_EQ(0u, size());
  for (const CmTraceLine& line : capture.Lines())
    EXPECT_EQ("ostrel.dll", line.module) << line.text;
  EXPECT_TRUE(capture.HasExact(2, "kovaStore::CreateKovaConfig [cid=901]"));
}

TEST(WindowsThreadTest, IdsAreTheSystemsAndEventThreadsCarryTheirName) {
  unsigned long inside = 0;
  DWORD system = 0;
  std::thread other([&] {
    inside = GetThreadSelfId();
    system = ::GetCurrentThreadId();
  });
  other.join();
  EXPECT_EQ(static_cast<unsigned long>(system), inside);
  EXPECT_NE(GetThreadSelfId(), inside);

  // The thread names itself before its creation returns; older systems keep
  // no thread descriptions. Its destructor stops it.
  typedef HRESULT(WINAPI * GetThreadDescriptionFn)(HANDLE, PWSTR*);
  auto getDescription = reinterpret_cast<GetThreadDescriptionFn>(
      reinterpret_cast<void*>(::GetProcAddress(
          ::GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription")));
  if (getDescription == nullptr) GTEST_SKIP() << "no thread descriptions";
  std::unique_ptr<ACmThread> thread = CreateCmEventThread("ostrel-events");
  HANDLE handle = ::OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE,
                               thread->GetThreadId());
  ASSERT_NE(nullptr, handle);
  PWSTR description = nullptr;
  const bool bDescribed = SUCCEEDED(getDescription(handle, &description));
  ::CloseHandle(handle);
  if (!bDescribed) GTEST_SKIP() << "this system keeps no thread descriptions";
  EXPECT_TRUE(std::wstring(description) == L"ostrel-events");
  ::LocalFree(description);
}

}  // namespace

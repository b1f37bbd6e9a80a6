// ostrel.dll as a Windows host loads it: LoadLibrary, the plain functions
// found by their undecorated names, trace lines that carry the DLL's own file
// name, thread ids that are the system's and named event threads.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <future>
#include <memory>
#include <string>
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

// Fires once on the queue's thread and hands back that thread's description.
class DescribeThreadEvent : public ICmEvent {
 public:
  explicit DescribeThreadEvent(std::promise<std::wstring>* pResult)
      : m_pResult(pResult) {}
  int OnEventFire() override {
    typedef HRESULT(WINAPI * GetThreadDescriptionFn)(HANDLE, PWSTR*);
    auto getDescription = reinterpret_cast<GetThreadDescriptionFn>(
        reinterpret_cast<void*>(::GetProcAddress(
            ::GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription")));
    std::wstring text = L"<unsupported>";
    PWSTR description = nullptr;
    if (getDescription != nullptr &&
        SUCCEEDED(getDescription(::GetCurrentThread(), &description))) {
      text = description;
      ::LocalFree(description);
    }
    m_pResult->set_value(text);
    return 0;
  }

 private:
  std::promise<std::wstring>* m_pResult;
};

TEST(WindowsThreadNameTest, EventThreadsCarryTheirNameWhereTheSystemKeepsOne) {
  std::unique_ptr<ACmThread> thread = CreateCmEventThread("ostrel-events");
  ASSERT_NE(nullptr, thread);
  std::promise<std::wstring> result;
  std::future<std::wstring> description = result.get_future();
  thread->GetEventQueue()->SendEvent(new DescribeThreadEvent(&result));
  const std::wstring text = description.get();
  thread->Stop();
  if (text == L"<unsupported>") {
    GTEST_SKIP() << "this system keeps no thread descriptions";
  }
  EXPECT_TRUE(text == L"ostrel-events");
}

}  // namespace

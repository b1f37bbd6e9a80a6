// Peak heap of reading documents of 10 MB, counted through a replaced global
// operator new (exact under every build, sanitizers included).
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>
#include <string>

#include "json_plain_document.h"
#include "json_reader.h"

namespace {

std::atomic<std::size_t> g_liveBytes{0};
std::atomic<std::size_t> g_peakBytes{0};

// Each block carries its size in front.
constexpr std::size_t kHeader = alignof(std::max_align_t);

void* countedAllocate(std::size_t size) {
  void* block = std::malloc(size + kHeader);
  if (block == nullptr) throw std::bad_alloc();
  *static_cast<std::size_t*>(block) = size;
  const std::size_t live = g_liveBytes += size;
  std::size_t peak = g_peakBytes.load();
  while (live > peak && !g_peakBytes.compare_exchange_weak(peak, live)) {
  }
  return static_cast<char*>(block) + kHeader;
}

void countedFree(void* p) noexcept {
  if (p == nullptr) return;
  void* block = static_cast<char*>(p) - kHeader;
  g_liveBytes -= *static_cast<std::size_t*>(block);
  std::free(block);
}

}  // namespace

void* operator new(std::size_t size) { return countedAllocate(size); }
void* operator new[](std::size_t size) { return countedAllocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return countedAllocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return operator new(size, std::nothrow);
}
void operator delete(void* p) noexcept { countedFree(p); }
void operator delete[](void* p) noexcept { countedFree(p); }
void operator delete(void* p, std::size_t) noexcept { countedFree(p); }
void operator delete[](void* p, std::size_t) noexcept { countedFree(p); }

namespace json {
namespace {

constexpr std::size_t kDocumentBytes = 10u << 20;

// Peak heap taken while `read` runs, per byte of `text`.
template <typename Read>
double PeakBytesPerInputByte(const std::string& text, Read read) {
  g_peakBytes = g_liveBytes.load();
  const std::size_t before = g_liveBytes;
  read();
  return static_cast<double>(g_peakBytes - before) /
         static_cast<double>(text.size());
}

std::string ConfigurationDocument() {
  std::string text = "{";
  for (int g = 0; text.size() < kDocumentBytes; ++g) {
    text += std::string(g ? "," : "") + "\"Group" + std::to_string(g) + "\":[";
    for (int e = 0; e < 20000; ++e) {
      text += std::string(e ? "," : "") + "{\"key\":\"ConfigName_" +
              std::to_string(e) + "\",\"value\":\"" +
              std::to_string(e * 7919 % 100000) + "\"}";
    }
    text += "]";
  }
  return text + "}";
}

TEST(JsonMemoryTest, PeakHeapStaysProportionalToTheDocument) {
  struct Case {
    const char* name;
    std::string text;
    double maxBytesPerByte;
  };
  std::string numbers = "[";
  while (numbers.size() < kDocumentBytes) numbers += "1,";
  const Case cases[] = {
      {"numbers", numbers + "1]", 24},
      {"deep nesting",
       std::string(kDocumentBytes / 2, '[') +
           std::string(kDocumentBytes / 2, ']'),
       24},
      {"configuration", ConfigurationDocument(), 8},
  };
  for (const Case& c : cases) {
    // Both readings that apply may take.
    const double tree = PeakBytesPerInputByte(
        c.text, [&] { Value document = FromText(c.text); });
    const double plain = PeakBytesPerInputByte(c.text, [&] {
      PlainDocument document;
      ReadPlainConfigDocument(c.text, document);
    });
    EXPECT_LE(tree, c.maxBytesPerByte) << c.name;
    EXPECT_LE(plain, c.maxBytesPerByte) << c.name;
  }
}

}  // namespace
}  // namespace json

// Peak heap of reading documents of 10 MB, counted through a replaced global
// operator new (exact under every build, sanitizers included).
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>
#include <string>
#include <utility>

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

// Peak heap taken while `read` runs.
template <typename Read>
double PeakBytes(Read read) {
  g_peakBytes = g_liveBytes.load();
  const std::size_t before = g_liveBytes;
  read();
  return static_cast<double>(g_peakBytes - before);
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

// 10 MB of "1," once took over 1 GB; a configuration document stays within
// 8 bytes per byte, for both readings that apply may take.
TEST(JsonMemoryTest, PeakHeapStaysProportionalToTheDocument) {
  std::string numbers = "[";
  while (numbers.size() < kDocumentBytes) numbers += "1,";
  const std::pair<std::string, double> cases[] = {{numbers + "1]", 24},
                                                  {ConfigurationDocument(), 8}};
  for (const auto& row : cases) {
    const std::string& text = row.first;
    const double maxBytesPerByte = row.second;
    EXPECT_LE(PeakBytes([&] { Value document = FromText(text); }),
              maxBytesPerByte * text.size());
    EXPECT_LE(PeakBytes([&] {
                PlainDocument document;
                ReadPlainConfigDocument(text, document);
              }),
              maxBytesPerByte * text.size());
  }
}

}  // namespace
}  // namespace json

// Test support for the statistics records: the field offsets by name,
// little-endian byte images of field values, patches saying which bytes of a
// record a call may change, and the write check the setter tests share.
// Plain functions over caller-owned buffers; no shared state.
#ifndef OSTREL_SRC_STATS_STATS_TEST_UTIL_H_
#define OSTREL_SRC_STATS_STATS_TEST_UTIL_H_

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ostrel/KovaRecordFields.h"

namespace kovaStore {
namespace testing {

// Fields of the audio record (session and stream alike), named after their
// setters; a run of three starts at the name.
namespace audio {
constexpr size_t kCounter8 = 8, kCodec = 16, kLevelsA = 60, kLevelsB = 72,
                 kLevelsC = 84, kByteA = 108, kValue112 = 112, kInterval = 120;
}  // namespace audio

// Fields of a video stream entry, of the session that follows the five
// entries, and of the stream source record.
namespace video {
constexpr size_t kCopied8 = 8, kValue24 = 24, kFloats40 = 40, kValue48 = 48,
                 kValues56 = 56, kValue88 = 88, kRun92 = 92, kValue108 = 108,
                 kValue112 = 112, kCounterBlock = 116, kKind = 160,
                 kInterval164 = 164, kDelta20 = 204;
constexpr size_t kCounterCount = 11, kLastCounter = kCounterBlock + 40;
constexpr size_t kStreamCount = 1080, kPackedPair = 1084, kFloats = 1092,
                 kValue24Argument = 1104, kValue1128 = 1128, kWide1176 = 1176,
                 kSessionKind = 1236, kMaximum = 1356;
namespace source {
constexpr size_t kRun20 = 64, kValue24 = 68, kValue88 = 92, kRun92 = 180,
                 kCounterBlock = 212, kRun164 = 264, kKindNumber = 356,
                 kFloat40 = 48, kFloat44 = 44, kValue48 = 60, kValues56 = 84,
                 kValue108 = 104, kValue112 = 128;
}  // namespace source
}  // namespace video

typedef std::vector<uint8_t> Bytes;
// (offset, bytes) pairs written over a record image.
typedef std::vector<std::pair<size_t, Bytes>> Patches;

// Consecutive little-endian fields, in the order given.
template <class T>
Bytes LeFields(std::initializer_list<T> values) {
  Bytes bytes(values.size() * sizeof(T));
  size_t offset = 0;
  for (T value : values) {
    WriteRecordField<T>(bytes.data(), offset, value);
    offset += sizeof(T);
  }
  return bytes;
}
inline Bytes LeU32(uint32_t v) { return LeFields<uint32_t>({v}); }
inline Bytes LeU32s(std::initializer_list<uint32_t> v) { return LeFields(v); }
inline Bytes LeFloats(std::initializer_list<float> f) { return LeFields(f); }

inline void Patch(Bytes& image, size_t offset, const Bytes& bytes) {
  std::memcpy(image.data() + offset, bytes.data(), bytes.size());
}
inline Bytes Patched(Bytes image, const Patches& patches) {
  for (const auto& patch : patches) Patch(image, patch.first, patch.second);
  return image;
}
inline void Append(Patches& patches, const Patches& more) {
  patches.insert(patches.end(), more.begin(), more.end());
}

// "" when equal, else the first differing offset and both bytes.
inline std::string FirstDifference(const Bytes& expected, const Bytes& actual) {
  if (expected.size() != actual.size()) return "sizes differ";
  for (size_t i = 0; i < expected.size(); ++i) {
    if (expected[i] != actual[i]) {
      return "offset " + std::to_string(i) + ": expected " +
             std::to_string(expected[i]) + ", got " + std::to_string(actual[i]);
    }
  }
  return "";
}

typedef std::initializer_list<std::pair<size_t, uint32_t>> U32Fields;

// Expects the u32 at `base` plus each offset to hold the value beside it.
inline void ExpectU32s(const Bytes& record, size_t base, U32Fields fields) {
  for (const auto& field : fields) {
    EXPECT_EQ(field.second, ReadRecordU32(record.data(), base + field.first))
        << "offset " << base << " + " << field.first;
  }
}

// One call and the bytes it must write; every other byte must stay.
template <class InfoT>
struct WriteRow {
  std::function<void(InfoT&)> call;
  Patches patches;
};

// Runs each row alone on a restored object and compares the image after the
// call with the image before it plus the row's patches.
template <class InfoT>
void ExpectWrites(InfoT& info, std::function<Bytes(InfoT&)> image,
                  std::function<void(InfoT&)> restore,
                  const std::vector<WriteRow<InfoT>>& rows) {
  for (size_t i = 0; i < rows.size(); ++i) {
    restore(info);
    const Bytes expected = Patched(image(info), rows[i].patches);
    rows[i].call(info);
    EXPECT_EQ("", FirstDifference(expected, image(info))) << "row " << i;
  }
  restore(info);
}

// The plain and the content object behave alike: tests run on both.
template <class PlainT, class ContentT>
std::vector<std::unique_ptr<PlainT>> BothKinds(uint32_t callId) {
  std::vector<std::unique_ptr<PlainT>> objects;
  objects.emplace_back(new PlainT(callId));
  objects.emplace_back(new ContentT(callId));
  return objects;
}

}  // namespace testing
}  // namespace kovaStore

#endif  // OSTREL_SRC_STATS_STATS_TEST_UTIL_H_

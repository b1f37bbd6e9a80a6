// Test support for the statistics objects: little-endian byte images of
// field values, patches that say which bytes of a record a call may change,
// and the write check that the audio and video setter tests share. Plain
// functions over caller-owned buffers; no shared state.
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
inline Bytes LeFloat(float f) { return LeFields<float>({f}); }
inline Bytes LeFloats(std::initializer_list<float> f) { return LeFields(f); }

// Writes `bytes` at `offset` of `image`.
inline void Patch(Bytes& image, size_t offset, const Bytes& bytes) {
  std::memcpy(image.data() + offset, bytes.data(), bytes.size());
}
inline Bytes Patched(Bytes image, const Patches& patches) {
  for (const auto& patch : patches) Patch(image, patch.first, patch.second);
  return image;
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

// Patches that write each u32 value at `base` plus its offset.
inline Patches U32Patches(size_t base, U32Fields fields) {
  Patches patches;
  for (const auto& field : fields)
    patches.push_back({base + field.first, LeU32(field.second)});
  return patches;
}
inline void Append(Patches& patches, const Patches& more) {
  patches.insert(patches.end(), more.begin(), more.end());
}

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

// Runs each row alone: restores the object, takes its image, makes the call
// and compares the new image with the old one plus the row's patches. The
// object is restored once more at the end.
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

// Field access for the fixed binary statistics records.
//
//   uint8_t record[kKovaVideoRecordSize];
//   pVideo->GetStatistics(record, false);
//   uint32_t streams = ReadRecordU32(record, 1080);
//
// The records are plain byte arrays with fields at fixed offsets, stored
// little-endian (the library targets x86-64, whose native order this is).
// These helpers read and write one field with memcpy, so they work at any
// alignment of the caller's buffer and never alias a field through a pointer
// of another type. They are header-only and thread-neutral: they touch only
// the buffer they are given. REQUIRES: `offset` plus the field's size lies
// within the record.
#ifndef OSTREL_INCLUDE_KOVARECORDFIELDS_H_
#define OSTREL_INCLUDE_KOVARECORDFIELDS_H_

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__BYTE_ORDER__) && defined(__ORDER_LITTLE_ENDIAN__)
#if __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the statistics records are little-endian; this target is not"
#endif
#endif

namespace kovaStore {

template <class T>
inline T ReadRecordField(const void* pRecord, size_t offset) {
  T value;
  std::memcpy(&value, static_cast<const uint8_t*>(pRecord) + offset,
              sizeof(value));
  return value;
}

template <class T>
inline void WriteRecordField(void* pRecord, size_t offset, T value) {
  std::memcpy(static_cast<uint8_t*>(pRecord) + offset, &value, sizeof(value));
}

inline uint8_t ReadRecordU8(const void* pRecord, size_t offset) {
  return ReadRecordField<uint8_t>(pRecord, offset);
}
inline uint32_t ReadRecordU32(const void* pRecord, size_t offset) {
  return ReadRecordField<uint32_t>(pRecord, offset);
}
inline int32_t ReadRecordI32(const void* pRecord, size_t offset) {
  return ReadRecordField<int32_t>(pRecord, offset);
}
inline uint64_t ReadRecordU64(const void* pRecord, size_t offset) {
  return ReadRecordField<uint64_t>(pRecord, offset);
}
inline float ReadRecordFloat(const void* pRecord, size_t offset) {
  return ReadRecordField<float>(pRecord, offset);
}

inline void WriteRecordU8(void* pRecord, size_t offset, uint8_t value) {
  WriteRecordField<uint8_t>(pRecord, offset, value);
}
inline void WriteRecordU32(void* pRecord, size_t offset, uint32_t value) {
  WriteRecordField<uint32_t>(pRecord, offset, value);
}
inline void WriteRecordI32(void* pRecord, size_t offset, int32_t value) {
  WriteRecordField<int32_t>(pRecord, offset, value);
}
inline void WriteRecordU64(void* pRecord, size_t offset, uint64_t value) {
  WriteRecordField<uint64_t>(pRecord, offset, value);
}
inline void WriteRecordFloat(void* pRecord, size_t offset, float value) {
  WriteRecordField<float>(pRecord, offset, value);
}

}  // namespace kovaStore

#endif  // OSTREL_INCLUDE_KOVARECORDFIELDS_H_

#include "video_statistic_info.h"

#include "support/bounded_memory.h"

namespace kovaStore {

namespace {

// Stream entry fields that a resetting read turns into deltas or clears.
constexpr size_t kEntry20 = 20;
constexpr size_t kEntry24 = 24;
constexpr size_t kEntry88 = 88;
constexpr size_t kEntryCounters = 116;  // eleven u32 counters
constexpr size_t kEntryCountersSize = 44;
constexpr size_t kEntryDelta20 = 204;
constexpr size_t kEntryDelta24 = 208;

// Session fields.
constexpr size_t kStreamCount = 1080;
constexpr size_t kSessionKind = 1236;
constexpr size_t kSessionMaximum = 1356;

// Source record of stream `index` within the caller's array.
const uint8_t* sourceRecord(const void* pSources, uint32_t index) {
  return static_cast<const uint8_t*>(pSources) + kKovaVideoSourceSize * index;
}

void copyU32(uint8_t* pEntry, size_t offset, const uint8_t* pSource,
             size_t sourceOffset) {
  WriteRecordU32(pEntry, offset, ReadRecordU32(pSource, sourceOffset));
}

// Copies `count` consecutive u32 fields.
void copyU32Run(uint8_t* pEntry, size_t offset, const uint8_t* pSource,
                size_t sourceOffset, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    copyU32(pEntry, offset + 4 * i, pSource, sourceOffset + 4 * i);
  }
}

}  // namespace

uint32_t mapVideoKind(int32_t nKind) {
  struct KindCode {
    int32_t number;
    uint32_t code;
  };
  static constexpr KindCode kKinds[] = {
      {0, 100}, {1, 101}, {4, 103}, {5, 102}, {6, 104}};
  for (const KindCode& entry : kKinds) {
    if (entry.number == nKind) return entry.code;
  }
  return 0;
}

uint32_t boundedStreamCount(int64_t count) {
  if (count <= 0) return 0;
  if (count > kKovaVideoMaxStreams) return kKovaVideoMaxStreams;
  return static_cast<uint32_t>(count);
}

IKovaVideoInfo::IKovaVideoInfo(uint32_t callId)
    : IKovaMediaInfo(callId), m_statistics{}, m_spare{} {}

IKovaVideoInfo::IKovaVideoInfo(const IKovaVideoInfo& other)
    : IKovaMediaInfo(other), m_statistics{}, m_spare{} {
  memcpy_s(m_statistics, sizeof(m_statistics), other.m_statistics,
           sizeof(other.m_statistics));
  memcpy_s(m_spare, sizeof(m_spare), other.m_spare, sizeof(other.m_spare));
}

IKovaVideoInfo& IKovaVideoInfo::operator=(const IKovaVideoInfo& other) {
  m_callId = other.m_callId;
  // A self-assignment copies each record onto itself, which the bounded copy
  // allows.
  memcpy_s(m_statistics, sizeof(m_statistics), other.m_statistics,
           sizeof(other.m_statistics));
  memcpy_s(m_spare, sizeof(m_spare), other.m_spare, sizeof(other.m_spare));
  return *this;
}

KovaVideoStatisticInfo::KovaVideoStatisticInfo(uint32_t callId)
    : KovaCountedMediaInfo(callId) {
  memset_s(m_statistics, sizeof(m_statistics), 0, sizeof(m_statistics));
  memset_s(m_spare, sizeof(m_spare), 0, sizeof(m_spare));
  clearSnapshots();
  WriteRecordI32(m_statistics, kSessionMaximum, -1);
}

KovaVideoStatisticInfo::~KovaVideoStatisticInfo() = default;

KovaContentVideoStatisticInfo::~KovaContentVideoStatisticInfo() = default;

uint8_t* KovaVideoStatisticInfo::streamEntry(int32_t nIndex) {
  const uint32_t index = static_cast<uint32_t>(nIndex);
  if (index >= static_cast<uint32_t>(kKovaVideoMaxStreams)) return nullptr;
  return m_statistics + kKovaVideoEntrySize * index;
}

void KovaVideoStatisticInfo::clearSnapshots() {
  for (StreamSnapshot& snapshot : m_snapshots) {
    memset_s(&snapshot, sizeof(snapshot), 0, sizeof(snapshot));
  }
}

KOVA_RESULT KovaVideoStatisticInfo::SetStatistics(const void* pRecord) {
  if (pRecord == nullptr) return KOVA_E_FAIL;
  // A refused copy (overlapping buffers) leaves the record as it was.
  memcpy_s(m_statistics, sizeof(m_statistics), pRecord, kKovaVideoRecordSize);
  return KOVA_S_OK;
}

KOVA_RESULT KovaVideoStatisticInfo::GetStatistics(void* pRecord, bool bReset) {
  if (pRecord == nullptr) return KOVA_E_FAIL;
  memcpy_s(pRecord, kKovaVideoRecordSize, m_statistics, sizeof(m_statistics));
  if (bReset) resetInterval(static_cast<uint8_t*>(pRecord));
  return KOVA_S_OK;
}

void KovaVideoStatisticInfo::resetInterval(uint8_t* pCopy) {
  // The count may have come in through a whole-record copy: never trust it
  // beyond the five entries.
  const uint32_t streams =
      boundedStreamCount(ReadRecordU32(m_statistics, kStreamCount));
  for (uint32_t k = 0; k < streams; ++k) {
    uint8_t* pEntry = m_statistics + kKovaVideoEntrySize * k;
    uint8_t* pOut = pCopy + kKovaVideoEntrySize * k;
    StreamSnapshot& snapshot = m_snapshots[k];
    // Unsigned subtraction: a counter that wrapped still gives its change.
    WriteRecordU32(pOut, kEntryDelta20,
                   ReadRecordU32(pOut, kEntry20) - snapshot.last20);
    WriteRecordU32(pOut, kEntryDelta24,
                   ReadRecordU32(pOut, kEntry24) - snapshot.last24);
    WriteRecordU32(pOut, kEntry88,
                   ReadRecordU32(pOut, kEntry88) - snapshot.last88);
    for (int m = 0; m < kCounterCount; ++m) {
      const size_t offset = kEntryCounters + 4 * static_cast<size_t>(m);
      WriteRecordU32(pOut, offset,
                     ReadRecordU32(pOut, offset) - snapshot.lastCounters[m]);
      snapshot.lastCounters[m] = ReadRecordU32(pEntry, offset);
    }
    snapshot.last20 = ReadRecordU32(pEntry, kEntry20);
    snapshot.last24 = ReadRecordU32(pEntry, kEntry24);
    snapshot.last88 = ReadRecordU32(pEntry, kEntry88);
    WriteRecordU32(pEntry, 32, 0);
    WriteRecordU8(pEntry, 36, 0);
    WriteRecordU32(pEntry, 164, 0);
    WriteRecordU32(pEntry, 168, 0);
  }
  WriteRecordI32(m_statistics, kSessionMaximum, -1);
}

KOVA_RESULT KovaVideoStatisticInfo::ReservedB() { return KOVA_E_FAIL; }

void KovaVideoStatisticInfo::ResetStatistics(uint32_t callId) {
  memset_s(m_statistics, sizeof(m_statistics), 0, sizeof(m_statistics));
  memset_s(m_spare, sizeof(m_spare), 0, sizeof(m_spare));
  clearSnapshots();
  m_callId = callId;
  WriteRecordI32(m_statistics, kSessionMaximum, -1);
}

void KovaVideoStatisticInfo::SetSessionFloats(uint32_t uA, uint32_t uB,
                                              float f) {
  WriteRecordFloat(m_statistics, 1096, static_cast<float>(uA));
  WriteRecordFloat(m_statistics, 1100, static_cast<float>(uB));
  WriteRecordFloat(m_statistics, 1092, f);
}

void KovaVideoStatisticInfo::SetSessionTriple(uint32_t u1208, uint32_t u1212,
                                              uint32_t u1216) {
  WriteRecordU32(m_statistics, 1208, u1208);
  WriteRecordU32(m_statistics, 1212, u1212);
  WriteRecordU32(m_statistics, 1216, u1216);
}

void KovaVideoStatisticInfo::SetSessionValue1120(uint32_t uValue) {
  WriteRecordU32(m_statistics, 1120, uValue);
}

void KovaVideoStatisticInfo::RaiseSessionMaximum(int32_t nValue) {
  if (nValue > ReadRecordI32(m_statistics, kSessionMaximum)) {
    WriteRecordI32(m_statistics, kSessionMaximum, nValue);
  }
}

void KovaVideoStatisticInfo::SetSessionValue1336(uint32_t uValue) {
  WriteRecordU32(m_statistics, 1336, uValue);
}

void KovaVideoStatisticInfo::SetSessionPackedPair(uint32_t uPair) {
  WriteRecordU32(m_statistics, 1084, uPair & 0xFFFFu);
  WriteRecordU32(m_statistics, 1088, uPair >> 16);
}

void KovaVideoStatisticInfo::SetSessionFlag1140(uint8_t byFlag) {
  WriteRecordU8(m_statistics, 1140, byFlag);
}

void KovaVideoStatisticInfo::SetStreamValues212(const uint32_t* pValues,
                                                int32_t nCount) {
  if (pValues == nullptr || nCount < 1 || nCount > kKovaVideoMaxStreams) {
    return;
  }
  for (int32_t k = 0; k < nCount; ++k) {
    WriteRecordU32(streamEntry(k), 212, ReadRecordU32(pValues, 4 * k));
  }
}

void KovaVideoStatisticInfo::ClearStatistics() {
  memset_s(m_statistics, sizeof(m_statistics), 0, sizeof(m_statistics));
  clearSnapshots();
}

void KovaVideoStatisticInfo::SetStreamValue24(uint32_t uValue,
                                              const void* pSources,
                                              int32_t nIndex, bool bAll) {
  WriteRecordU32(m_statistics, 1104, uValue);
  if (pSources == nullptr) return;
  if (bAll) {
    const uint32_t streams = boundedStreamCount(nIndex);
    for (uint32_t k = 0; k < streams; ++k) {
      copyU32(m_statistics + kKovaVideoEntrySize * k, kEntry24,
              sourceRecord(pSources, k), 68);
    }
    return;
  }
  uint8_t* pEntry = streamEntry(nIndex);
  if (pEntry == nullptr) return;
  copyU32(pEntry, kEntry24,
          sourceRecord(pSources, static_cast<uint32_t>(nIndex)), 68);
}

void KovaVideoStatisticInfo::SetStreamCounterBlock(uint32_t uValue,
                                                   const void* pSources,
                                                   int32_t nIndex) {
  WriteRecordU32(m_statistics, 1108, uValue);
  uint8_t* pEntry = streamEntry(nIndex);
  if (pEntry == nullptr || pSources == nullptr) return;
  const uint8_t* pSource =
      sourceRecord(pSources, static_cast<uint32_t>(nIndex));
  copyU32(pEntry, 28, pSource, 72);
  copyU32Run(pEntry, kEntryCounters, pSource, 212, kCounterCount);
}

void KovaVideoStatisticInfo::SetStreamValue52(const uint32_t* pValues,
                                              uint32_t uIndex) {
  if (pValues == nullptr ||
      uIndex >= static_cast<uint32_t>(kKovaVideoMaxStreams)) {
    return;
  }
  WriteRecordU32(m_statistics + kKovaVideoEntrySize * uIndex, 52,
                 ReadRecordU32(pValues, 4 * uIndex));
}

void KovaVideoStatisticInfo::SetStreamValues64(const uint32_t* pValues,
                                               int32_t nCount) {
  if (pValues == nullptr) return;
  const uint32_t streams = boundedStreamCount(nCount);
  for (uint32_t k = 0; k < streams; ++k) {
    WriteRecordU32(m_statistics + kKovaVideoEntrySize * k, 64,
                   ReadRecordU32(pValues, 4 * k));
  }
}

void KovaVideoStatisticInfo::SetStreamCountAndKind(uint32_t uCount,
                                                   int32_t nKind) {
  WriteRecordU32(m_statistics, kStreamCount, uCount);
  WriteRecordU32(m_statistics, kSessionKind, mapVideoKind(nKind));
}

void KovaVideoStatisticInfo::SetStreamFromSource(const void* pSources,
                                                 int32_t nIndex, bool bReset,
                                                 uint32_t uValue) {
  WriteRecordU32(m_statistics, 1128, uValue);
  uint8_t* pEntry = streamEntry(nIndex);
  if (pEntry == nullptr || pSources == nullptr) return;
  const uint32_t index = static_cast<uint32_t>(nIndex);
  const uint8_t* pSource = sourceRecord(pSources, index);
  copyU32Run(pEntry, 0, pSource, 0, 4);  // +0 to +12
  copyU32(pEntry, 16, pSource, 52);
  copyU32(pEntry, 20, pSource, 64);
  copyU32Run(pEntry, 24, pSource, 68, 3);  // +24, +28, +32
  WriteRecordU8(pEntry, 36, ReadRecordU8(pSource, 80));
  copyU32Run(pEntry, 72, pSource, 196, 4);
  copyU32(pEntry, kEntry88, pSource, 92);
  copyU32Run(pEntry, 92, pSource, 180, 4);
  copyU32(pEntry, 112, pSource, 128);
  WriteRecordU32(pEntry, 160, mapVideoKind(ReadRecordI32(pSource, 356)));
  copyU32Run(pEntry, 164, pSource, 264, 8);  // +164 to +192
  copyU32Run(pEntry, 196, pSource, 256, 2);
  if (bReset) {
    memset_s(&m_snapshots[index], sizeof(StreamSnapshot), 0,
             sizeof(StreamSnapshot));
    memset_s(pEntry + kEntryCounters, kEntryCountersSize, 0,
             kEntryCountersSize);
  }
}

void KovaVideoStatisticInfo::SetStreamsFromSource(const void* pSources,
                                                  int32_t nCount) {
  WriteRecordI32(m_statistics, kStreamCount, nCount);
  if (pSources == nullptr) return;
  const uint32_t streams = boundedStreamCount(nCount);
  for (uint32_t k = 0; k < streams; ++k) {
    uint8_t* pEntry = m_statistics + kKovaVideoEntrySize * k;
    const uint8_t* pSource = sourceRecord(pSources, k);
    copyU32Run(pEntry, 8, pSource, 8, 2);
    WriteRecordFloat(pEntry, 40,
                     static_cast<float>(ReadRecordU32(pSource, 48)));
    WriteRecordFloat(pEntry, 44,
                     static_cast<float>(ReadRecordU32(pSource, 44)));
    copyU32(pEntry, 48, pSource, 60);
    copyU32Run(pEntry, 56, pSource, 84, 2);
    copyU32Run(pEntry, 92, pSource, 180, 4);
    copyU32(pEntry, 108, pSource, 104);
    copyU32(pEntry, 112, pSource, 128);
  }
}

void KovaVideoStatisticInfo::SetStreamValues88(const void* pSources,
                                               int32_t nCount) {
  if (pSources == nullptr) return;
  const uint32_t streams = boundedStreamCount(nCount);
  for (uint32_t k = 0; k < streams; ++k) {
    copyU32(m_statistics + kKovaVideoEntrySize * k, kEntry88,
            sourceRecord(pSources, k), 92);
  }
}

void KovaVideoStatisticInfo::SetSessionValue1128(uint32_t uValue) {
  WriteRecordU32(m_statistics, 1128, uValue);
}

void KovaVideoStatisticInfo::SetSessionWide1176(uint32_t uValue) {
  WriteRecordU64(m_statistics, 1176, uValue);
}

void KovaVideoStatisticInfo::SetSessionWide1192(uint32_t uValue) {
  WriteRecordU64(m_statistics, 1192, uValue);
}

void KovaVideoStatisticInfo::SetSessionSummary(float fA, float fB, uint32_t uC,
                                               int32_t nKind, uint32_t uD,
                                               uint32_t uE, uint32_t uF) {
  WriteRecordFloat(m_statistics, 1168, fA);
  WriteRecordFloat(m_statistics, 1160, fB);
  WriteRecordU32(m_statistics, 1116, uC);
  WriteRecordU32(m_statistics, kSessionKind, mapVideoKind(nKind));
  WriteRecordU32(m_statistics, 1224, uD);
  WriteRecordU32(m_statistics, 1204, uE);
  WriteRecordU32(m_statistics, 1340, uF);
}

}  // namespace kovaStore

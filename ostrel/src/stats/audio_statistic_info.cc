#include "audio_statistic_info.h"

#include "support/bounded_memory.h"

namespace kovaStore {

namespace {

// Session fields with a default other than 0.
constexpr size_t kLevelsA = 60;      // three floats, default -100.0
constexpr size_t kLevelsB = 72;      // three floats, default 0.0
constexpr size_t kLevelsC = 84;      // three floats, default -100.0
constexpr size_t kSession112 = 112;  // default 20
constexpr float kLevelFloor = -100.0f;
constexpr uint32_t kSession112Default = 20;

// Stream fields that a resetting stream read zeroes.
constexpr size_t kIntervalCounters = 120;  // three u32

void writeTriple(uint8_t* pRecord, size_t offset, float f1, float f2,
                 float f3) {
  WriteRecordFloat(pRecord, offset, f1);
  WriteRecordFloat(pRecord, offset + 4, f2);
  WriteRecordFloat(pRecord, offset + 8, f3);
}

void copyU32(uint8_t* pRecord, size_t offset, const void* pSource,
             size_t sourceOffset) {
  WriteRecordU32(pRecord, offset, ReadRecordU32(pSource, sourceOffset));
}

}  // namespace

bool mapAudioCodec(int32_t nCodec, uint32_t* pCode) {
  struct CodecCode {
    int32_t number;
    uint32_t code;
  };
  static constexpr CodecCode kCodes[] = {
      {0, 1},   {8, 2},   {9, 5},   {18, 7},   {101, 4},
      {102, 3}, {103, 8}, {104, 9}, {105, 10}, {106, 11}};
  for (const CodecCode& entry : kCodes) {
    if (entry.number == nCodec) {
      *pCode = entry.code;
      return true;
    }
  }
  return false;
}

IKovaAudioInfo::IKovaAudioInfo(const IKovaAudioInfo& other)
    : IKovaMediaInfo(other) {}

IKovaAudioInfo& IKovaAudioInfo::operator=(const IKovaAudioInfo& other) {
  m_callId = other.m_callId;
  return *this;
}

KovaAudioStatisticInfo::KovaAudioStatisticInfo(uint32_t callId)
    : KovaCountedMediaInfo(callId) {
  resetRecords(callId);
}

KovaAudioStatisticInfo::~KovaAudioStatisticInfo() = default;

KovaContentAudioStatisticInfo::~KovaContentAudioStatisticInfo() = default;

void KovaAudioStatisticInfo::resetRecords(uint32_t callId) {
  memset_s(m_session, sizeof(m_session), 0, sizeof(m_session));
  for (auto& record : m_streams) {
    memset_s(record, sizeof(record), 0, sizeof(record));
  }
  for (auto& record : m_auxiliary) {
    memset_s(record, sizeof(record), 0, sizeof(record));
  }
  applySessionDefaults();
  m_callId = callId;
}

void KovaAudioStatisticInfo::applySessionDefaults() {
  writeTriple(m_session, kLevelsA, kLevelFloor, kLevelFloor, kLevelFloor);
  writeTriple(m_session, kLevelsB, 0.0f, 0.0f, 0.0f);
  writeTriple(m_session, kLevelsC, kLevelFloor, kLevelFloor, kLevelFloor);
  WriteRecordU32(m_session, kSession112, kSession112Default);
}

uint8_t* KovaAudioStatisticInfo::streamRecord(int32_t nIndex) {
  const uint32_t index = static_cast<uint32_t>(nIndex);
  if (index >= static_cast<uint32_t>(kKovaAudioStreamCount)) return nullptr;
  return m_streams[index];
}

KOVA_RESULT KovaAudioStatisticInfo::SetStatistics(const void* pRecord) {
  if (pRecord == nullptr) return KOVA_E_FAIL;
  // A refused copy (overlapping buffers) leaves the record as it was.
  memcpy_s(m_session, sizeof(m_session), pRecord, kKovaAudioRecordSize);
  return KOVA_S_OK;
}

KOVA_RESULT KovaAudioStatisticInfo::GetStatistics(void* pRecord, bool bReset) {
  if (pRecord == nullptr) return KOVA_E_FAIL;
  memcpy_s(pRecord, kKovaAudioRecordSize, m_session, sizeof(m_session));
  if (bReset) applySessionDefaults();
  return KOVA_S_OK;
}

KOVA_RESULT KovaAudioStatisticInfo::ReservedB() { return KOVA_S_OK; }

void KovaAudioStatisticInfo::ResetStatistics(uint32_t callId) {
  resetRecords(callId);
}

void KovaAudioStatisticInfo::SetSessionDescriptor(const void* pDescriptor) {
  if (pDescriptor == nullptr) return;
  WriteRecordU8(m_session, 0, ReadRecordU8(pDescriptor, 0));
  copyU32(m_session, 4, pDescriptor, 4);
  uint32_t code = 0;
  if (mapAudioCodec(ReadRecordI32(pDescriptor, 8), &code)) {
    WriteRecordU32(m_session, 16, code);
  }
  copyU32(m_session, 56, pDescriptor, 12);
  copyU32(m_session, 96, pDescriptor, 16);
  copyU32(m_session, 100, pDescriptor, 20);
  copyU32(m_session, 104, pDescriptor, 24);
}

void KovaAudioStatisticInfo::SetSessionValue12(uint32_t uValue) {
  WriteRecordU32(m_session, 12, uValue);
}

void KovaAudioStatisticInfo::SetStreamValue12(int32_t nIndex, uint32_t uValue) {
  uint8_t* pStream = streamRecord(nIndex);
  if (pStream != nullptr) WriteRecordU32(pStream, 12, uValue);
}

void KovaAudioStatisticInfo::SetSessionValue116(uint32_t uValue) {
  WriteRecordU32(m_session, 116, uValue);
}

void KovaAudioStatisticInfo::SetSessionLevelsB(float f72, float f76,
                                               float f80) {
  writeTriple(m_session, kLevelsB, f72, f76, f80);
}

void KovaAudioStatisticInfo::SetSessionLevelsA(float f60, float f64,
                                               float f68) {
  writeTriple(m_session, kLevelsA, f60, f64, f68);
}

void KovaAudioStatisticInfo::SetSessionLevelsC(float f84, float f88,
                                               float f92) {
  writeTriple(m_session, kLevelsC, f84, f88, f92);
}

void KovaAudioStatisticInfo::SetStreamCodec(int32_t nIndex, int32_t nCodec) {
  uint8_t* pStream = streamRecord(nIndex);
  uint32_t code = 0;
  if (pStream != nullptr && mapAudioCodec(nCodec, &code)) {
    WriteRecordU32(pStream, 16, code);
  }
}

void KovaAudioStatisticInfo::SetStreamFlagAndValue(int32_t nIndex,
                                                   uint8_t byFlag,
                                                   uint32_t uValue) {
  uint8_t* pStream = streamRecord(nIndex);
  if (pStream == nullptr) return;
  WriteRecordU8(pStream, 0, byFlag);
  WriteRecordU32(pStream, 4, uValue);
}

void KovaAudioStatisticInfo::SetStreamCounters(int32_t nIndex,
                                               const void* pSource, uint8_t byA,
                                               uint8_t byB) {
  uint8_t* pStream = streamRecord(nIndex);
  if (pStream == nullptr || pSource == nullptr) return;
  copyU32(pStream, 8, pSource, 32);
  copyU32(pStream, 112, pSource, 36);
  copyU32(pStream, 120, pSource, 12);
  copyU32(pStream, 124, pSource, 8);
  copyU32(pStream, 128, pSource, 16);
  copyU32(pStream, 132, pSource, 40);
  copyU32(pStream, 136, pSource, 44);
  copyU32(pStream, 140, pSource, 48);
  WriteRecordU8(pStream, 108, byA);
  WriteRecordU8(pStream, 109, byB);
}

void KovaAudioStatisticInfo::SetStreamTriple(int32_t nIndex, uint32_t u196,
                                             uint32_t u200, uint32_t u204) {
  uint8_t* pStream = streamRecord(nIndex);
  if (pStream == nullptr) return;
  WriteRecordU32(pStream, 196, u196);
  WriteRecordU32(pStream, 200, u200);
  WriteRecordU32(pStream, 204, u204);
}

void KovaAudioStatisticInfo::SetSessionFlag(uint8_t byFlag) {
  WriteRecordU8(m_session, 0, byFlag);
}

void KovaAudioStatisticInfo::SetStreamFlag(int32_t nIndex, uint8_t byFlag) {
  uint8_t* pStream = streamRecord(nIndex);
  if (pStream != nullptr) WriteRecordU8(pStream, 0, byFlag);
}

void KovaAudioStatisticInfo::SetSessionValue56(uint32_t uValue) {
  WriteRecordU32(m_session, 56, uValue);
}

void KovaAudioStatisticInfo::SetAuxiliary(int32_t nIndex,
                                          const void* pAuxiliary) {
  const uint32_t index = static_cast<uint32_t>(nIndex);
  if (index >= static_cast<uint32_t>(kKovaAudioStreamCount) ||
      pAuxiliary == nullptr) {
    return;
  }
  // Field by field: the caller's padding bytes are not carried over.
  uint8_t* pAux = m_auxiliary[index];
  WriteRecordU8(pAux, 0, ReadRecordU8(pAuxiliary, 0));
  for (size_t offset = 4; offset <= 24; offset += 4) {
    copyU32(pAux, offset, pAuxiliary, offset);
  }
  WriteRecordU8(pAux, 28, ReadRecordU8(pAuxiliary, 28));
  for (size_t offset = 32; offset <= 80; offset += 4) {
    copyU32(pAux, offset, pAuxiliary, offset);
  }
}

KOVA_RESULT KovaAudioStatisticInfo::GetStreamStatistics(void* pRecord,
                                                        int32_t nIndex,
                                                        bool bReset) {
  uint8_t* pStream = streamRecord(nIndex);
  if (pRecord == nullptr || pStream == nullptr) return KOVA_E_FAIL;
  memcpy_s(pRecord, kKovaAudioRecordSize, pStream, kKovaAudioRecordSize);
  if (bReset) {
    memset_s(pStream + kIntervalCounters, 12, 0, 12);
  }
  return KOVA_S_OK;
}

KOVA_RESULT KovaAudioStatisticInfo::GetAuxiliary(void* pAuxiliary,
                                                 int32_t nIndex) {
  const uint32_t index = static_cast<uint32_t>(nIndex);
  if (pAuxiliary == nullptr ||
      index >= static_cast<uint32_t>(kKovaAudioStreamCount)) {
    return KOVA_E_FAIL;
  }
  memcpy_s(pAuxiliary, kKovaAudioAuxiliarySize, m_auxiliary[index],
           kKovaAudioAuxiliarySize);
  return KOVA_S_OK;
}

}  // namespace kovaStore

// Decoding of the statistics records and the host's field names.
#include <ostrel/cpp/statistics.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace ostrel {

namespace {

size_t fieldSize(FieldType type) {
  switch (type) {
    case FieldType::kU8:
      return 1;
    case FieldType::kU64:
      return 8;
    default:
      return 4;
  }
}

bool allZero(const uint8_t* p, size_t n) {
  return std::all_of(p, p + n, [](uint8_t b) { return b == 0; });
}

// The offset of a kind's field within the buffer DecodeRecord is given.
size_t bufferOffset(RecordKind kind, int32_t stream, uint32_t offset) {
  if (kind == RecordKind::kVideoStream && stream > 0) {
    return kovaStore::kKovaVideoEntrySize * static_cast<size_t>(stream) +
           offset;
  }
  return offset;
}

void appendRecord(std::vector<Field>& out, RecordKind kind, int32_t stream,
                  const void* record, const FieldNames* pNames) {
  std::vector<Field> fields = DecodeRecord(kind, stream, record, pNames);
  out.insert(out.end(), std::make_move_iterator(fields.begin()),
             std::make_move_iterator(fields.end()));
}

}  // namespace

void FieldNames::Set(RecordKind kind, uint32_t offset, std::string name) {
  m_names[{kind, offset}] = std::move(name);
}

const std::string* FieldNames::Find(RecordKind kind, uint32_t offset) const {
  auto it = m_names.find({kind, offset});
  return it == m_names.end() ? nullptr : &it->second;
}

double Field::Value() const {
  switch (layout->type) {
    case FieldType::kF32: {
      const uint32_t raw = static_cast<uint32_t>(bits);
      float f;
      std::memcpy(&f, &raw, sizeof(f));
      return f;
    }
    case FieldType::kI32:
      return static_cast<int32_t>(static_cast<uint32_t>(bits));
    default:
      return static_cast<double>(bits);
  }
}

std::string Field::Text() const {
  char text[64];
  switch (layout->type) {
    case FieldType::kF32:
      std::snprintf(text, sizeof(text), "%g", Value());
      break;
    case FieldType::kI32:
      std::snprintf(text, sizeof(text), "%d",
                    static_cast<int32_t>(static_cast<uint32_t>(bits)));
      break;
    case FieldType::kCodecCode:
    case FieldType::kKindCode: {
      const char* what =
          layout->type == FieldType::kCodecCode ? "codec" : "kind";
      if (number >= 0) {
        std::snprintf(text, sizeof(text), "%llu (%s %d)",
                      static_cast<unsigned long long>(bits), what, number);
      } else {
        std::snprintf(text, sizeof(text), "%llu (no %s)",
                      static_cast<unsigned long long>(bits), what);
      }
      break;
    }
    default:
      std::snprintf(text, sizeof(text), "%llu",
                    static_cast<unsigned long long>(bits));
  }
  return text;
}

std::string Field::Label() const {
  if (!name.empty()) return name;
  std::string label = RecordKindName(layout->record);
  if (stream >= 0) label += "[" + std::to_string(stream) + "]";
  return label + "+" + std::to_string(layout->offset);
}

std::vector<Field> DecodeRecord(RecordKind kind, int32_t stream,
                                const void* record, const FieldNames* pNames) {
  const auto* bytes = static_cast<const uint8_t*>(record);
  std::vector<Field> fields;
  const std::vector<FieldLayout>& layouts = FieldLayouts(kind);
  fields.reserve(layouts.size());
  for (const FieldLayout& layout : layouts) {
    Field field{&layout, stream, 0, -1, std::string()};
    std::memcpy(&field.bits, bytes + bufferOffset(kind, stream, layout.offset),
                fieldSize(layout.type));
    if (layout.type == FieldType::kCodecCode) {
      field.number = CodecNumberOf(static_cast<uint32_t>(field.bits));
    } else if (layout.type == FieldType::kKindCode) {
      field.number = KindNumberOf(static_cast<uint32_t>(field.bits));
    }
    if (pNames != nullptr) {
      if (const std::string* name = pNames->Find(kind, layout.offset))
        field.name = *name;
    }
    fields.push_back(std::move(field));
  }
  return fields;
}

std::vector<Field> DecodeAudio(kovaStore::IKovaAudioInfo& info,
                               const FieldNames* pNames,
                               bool bSkipEmptyStreams) {
  std::vector<Field> fields;
  uint8_t record[kovaStore::kKovaAudioRecordSize] = {};
  uint8_t auxiliary[kovaStore::kKovaAudioAuxiliarySize] = {};
  info.GetStatistics(record, false);
  appendRecord(fields, RecordKind::kAudioSession, -1, record, pNames);
  for (int32_t i = 0; i < kovaStore::kKovaAudioStreamCount; ++i) {
    std::memset(record, 0, sizeof(record));
    std::memset(auxiliary, 0, sizeof(auxiliary));
    info.GetStreamStatistics(record, i, false);
    info.GetAuxiliary(auxiliary, i);
    if (bSkipEmptyStreams && allZero(record, sizeof(record)) &&
        allZero(auxiliary, sizeof(auxiliary))) {
      continue;
    }
    appendRecord(fields, RecordKind::kAudioStream, i, record, pNames);
    appendRecord(fields, RecordKind::kAudioAuxiliary, i, auxiliary, pNames);
  }
  return fields;
}

std::vector<Field> DecodeVideo(kovaStore::IKovaVideoInfo& info,
                               const FieldNames* pNames,
                               bool bSkipEmptyStreams) {
  std::vector<Field> fields;
  std::vector<uint8_t> record(kovaStore::kKovaVideoRecordSize);
  info.GetStatistics(record.data(), false);
  appendRecord(fields, RecordKind::kVideoSession, -1, record.data(), pNames);
  for (int32_t i = 0; i < kovaStore::kKovaVideoMaxStreams; ++i) {
    const uint8_t* entry = record.data() + kovaStore::kKovaVideoEntrySize * i;
    if (bSkipEmptyStreams && allZero(entry, kovaStore::kKovaVideoEntrySize)) {
      continue;
    }
    appendRecord(fields, RecordKind::kVideoStream, i, record.data(), pNames);
  }
  return fields;
}

}  // namespace ostrel

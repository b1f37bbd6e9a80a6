// Fuzz target of the JSON reader and writer. For every input:
//   - reading and writing must not crash, leak or trip a sanitizer;
//   - on inputs up to 4 KB the reader must give exactly the value that the
//     routine-by-routine transcription of its rules gives;
//   - where the quick reading of plain configuration documents accepts the
//     text, it must report what the tree holds;
//   - where writing is lossless for the reader (no quote or backslash in a
//     string or key, no "," or "]" in a string held by an array), the text
//     written from a value must read back into text that writes the same.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "json/json_plain_document.h"
#include "json/json_reader.h"
#include "json/json_value.h"
#include "json/json_writer.h"
#include "json/reference_reader_for_test.h"

namespace {

bool hasQuoteOrBackslash(std::string_view text) {
  return text.find_first_of("\"\\") != std::string_view::npos;
}

// True when the written text of `value` reads back into the same text.
bool writesLosslessly(const json::Value& value, bool inArray) {
  switch (value.GetKind()) {
    case json::KindString:
      return !hasQuoteOrBackslash(value.GetString()) &&
             (!inArray ||
              value.GetString().find_first_of(",]") == std::string::npos);
    case json::KindObject:
      for (const auto& member : value.GetObject()) {
        if (hasQuoteOrBackslash(member.first) ||
            !writesLosslessly(member.second, false)) {
          return false;
        }
      }
      return true;
    case json::KindArray:
      for (const json::Value& element : value.GetArray()) {
        if (!writesLosslessly(element, true)) return false;
      }
      return true;
    default:
      return true;
  }
}

[[noreturn]] void fail(const char* what, std::string_view text) {
  std::fprintf(stderr, "json_reader_fuzz: %s for a %zu-byte input\n", what,
               text.size());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const json::Value value = json::FromText(text);
  const std::string written = json::ToText(value);
  if (value.IsNull() != written.empty())
    fail("null and empty text differ", text);

  if (size <= 4096 && !json::reference::Same(value, json::reference::FromText(
                                                        std::string(text)))) {
    fail("reader differs from the literal rules", text);
  }

  json::PlainDocument plain;
  if (json::ReadPlainConfigDocument(text, plain) &&
      !json::reference::PlainMatchesTree(plain, value)) {
    fail("plain reading differs from the tree", text);
  }

  if (!written.empty() && writesLosslessly(value, false)) {
    const std::string rewritten = json::ToText(json::FromText(written));
    if (rewritten != written) fail("written text does not read back", text);
  }
  return 0;
}

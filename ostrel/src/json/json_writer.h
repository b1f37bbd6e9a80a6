// The JSON writer: turns a json::Value into compact text.
//
//   std::string text = json::ToText(json::Value(document));
//
// The text is one line without whitespace between tokens and without a
// final line break. Object members are written in key order. Strings and
// keys are written byte for byte, without escaping: a double quote,
// backslash or control byte in them goes into the text unchanged (so the
// text may not be valid JSON). Numbers use the classic printf conversions
// in every process locale: "%d", "%lld", "%u", and "%f" (six decimals) for
// both floating point kinds.
//
// The writer keeps no state: any number of threads may write at once.
#ifndef OSTREL_SRC_JSON_JSON_WRITER_H_
#define OSTREL_SRC_JSON_JSON_WRITER_H_

#include <string>

#include "json_value.h"

namespace json {

// The text of an object or array value; "" for a value of any other kind.
std::string ToText(const Value& value);
// The text of one value of any kind, as written for members and elements.
std::string ValueToText(const Value& value);
// The text of an array.
std::string ArrayToText(const Array& array);

}  // namespace json

#endif  // OSTREL_SRC_JSON_JSON_WRITER_H_

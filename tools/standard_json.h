// Whether a text is standard JSON (RFC 8259) as strict parsers read it: one
// value with optional white space (space, tab, line feed, carriage return)
// around it; strings of well-formed UTF-8 with no unescaped control byte and
// only the escapes \" \\ \/ \b \f \n \r \t and \uXXXX, whose surrogates come
// in pairs; numbers without a leading zero, '+', bare '.' or hexadecimal;
// the words true, false and null in lower case; no comments, no trailing
// commas, no byte order mark, nothing after the value.
//
// The store's reader takes much more than this (see document_scan.h); `check
// --strict` uses this test so that no document passes it that another JSON
// tool rejects. One linear pass with the open brackets on the heap, so any
// input is checked in time proportional to its length. A pure function; any
// thread may call it.
#ifndef TOOLS_STANDARD_JSON_H_
#define TOOLS_STANDARD_JSON_H_

#include <cstddef>
#include <string>

namespace ostrel_cli {

struct StandardJsonResult {
  bool bValid = true;
  size_t offset = 0;    // where the first violation starts (when !bValid)
  std::string problem;  // what is wrong there ("a trailing comma before ']'")
};

StandardJsonResult CheckStandardJson(const std::string& text);

}  // namespace ostrel_cli

#endif  // TOOLS_STANDARD_JSON_H_

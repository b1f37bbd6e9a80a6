// Text helpers of the command's reports: how much an item matters, byte
// strings quoted for people, UTF-8 sequences, and the edit distance behind
// "did you mean" suggestions. Pure functions; any thread may call them.
#ifndef TOOLS_REPORT_TEXT_H_
#define TOOLS_REPORT_TEXT_H_

#include <cstddef>
#include <string>

namespace ostrel_cli {

// How much a report item matters: Info tells what happens, a Note explains or
// hints, a Warning marks data the reader or the store changes or loses, an
// Error makes the apply fail.
enum class Severity { Info, Note, Warning, Error };

// "info", "note", "warning", "error".
const char* SeverityName(Severity severity);

// A readable, quoted form of a byte string: printable ASCII as is, a quote or
// backslash escaped, every other byte as \xNN. Long texts are cut with "...".
std::string Quoted(const std::string& bytes, size_t maxLength = 60);

// The length of the well-formed UTF-8 sequence that starts at `at` (1 for an
// ASCII byte), or 0 when none does.
size_t Utf8SequenceLength(const std::string& bytes, size_t at);

// ASCII letters in lower case; every other byte as it is (no locale).
char AsciiLower(char c);
std::string AsciiLower(std::string text);

// Edit distance between two byte strings (insertions, deletions and
// substitutions each cost 2, a substitution that changes only the letter
// case costs 1). Linear memory; the caller bounds the lengths.
size_t WeightedEditDistance(const std::string& a, const std::string& b);

}  // namespace ostrel_cli

#endif  // TOOLS_REPORT_TEXT_H_

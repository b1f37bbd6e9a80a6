#include "document_scan.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "json/json_reader.h"

namespace ostrel_cli {

namespace {

const size_t kNone = std::string::npos;
// The reader reads at most this many containers nested in each other.
const size_t kReaderDepthLimit = json::kMaxNestedReads;

bool isBlank(char c) { return IsReaderTrimmedByte(c); }

bool isDelimiter(char c) {
  return isBlank(c) || c == '"' || c == '{' || c == '}' || c == '[' ||
         c == ']' || c == ',' || c == ':';
}

// Quoted() without the quotes.
std::string shown(const std::string& bytes) {
  const std::string q = Quoted(bytes);
  return q.substr(1, q.size() - 2);
}

bool isHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') ||
         (c >= 'A' && c <= 'F');
}

bool equalsNoCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    if (AsciiLower(a[i]) != b[i]) return false;
  }
  return i == a.size() && b[i] == '\0';
}

// One open bracket and what the scan has seen inside it so far.
struct Frame {
  enum Expect { kKey, kColon, kValue, kAfterValue };
  // What the container is in a configuration document.
  enum Role { kOther, kDocument, kGroupArray, kEntry };

  bool bObject = false;
  Role role = kOther;
  size_t openOffset = 0;
  // Objects.
  Expect expect = kKey;
  std::string lastKey;
  bool bHasKey = false;
  bool bLastValueBare = false;
  bool bCommaPending = false;
  bool bReadsAsNull = false;
  std::set<std::string> keys;
  size_t strayOffset = kNone;
  std::string strayText;
  // Arrays.
  bool bElementEmpty = true;
  bool bElementHasContainerOrString = false;
  size_t elementOffset = 0;
  std::string elementWords;
  // Group arrays: the group's key, and the place of the current element and
  // whether it is an object that reads as null.
  std::string groupKey;
  EntryPlace element;
  bool bElementNull = false;
};

class Scanner {
 public:
  Scanner(const std::string& text, DocumentScan& scan)
      : m_text(text), m_scan(scan) {
    m_scan.lineStarts.push_back(0);
    for (size_t i = 0; i < text.size(); ++i)
      if (text[i] == '\n') m_scan.lineStarts.push_back(i + 1);
  }

  void Run() {
    if (m_text.compare(0, 3, "\xEF\xBB\xBF") == 0)
      note(ScanNoteKind::ByteOrderMark, 0,
           "the text starts with a UTF-8 byte order mark: the reader does not "
           "skip it and reads the document as null; save it without one",
           Severity::Note);
    if (std::all_of(m_text.begin(), m_text.end(), isBlank))
      note(ScanNoteKind::EmptyDocument, 0,
           "the document is empty: the reader reads null; an empty "
           "configuration is {}",
           Severity::Note);
    size_t i = 0;
    while (i < m_text.size() && !m_bStopped) {
      const char c = m_text[i];
      if (isBlank(c)) {
        ++i;
      } else if (c == '"') {
        i = onString(i);
      } else if (c == '{' || c == '[') {
        onOpen(c, i);
        ++i;
      } else if (c == '}' || c == ']') {
        onClose(c, i);
        ++i;
      } else if (c == ',') {
        onComma(i);
        ++i;
      } else if (c == ':') {
        onColon();
        ++i;
      } else {
        size_t end = i;
        while (end < m_text.size() && !isDelimiter(m_text[end])) ++end;
        i = onWord(i, end);
      }
    }
    if (!m_bStopped) {
      for (auto it = m_stack.rbegin(); it != m_stack.rend(); ++it)
        note(ScanNoteKind::Unterminated, it->openOffset,
             std::string("'") + (it->bObject ? '{' : '[') +
                 "' is never closed: the reader reads it as null");
    }
    std::stable_sort(m_scan.notes.begin(), m_scan.notes.end(),
                     [](const ScanNote& a, const ScanNote& b) {
                       return a.offset < b.offset;
                     });
  }

 private:
  void note(ScanNoteKind kind, size_t offset, std::string message,
            Severity severity = Severity::Warning) {
    ScanNote n{kind, offset, 0, 0, std::move(message), severity};
    m_scan.Position(offset, n.line, n.column);
    m_scan.notes.push_back(std::move(n));
  }

  Frame* top() { return m_stack.empty() ? nullptr : &m_stack.back(); }

  // What happens to an object the reader turns into null, told by where it
  // stands.
  std::string nullConsequence() const {
    if (m_stack.size() <= 1) return "the document reads as null";
    const Frame& parent = m_stack[m_stack.size() - 2];
    return parent.bObject ? "that member becomes null"
                          : "it is dropped from its array";
  }

  std::string memberContext(const Frame& f) const {
    return f.bHasKey ? "after member " + Quoted(f.lastKey) : "in the object";
  }

  // A value (string, bracket or word) starts in the innermost container.
  void beginValue(size_t offset, bool bBare) {
    Frame* f = top();
    if (f == nullptr) {
      if (m_bDocumentClosed) trailingText(offset);
      return;
    }
    if (f->bObject) {
      f->bLastValueBare = bBare;
      f->expect = Frame::kAfterValue;
      if (f->role == Frame::kDocument) {
        m_scan.groups[f->lastKey].valueOffset = offset;
      } else if (f->role == Frame::kEntry) {
        EntryPlace& entry = m_stack[m_stack.size() - 2].element;
        if (f->lastKey == "key") entry.keyOffset = offset;
        if (f->lastKey == "value") entry.valueOffset = offset;
      }
    } else {
      if (f->bElementEmpty) {
        f->elementOffset = offset;
        f->element = EntryPlace();
        f->element.offset = offset;
        f->bElementNull = false;
      }
      f->bElementEmpty = false;
      if (!bBare) f->bElementHasContainerOrString = true;
    }
  }

  void trailingText(size_t offset) {
    note(ScanNoteKind::ObjectReadsAsNull, offset,
         "text after the end of the document: the document reads as null");
    m_bStopped = true;
  }

  size_t onString(size_t open) {
    bool bEscape = false;
    size_t close = kNone;
    for (size_t j = open + 1; j < m_text.size(); ++j) {
      const char c = m_text[j];
      if (c == '\\') {
        bEscape = !bEscape;
      } else if (c == '"' && !bEscape) {
        close = j;
        break;
      } else {
        bEscape = false;
      }
    }
    if (close == kNone) {
      note(ScanNoteKind::Unterminated, open,
           "string has no closing quote: the reader turns what holds it "
           "into null");
      m_bStopped = true;
      return m_text.size();
    }
    const std::string body = m_text.substr(open + 1, close - open - 1);
    Frame* f = top();
    if (f != nullptr && f->bObject &&
        (f->expect == Frame::kKey || f->expect == Frame::kAfterValue)) {
      onKey(*f, open, body);
      if (m_resumeAt != kNone) {
        const size_t resume = m_resumeAt;
        m_resumeAt = kNone;
        return resume;
      }
    } else if (f != nullptr && f->bObject && f->expect == Frame::kColon) {
      note(ScanNoteKind::SkippedText, open,
           "string " + Quoted(body) + " after key " + Quoted(f->lastKey) +
               " stands before its ':' and is skipped");
    } else {
      if (f != nullptr && !f->bObject && f->bElementEmpty)
        checkArrayString(open, body);
      beginValue(open, false);
      checkValueString(open, body);
    }
    return close + 1;
  }

  void onKey(Frame& f, size_t open, const std::string& body) {
    if (f.expect == Frame::kAfterValue && f.bLastValueBare) {
      note(ScanNoteKind::SwallowedMember, open,
           "no ',' after the bare value of " + Quoted(f.lastKey) +
               ": the reader reads everything up to the next ',' into that "
               "value, member " +
               Quoted(body) + " included");
      swallowToComma(open);
      return;
    }
    if (f.strayOffset != kNone) {
      note(ScanNoteKind::SkippedText, f.strayOffset,
           "text " + Quoted(f.strayText) + " before key " + Quoted(body) +
               " is skipped unread");
      f.strayOffset = kNone;
    }
    if (body.empty()) f.bReadsAsNull = true;
    if (f.role == Frame::kDocument) {
      GroupPlace& group = m_scan.groups[body];
      group = GroupPlace();
      group.keyOffset = open;
    }
    if (body.empty())
      note(ScanNoteKind::ObjectReadsAsNull, open,
           "empty key: the reader turns the object into null; " +
               nullConsequence());
    if (body.find('\\') != kNone)
      note(ScanNoteKind::RawKeyEscape, open,
           "key " + Quoted(body) +
               " keeps its escapes raw: the reader does not decode escapes "
               "in keys");
    if (!f.keys.insert(body).second) {
      note(ScanNoteKind::DuplicateKey, open,
           m_stack.size() == 1
               ? "group " + Quoted(body) +
                     " appears twice: only the last one is applied"
               : "key " + Quoted(body) +
                     " appears twice in one object: the last one wins");
    }
    f.lastKey = body;
    f.bHasKey = true;
    f.bCommaPending = false;
    f.expect = Frame::kColon;
  }

  // The reader reads a bare value up to the next ',' byte, wherever it
  // stands; resume the scan there (or at the object's closing brace).
  void swallowToComma(size_t from) {
    size_t j = from;
    while (j < m_text.size() && m_text[j] != ',' && m_text[j] != '}') ++j;
    m_resumeAt = j;
  }

  // A string that is an array element by itself: the reader splits the array
  // at ',' and ']' before reading elements, unless a '{' or '[' comes first.
  void checkArrayString(size_t open, const std::string& body) {
    const size_t stop = body.find_first_of("{[,]");
    if (stop != kNone && (body[stop] == ',' || body[stop] == ']'))
      note(ScanNoteKind::StringBreaksArray, open,
           std::string("the '") + body[stop] + "' inside string " +
               Quoted(body) +
               " splits the array there: the whole array reads as null");
  }

  void checkValueString(size_t open, const std::string& body) {
    std::string decoded;
    for (size_t j = 0; j < body.size();) {
      if (body[j] != '\\' || j + 1 == body.size()) {
        decoded += body[j++];
        continue;
      }
      const char e = body[j + 1];
      const char* simple = "\"\"//\\\\b\bf\fn\nr\rt\t";
      const char* hit = nullptr;
      for (const char* p = simple; *p != '\0'; p += 2)
        if (*p == e) hit = p;
      if (hit != nullptr) {
        decoded += hit[1];
        j += 2;
      } else if (e == 'u') {
        decoded += unicodeEscape(open, body, j);
        j += 6;
      } else {
        note(ScanNoteKind::DroppedEscape, open,
             "unknown escape \\" + shown(std::string(1, e)) + " in " +
                 Quoted(body) + " is dropped");
        j += 2;
      }
    }
    size_t b = 0, e = decoded.size();
    while (b < e && isBlank(decoded[b])) ++b;
    while (e > b && isBlank(decoded[e - 1])) --e;
    if (b != 0 || e != decoded.size())
      note(ScanNoteKind::TrimmedValue, open,
           "string " + Quoted(decoded) + " is read trimmed as " +
               Quoted(decoded.substr(b, e - b)));
  }

  char unicodeEscape(size_t open, const std::string& body, size_t at) {
    const std::string digits = body.substr(at + 2, 4);
    bool bHex = digits.size() == 4;
    for (char d : digits) bHex = bHex && isHexDigit(d);
    if (!bHex) {
      note(ScanNoteKind::LossyUnicodeEscape, open,
           "escape \\u" + shown(digits) + " in " + Quoted(body) +
               " does not have four hex digits: what it yields is not "
               "settled");
      return digits.size() == 4 ? static_cast<char>(std::strtoul(
                                      digits.c_str() + 2, nullptr, 16))
                                : '?';
    }
    const unsigned value =
        static_cast<unsigned>(std::strtoul(digits.c_str(), nullptr, 16));
    if (value > 0xFF) {
      char low[8];
      std::snprintf(low, sizeof low, "0x%02X", value & 0xFF);
      note(ScanNoteKind::LossyUnicodeEscape, open,
           "escape \\u" + digits + " in " + Quoted(body) +
               " keeps only its low byte " + low);
    }
    return static_cast<char>(value & 0xFF);
  }

  void onOpen(char c, size_t offset) {
    if (top() == nullptr && m_bDocumentClosed) return trailingText(offset);
    if (m_stack.size() == kReaderDepthLimit) {
      note(ScanNoteKind::TooDeep, offset,
           "brackets nested deeper than " + std::to_string(kReaderDepthLimit) +
               " levels: the reader turns the container holding this one "
               "into null");
      m_bStopped = true;
      return;
    }
    Frame f;
    f.bObject = c == '{';
    f.openOffset = offset;
    const Frame* parent = top();
    if (parent == nullptr) {
      if (f.bObject) f.role = Frame::kDocument;
    } else if (parent->role == Frame::kDocument &&
               parent->expect == Frame::kValue && !f.bObject) {
      f.role = Frame::kGroupArray;
      f.groupKey = parent->lastKey;
    } else if (parent->role == Frame::kGroupArray && f.bObject) {
      f.role = Frame::kEntry;
    }
    beginValue(offset, false);
    m_stack.push_back(std::move(f));
  }

  void onClose(char c, size_t offset) {
    Frame* f = top();
    if (f == nullptr) {
      if (m_bDocumentClosed) return trailingText(offset);
      note(ScanNoteKind::Unterminated, offset,
           std::string("'") + c + "' closes nothing: the reader reads null");
      m_bStopped = true;
      return;
    }
    if (f->bObject != (c == '}')) {
      note(ScanNoteKind::Unterminated, offset,
           std::string("'") + c + "' does not close the open '" +
               (f->bObject ? '{' : '[') + "': the reader reads it as null");
      m_bStopped = true;
      return;
    }
    if (f->bObject) {
      closeObject(*f, offset);
    } else {
      endElement(*f, offset);
    }
    if (f->bReadsAsNull && m_stack.size() >= 2)
      m_stack[m_stack.size() - 2].bElementNull = true;
    m_stack.pop_back();
    if (m_stack.empty()) m_bDocumentClosed = true;
  }

  void closeObject(Frame& f, size_t offset) {
    f.bReadsAsNull = f.bReadsAsNull || f.expect == Frame::kColon ||
                     f.strayOffset != kNone || f.bCommaPending;
    if (f.expect == Frame::kColon) {
      note(ScanNoteKind::ObjectReadsAsNull, offset,
           "key " + Quoted(f.lastKey) +
               " has no ':': the reader turns the "
               "object into null; " +
               nullConsequence());
    } else if (f.strayOffset != kNone) {
      note(ScanNoteKind::ObjectReadsAsNull, f.strayOffset,
           "text " + Quoted(f.strayText) + " " + memberContext(f) +
               " is followed by no key: the reader turns the object into "
               "null; " +
               nullConsequence());
    } else if (f.bCommaPending && m_stack.size() == 1) {
      note(ScanNoteKind::TrailingComma, m_commaOffset,
           "trailing comma after the last group " + Quoted(f.lastKey) +
               ": JSON allows none, and the reader reads the document as "
               "null; remove it",
           Severity::Note);
    } else if (f.bCommaPending) {
      note(ScanNoteKind::TrailingComma, m_commaOffset,
           "trailing comma " + memberContext(f) +
               ": the reader turns the object into null; " + nullConsequence());
    }
  }

  void endElement(Frame& f, size_t offset) {
    const bool bNullWord = !f.bElementHasContainerOrString &&
                           !f.bElementEmpty &&
                           equalsNoCase(f.elementWords, "null");
    if (f.role == Frame::kGroupArray && !f.bElementEmpty && !bNullWord &&
        !f.bElementNull)
      m_scan.groups[f.groupKey].entries.push_back(f.element);
    if (!f.bElementHasContainerOrString) {
      if (f.bElementEmpty && m_text[offset] == ',') {
        note(ScanNoteKind::DroppedElement, offset,
             "empty array element is dropped");
      } else if (!f.bElementEmpty && equalsNoCase(f.elementWords, "null")) {
        note(ScanNoteKind::DroppedElement, f.elementOffset,
             "null array element is dropped");
      }
    }
    f.bElementEmpty = true;
    f.bElementHasContainerOrString = false;
    f.elementWords.clear();
  }

  void onComma(size_t offset) {
    Frame* f = top();
    if (f == nullptr) {
      if (m_bDocumentClosed) trailingText(offset);
      return;
    }
    if (!f->bObject) return endElement(*f, offset);
    if (f->expect == Frame::kAfterValue || f->expect == Frame::kKey) {
      f->expect = Frame::kKey;
      f->bCommaPending = true;
      m_commaOffset = offset;
    }
  }

  void onColon() {
    Frame* f = top();
    if (f != nullptr && f->bObject && f->expect == Frame::kColon)
      f->expect = Frame::kValue;
  }

  size_t onWord(size_t begin, size_t end) {
    const std::string word = m_text.substr(begin, end - begin);
    if (word[0] == '\'' && !m_bSingleQuoteNoted) {
      m_bSingleQuoteNoted = true;
      note(ScanNoteKind::SingleQuote, begin,
           "single quotes do not make a JSON string: the reader reads " +
               Quoted(word) + " as bare text; write \"...\"",
           Severity::Note);
    }
    if (word.compare(0, 2, "//") == 0 || word.compare(0, 2, "/*") == 0)
      note(ScanNoteKind::Comment, begin,
           "JSON has no comments: the reader reads " + Quoted(word) +
               " and what follows as text",
           Severity::Note);
    Frame* f = top();
    if (f == nullptr) {
      if (m_bDocumentClosed) trailingText(begin);
      return end;
    }
    if (!f->bObject) {
      beginValue(begin, true);
      f->elementWords += word;
      return end;
    }
    switch (f->expect) {
      case Frame::kValue:
        beginValue(begin, true);
        return end;
      case Frame::kAfterValue:
        if (f->bLastValueBare) return end;  // the reader joins the words
        [[fallthrough]];
      case Frame::kKey:
        if (f->strayOffset == kNone) {
          f->strayOffset = begin;
          f->strayText = word;
        }
        return end;
      case Frame::kColon:
        note(ScanNoteKind::SkippedText, begin,
             "text " + Quoted(word) + " after key " + Quoted(f->lastKey) +
                 " stands before its ':' and is skipped");
        return end;
    }
    return end;
  }

  const std::string& m_text;
  DocumentScan& m_scan;
  std::vector<Frame> m_stack;
  bool m_bSingleQuoteNoted = false;
  size_t m_commaOffset = 0;
  size_t m_resumeAt = kNone;
  bool m_bDocumentClosed = false;
  bool m_bStopped = false;
};

}  // namespace

bool IsReaderTrimmedByte(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r' || c == '\0';
}

const char* ScanNoteKindName(ScanNoteKind kind) {
  switch (kind) {
    case ScanNoteKind::TrimmedValue:
      return "trimmed-value";
    case ScanNoteKind::RawKeyEscape:
      return "raw-key-escape";
    case ScanNoteKind::LossyUnicodeEscape:
      return "lossy-unicode-escape";
    case ScanNoteKind::DroppedEscape:
      return "dropped-escape";
    case ScanNoteKind::DroppedElement:
      return "dropped-element";
    case ScanNoteKind::DuplicateKey:
      return "duplicate-key";
    case ScanNoteKind::StringBreaksArray:
      return "string-breaks-array";
    case ScanNoteKind::ObjectReadsAsNull:
      return "object-reads-as-null";
    case ScanNoteKind::SkippedText:
      return "skipped-text";
    case ScanNoteKind::SwallowedMember:
      return "swallowed-member";
    case ScanNoteKind::Unterminated:
      return "unterminated";
    case ScanNoteKind::TooDeep:
      return "too-deep";
    case ScanNoteKind::EndsAtNul:
      return "ends-at-nul";
    case ScanNoteKind::TrailingComma:
      return "trailing-comma";
    case ScanNoteKind::ByteOrderMark:
      return "byte-order-mark";
    case ScanNoteKind::EmptyDocument:
      return "empty-document";
    case ScanNoteKind::SingleQuote:
      return "single-quote";
    case ScanNoteKind::Comment:
      return "comment";
  }
  return "unknown";
}

void DocumentScan::Position(size_t offset, unsigned& line,
                            unsigned& column) const {
  if (lineStarts.empty()) {
    line = column = 1;
    return;
  }
  const auto it =
      std::upper_bound(lineStarts.begin(), lineStarts.end(), offset);
  line = static_cast<unsigned>(it - lineStarts.begin());
  column = static_cast<unsigned>(offset - *(it - 1) + 1);
}

DocumentScan ScanDocument(const std::string& text) {
  const size_t appliedSize = std::strlen(text.c_str());
  DocumentScan scan;
  if (appliedSize == text.size()) {
    Scanner(text, scan).Run();
  } else {
    Scanner(text.substr(0, appliedSize), scan).Run();
    ScanNote nul = {ScanNoteKind::EndsAtNul, appliedSize, 0, 0,
                    "NUL byte: the apply reads the document as a C string and "
                    "ignores everything from here on"};
    scan.Position(appliedSize, nul.line, nul.column);
    scan.notes.push_back(nul);
  }
  return scan;
}

std::vector<ScanNote> ScanDocumentText(const std::string& text) {
  return ScanDocument(text).notes;
}

std::string AppliedText(const std::string& text) {
  return std::string(text.c_str());
}

size_t MaxNestingDepth(const std::string& text) {
  size_t depth = 0, deepest = 0;
  bool bInString = false, bEscape = false;
  for (char c : text) {
    if (bInString) {
      if (c == '\\') {
        bEscape = !bEscape;
      } else {
        if (c == '"' && !bEscape) bInString = false;
        bEscape = false;
      }
    } else if (c == '"') {
      bInString = true;
    } else if (c == '{' || c == '[') {
      deepest = std::max(deepest, ++depth);
    } else if ((c == '}' || c == ']') && depth > 0) {
      --depth;
    }
  }
  return deepest;
}

}  // namespace ostrel_cli

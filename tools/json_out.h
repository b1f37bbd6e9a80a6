// A small writer of strict JSON for the command's --json reports: strings are
// escaped (quote, backslash, control bytes as \u00XX), well-formed UTF-8
// passes through, and every byte that is not part of well-formed UTF-8 is
// written as \u00XX (the character numbered like the byte), so the output is
// valid UTF-8 JSON whatever bytes the document held. The store's own JSON
// writer does not escape and is not used here.
//
//   JsonOut out;
//   out.BeginObject();
//   out.Key("ok").Bool(true);
//   out.Key("names").BeginArray().String("a").EndArray();
//   out.EndObject();
//   std::string text = out.Text();
//
// One writer builds one document; not shared between threads.
#ifndef TOOLS_JSON_OUT_H_
#define TOOLS_JSON_OUT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ostrel_cli {

class JsonOut {
 public:
  JsonOut& BeginObject();
  JsonOut& EndObject();
  JsonOut& BeginArray();
  JsonOut& EndArray();
  // The name of the next member; only inside an object.
  JsonOut& Key(const std::string& key);
  JsonOut& String(const std::string& value);
  JsonOut& Int(int64_t value);
  // The shortest text that reads back as the same double; null when not
  // finite (JSON has no such numbers).
  JsonOut& Double(double value);
  JsonOut& Bool(bool bValue);
  JsonOut& Null();

  const std::string& Text() const { return m_text; }

 private:
  void separate();
  // Opens or closes an object or array.
  JsonOut& open(char bracket);
  JsonOut& close(char bracket);
  void appendString(const std::string& value);

  std::string m_text;
  // For each open container: whether it holds a member or element yet.
  std::vector<bool> m_hasItem;
  bool m_bAfterKey = false;
};

}  // namespace ostrel_cli

#endif  // TOOLS_JSON_OUT_H_

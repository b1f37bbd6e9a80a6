#include "json_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "json_plain_document.h"
#include "json_writer.h"
#include "reference_reader_for_test.h"

namespace json {
namespace {

using reference::Same;

// Documents on the odd corners of the rules, each with what it writes back
// as ("" for a null document); generated documents below cover the rest.
struct Reading {
  const char* text;
  const char* written;
  // Hex, inf or nan numbers, which the reference reads with the C runtime's
  // atof: the Windows one reads none of them, so there only `written` counts.
  bool bRuntimeNumberForms = false;
};

#if defined(_WIN32)
constexpr bool kRuntimeReadsAllNumberForms = false;
#else
constexpr bool kRuntimeReadsAllNumberForms = true;
#endif
const Reading kReadings[] = {
    {"[[ ],\n\t1\r\n,\v2\f]", "[[],1,2]"},
    {"{\"a\": 1, \"b\": 2.5, \"c\": \"x\", \"d\": true, \"e\": null}",
     "{\"a\":1,\"b\":2.500000,\"c\":\"x\",\"d\":true,\"e\":null}"},
    // Keys are taken as written; a later duplicate replaces the first.
    {"{\"x\":1,\"a\\\"b\":1,\"x\":2}", "{\"a\\\"b\":1,\"x\":2}"},
    // Null or empty elements are dropped; a failed nested part is a null
    // member of an object and a dropped element of an array.
    {"[,1, NULL ,,2,]", "[1,2]"},
    {"{\"a\":{\"b\":1,},\"c\":2,\"d\":   }", "{\"a\":null,\"c\":2,\"d\":null}"},
    // A word after a string value makes the object null unless a member
    // follows.
    {"{\"a\":\"x\" word}", ""},
    {"{\"a\":\"x\" word, \"b\":1}", "{\"a\":\"x\",\"b\":1}"},
    // Arrays are split at "," and "]" before their elements are read.
    {"[\"a[b\", \"c{d\", x[1]]", "[\"a[b\",\"c{d\",0]"},
    // The nesting stack is shared by the parts that failed; a quote hides
    // brackets from the scan for a closing one (json_brackets_test.cc).
    {"{\"a\":{\"x\"},\"c\":1}}", "{\"a\":null,\"c\":1}"},
    {"[{\"x\"}, 1}]", "[1]"},
    {"{\"a\":[1]],\"b\":2}", "{\"a\":[1],\"b\":2}"},
    {"[[\"]\"], 2]", "[2]"},
    // Bare words: whitespace removed, only a lower-case "e" or a "." asks
    // for a double, otherwise atoi within the 32-bit range.
    {"{\"a\":1 2,\"b\":1E3,\"c\":1e3,\"d\":12abc,\"e\":abc,\"f\":0x10,"
     "\"g\":yes,\"h\":1E-400,\"i\":tr ue,\"j\":n u l l,\"k\":1.e5}",
     "{\"a\":12,\"b\":1,\"c\":1000.000000,\"d\":12,\"e\":0,\"f\":0,"
     "\"g\":0.000000,\"h\":1,\"i\":true,\"j\":null,\"k\":100000.000000}"},
    {"{\"a\":0x1p40,\"b\":3000000000.,\"c\":1E400,\"d\":nan,\"e\":tRUe,"
     "\"f\":FALSE,\"g\":nUll}",
     "{\"a\":1099511627776.000000,\"b\":3000000000.000000,\"c\":inf,"
     "\"d\":nan,\"e\":true,\"f\":false,\"g\":null}",
     true},
    // Strings: escapes decoded (a \u escape by its last two digits), then
    // trimmed, also of whitespace that escapes made.
    {"{\"a\":\"  word  \",\"b\":\"\\q\",\"c\":\"x\\u0041\",\"d\":\"\\u20AC\","
     "\"e\":\"\\n x \\t\",\"f\":\"\\\"\\/\\\\\","
     "\"g\":\"a\\nb\\tc\\rd\\be\\ff\"}",
     "{\"a\":\"word\",\"b\":\"\",\"c\":\"xA\",\"d\":\"\xAC\",\"e\":\"x\","
     "\"f\":\"\"/\\\",\"g\":\"a\nb\tc\rd\be\ff\"}"},
};

TEST(JsonReaderTest, ReadsTheOddCornersByTheRules) {
  for (const Reading& reading : kReadings) {
    Value read = FromText(reading.text);
    EXPECT_EQ(ToText(read), reading.written) << reading.text;
    if (reading.bRuntimeNumberForms && !kRuntimeReadsAllNumberForms) continue;
    EXPECT_TRUE(Same(read, reference::FromText(reading.text))) << reading.text;
  }
  EXPECT_TRUE(FromText(static_cast<const char*>(nullptr)).IsNull());
  // A \u escape cut short by the end of the string does not abort.
  Value cut = FromText("{\"a\":\"\\u\",\"b\":\"x\\u00\"}");
  EXPECT_TRUE(cut["a"].GetKind() == KindString &&
              cut["b"].GetKind() == KindString);
}

std::string ConfigDocument(int groups, int entriesPerGroup) {
  std::string text = "{";
  for (int g = 0; g < groups; ++g) {
    text += std::string(g ? "," : "") + "\"Group" + std::to_string(g) + "\":[";
    for (int e = 0; e < entriesPerGroup; ++e) {
      text += std::string(e ? "," : "") + "{\"key\":\"Name" +
              std::to_string(e) + "\",\"value\":\"" + std::to_string(e * 7) +
              "\"}";
    }
    text += "]";
  }
  return text + "}";
}

TEST(JsonReaderTest, LongStringsAndNulBytesPassThrough) {
  std::string big(1 << 20, 'z');
  big[1000] = '\0';
  big[5000] = '\xFF';
  EXPECT_EQ(FromText("{\"a\":\"" + big + "\"}")["a"].GetString(), big);
}

// The container holding the first one too deep reads as null: dropped from
// an array, a null member of an object.
TEST(JsonReaderTest, NestingBeyondTheLimitNeverRecursesFurther) {
  auto nested = [](int depth, const std::string& open, const char* inner,
                   char close) {
    std::string text;
    for (int i = 0; i < depth; ++i) text += open;
    return ToText(FromText(text + inner + std::string(depth, close)));
  };
  const std::string deepest =
      std::string(kMaxNestedReads, '[') + std::string(kMaxNestedReads, ']');
  EXPECT_EQ(nested(kMaxNestedReads, "[", "", ']'), deepest);
  EXPECT_EQ(nested(kMaxNestedReads + 1, "[", "", ']'),
            deepest.substr(1, deepest.size() - 2));
  std::string members;
  for (int i = 1; i < kMaxNestedReads; ++i) members += "{\"a\":";
  EXPECT_EQ(nested(100000, "{\"a\":", "1", '}'),
            members + "null" + std::string(kMaxNestedReads - 1, '}'));
  // Brackets that never close fail at the first nested one.
  EXPECT_TRUE(FromText("[" + std::string(200000, '[') + "]").IsNull());
}

// Random documents over the bytes the rules care about: valid-looking
// configuration documents with a few bytes changed, and bracket-framed
// noise.
std::string RandomDocument(std::mt19937& rng) {
  static const char kAlphabet[] = "{}[]\",:\\ \t\n.eE-+0123456789xpabnrtufl\0";
  std::uniform_int_distribution<int> pick(0, sizeof(kAlphabet) - 2);
  std::uniform_int_distribution<int> coin(0, 9);
  std::string text;
  if (coin(rng) < 5) {
    text = ConfigDocument(1 + coin(rng) % 3, coin(rng) % 4);
    if (coin(rng) < 3) text.insert(text.size() / 2, "[1,{\"q\":[2]},3]");
    for (int i = 0, edits = 1 + coin(rng) % 4; i < edits && !text.empty();
         ++i) {
      std::size_t at = rng() % text.size();
      int edit = coin(rng) % 3;
      if (edit == 0) text[at] = kAlphabet[pick(rng)];
      if (edit == 1) text.erase(at, 1);
      if (edit == 2) text.insert(at, 1, kAlphabet[pick(rng)]);
    }
  } else {
    int length = std::uniform_int_distribution<int>(0, 60)(rng);
    for (int i = 0; i < length; ++i) text += kAlphabet[pick(rng)];
    text = (coin(rng) < 5 ? "{" : "[") + text + (coin(rng) < 5 ? "}" : "]");
  }
  return text;
}

// Rings of coordinate pairs printed with 12 to 17 decimals, as number-heavy
// documents hold them, with whitespace around the numbers and now and then
// a word, a bracket or a missing byte where a number or separator stands.
std::string CoordinateDocument(std::mt19937& rng) {
  static const char* const kOdd[] = {"1E5", "7x", "-", "1.5.3", "\"a\"", "[",
                                     "]",   "{}", " ", "2 3",   "-.5",   ""};
  static const char* const kSpace[] = {"", "", " ", "\n\t"};
  std::string text = "[";
  char pair[96];
  for (int ring = 0, rings = 1 + rng() % 3; ring < rings; ++ring) {
    text += ring ? ",[" : "[";
    for (int point = 0, points = rng() % 12; point < points; ++point) {
      std::snprintf(pair, sizeof pair, "%s[%s%.*f,%s%.*f%s]", point ? "," : "",
                    kSpace[rng() % 4], 12 + static_cast<int>(rng() % 6),
                    static_cast<double>(rng() % 360000000) / 1e6 - 180,
                    kSpace[rng() % 4], 12 + static_cast<int>(rng() % 6),
                    static_cast<double>(rng() % 180000000) / 1e6 - 90,
                    kSpace[rng() % 4]);
      std::string piece = pair;
      if (rng() % 8 == 0) piece.insert(rng() % piece.size(), kOdd[rng() % 12]);
      if (rng() % 16 == 0) piece.erase(rng() % piece.size(), 1);
      text += piece;
    }
    text += "]";
  }
  return text + "]";
}

// Long mantissas agree with atof (json_number_test.cc); these are the words
// that only start like numbers or sit at a boundary of the kinds.
const char kNumberWords[] =
    "-0.0 5. .5 -.5 1e5 1E5 1.5E3 1e-400 1e400 -1e400 4.9406564584124654e-324 "
    "1.7976931348623159e308 1234567890 -2147483649 4294967296 +1.5 +7 1.2.3 "
    "1.5abc 00012 - 1e 1e+";

TEST(JsonReaderTest, MatchesTheRoutineByRoutineRulesOnGeneratedDocuments) {
  std::mt19937 rng(20261205);
  int nonNull = 0;
  int plain = 0;
  std::vector<std::string> texts;
  std::istringstream words(kNumberWords);
  for (std::string word; words >> word;)
    texts.push_back("[" + word + "," + word + "]");
  for (int i = 0; i < 3000; ++i) texts.push_back(RandomDocument(rng));
  for (int i = 0; i < 300; ++i) texts.push_back(CoordinateDocument(rng));
  PlainDocument document;
  for (const std::string& text : texts) {
    Value fast = FromText(text);
    if (!fast.IsNull()) ++nonNull;
    ASSERT_TRUE(Same(fast, reference::FromText(text))) << "[" << text << "]";
    if (ReadPlainConfigDocument(text, document)) {
      ++plain;
      ASSERT_TRUE(reference::PlainMatchesTree(document, fast))
          << "[" << text << "]";
    }
  }
  EXPECT_GT(nonNull, 300);  // the generator reaches past the top level
  EXPECT_GT(plain, 100);
}

// A repeated group keeps its last array, a repeated member its last string;
// anything but groups of string-member entries is no plain document.
TEST(JsonReaderTest, PlainConfigDocumentsReadAsTheirTrees) {
  PlainDocument document;
  const char* const kPlain =
      " {\n \"B\" : [ ] , \"A\":[{\"value\":\" v \",\"key\":\"k\","
      "\"x\":\"[,]:{}\"} , {}],\"G\":[{\"key\":\"a\"}],\"G\":[{\"key\":\"b\","
      "\"key\":\"c\",\"value\":\"\"}]}\t";
  ASSERT_TRUE(ReadPlainConfigDocument(kPlain, document));
  EXPECT_TRUE(reference::PlainMatchesTree(document, FromText(kPlain)));
  for (const char* text :
       {"[]", "{\"G\":[1]}", "{\"G\":[{\"key\":5}]}", "{\"\":[]}", "{\"G\":{}}",
        "{\"G\":[{}],}", "{\"G\":[{\"a\\\"b\":\"x\"}]}",
        "{\"G\":[{\"key\":\"a\" \"value\":\"b\"}]}"}) {
    EXPECT_FALSE(ReadPlainConfigDocument(text, document)) << text;
  }
}

}  // namespace
}  // namespace json

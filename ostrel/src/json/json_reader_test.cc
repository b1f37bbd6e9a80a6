#include "json_reader.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "json_writer.h"
#include "reference_reader_for_test.h"

namespace json {
namespace {

// Exact structural equality: same kinds, same fields of those kinds, bit
// for bit (NaNs equal when their signs are), unlike the 1e-9 comparison.
::testing::AssertionResult Same(const Value& a, const Value& b) {
  if (a.GetKind() != b.GetKind()) {
    return ::testing::AssertionFailure()
           << "kind " << a.GetKind() << " vs " << b.GetKind() << ": "
           << ValueToText(a) << " vs " << ValueToText(b);
  }
  switch (a.GetKind()) {
    case KindString:
      if (a.GetString() != b.GetString()) {
        return ::testing::AssertionFailure()
               << "string [" << a.GetString() << "] vs [" << b.GetString()
               << "]";
      }
      break;
    case KindInt:
      if (a.GetInt() != b.GetInt()) {
        return ::testing::AssertionFailure()
               << a.GetInt() << " vs " << b.GetInt();
      }
      break;
    case KindUInt:
      if (a.GetUInt() != b.GetUInt()) {
        return ::testing::AssertionFailure()
               << a.GetUInt() << " vs " << b.GetUInt();
      }
      break;
    case KindBool:
      if (a.GetBool() != b.GetBool()) return ::testing::AssertionFailure();
      break;
    case KindDouble: {
      double x = a.GetDouble(), y = b.GetDouble();
      bool same = std::isnan(x)
                      ? std::isnan(y) && std::signbit(x) == std::signbit(y)
                      : std::memcmp(&x, &y, sizeof x) == 0;
      if (!same) return ::testing::AssertionFailure() << x << " vs " << y;
      break;
    }
    case KindObject: {
      if (a.GetObject().size() != b.GetObject().size()) {
        return ::testing::AssertionFailure() << "object sizes differ";
      }
      auto it = b.GetObject().begin();
      for (const auto& member : a.GetObject()) {
        if (member.first != it->first) {
          return ::testing::AssertionFailure()
                 << "key [" << member.first << "] vs [" << it->first << "]";
        }
        auto inner = Same(member.second, it->second);
        if (!inner) return inner;
        ++it;
      }
      break;
    }
    case KindArray: {
      if (a.GetArray().size() != b.GetArray().size()) {
        return ::testing::AssertionFailure() << "array sizes differ";
      }
      for (std::size_t i = 0; i < a.GetArray().size(); ++i) {
        auto inner = Same(a.GetArray()[i], b.GetArray()[i]);
        if (!inner) return inner;
      }
      break;
    }
    default:
      break;
  }
  return ::testing::AssertionSuccess();
}

// The value of member `key` of an object document read from `text`.
Value MemberOf(const std::string& text, const char* key = "a") {
  Value document = FromText(text);
  EXPECT_EQ(document.GetKind(), KindObject) << text;
  return document[key];
}

TEST(JsonReaderTest, OnlyObjectsAndArraysAreDocuments) {
  for (const char* text : {"", "   ", "5", "true", "\"x\"", "null", "{", "[",
                           "{]", "[}", "{\"a\":1", "x{}", "{} x"}) {
    EXPECT_TRUE(FromText(text).IsNull()) << text;
  }
  EXPECT_TRUE(FromText(static_cast<const char*>(nullptr)).IsNull());
  Value object = FromText(std::string(" \n{}\t\0", 6));
  EXPECT_EQ(object.GetKind(), KindObject);
  EXPECT_EQ(object.size(), 0u);
  Value array = FromText("[ ]");
  EXPECT_EQ(array.GetKind(), KindArray);
  EXPECT_EQ(array.size(), 0u);
}

TEST(JsonReaderTest, MembersKeepTheirKindsAndNullMembersStay) {
  Value doc = FromText(
      "{\"a\": 1, \"b\": 2.5, \"c\": \"x\", \"d\": true, "
      "\"e\": null}");
  ASSERT_EQ(doc.GetKind(), KindObject);
  EXPECT_EQ(doc.size(), 5u);
  EXPECT_EQ(doc["a"].GetKind(), KindInt);
  EXPECT_EQ(doc["a"].GetInt(), 1);
  EXPECT_EQ(doc["b"].GetKind(), KindDouble);
  EXPECT_EQ(doc["b"].GetDouble(), 2.5);
  EXPECT_EQ(doc["c"].GetString(), "x");
  EXPECT_TRUE(doc["d"].GetBool());
  EXPECT_TRUE(doc.HasKey("e"));
  EXPECT_TRUE(doc["e"].IsNull());
}

TEST(JsonReaderTest, NullAndEmptyElementsAreDropped) {
  for (const char* text :
       {"[1,null,2]", "[1,,2]", "[1, NULL ,2,]", "[1,{\"x\"},2]", "[,1,2]"}) {
    Value array = FromText(text);
    ASSERT_EQ(array.GetKind(), KindArray) << text;
    ASSERT_EQ(array.size(), 2u) << text;
    EXPECT_EQ(array[0].GetInt(), 1);
    EXPECT_EQ(array[1].GetInt(), 2);
  }
  // A nested object without a colon reads as null: a null member of an
  // object, a dropped element of an array.
  Value doc = FromText("{\"a\":{\"x\"},\"b\":1}");
  EXPECT_TRUE(doc.HasKey("a"));
  EXPECT_TRUE(doc["a"].IsNull());
  EXPECT_EQ(doc["b"].GetInt(), 1);
  Value array = FromText("[{\"x\"},{\"k\":\"v\"}]");
  ASSERT_EQ(array.size(), 1u);
  EXPECT_EQ(array[0]["k"].GetString(), "v");
}

TEST(JsonReaderTest, MalformedMembersMakeTheObjectNull) {
  const char* cases[] = {
      "{\"a\":1,}",          // a "," with no member after it
      "{\"a\":\"x\" word}",  // a word after a string value
      "{\"a\" 1}",           // no ":"
      "{\"a:1}",             // no closing quote of the key
      "{a:1}",               // no quotes at all
      "{\"\":1}",            // empty key
      "{\"a\":\"x}",         // string value without closing quote
      "{\"a\":[1,2}",        // "[" value without its "]"
      "{\"a\":{\"b\":1}",    // "{" value without its "}" (top fails too)
      "{\"a\":1]}",          // "]" that closes no open "["
      "{\"a\":{\"b\":1]}}",  // "]" where a "{" is the innermost open
  };
  for (const char* text : cases) {
    Value doc = FromText(text);
    EXPECT_TRUE(doc.IsNull()) << text << " -> " << ToText(doc);
  }
  // The failure stays inside the container that holds it.
  Value outer = FromText("{\"a\":{\"b\":1,},\"c\":2}");
  ASSERT_EQ(outer.GetKind(), KindObject);
  EXPECT_TRUE(outer["a"].IsNull());
  EXPECT_EQ(outer["c"].GetInt(), 2);
  // A word between a string value and the next member is passed over.
  Value lenient = FromText("{\"a\":\"x\" word, \"b\":1}");
  EXPECT_EQ(lenient["b"].GetInt(), 1);
}

TEST(JsonReaderTest, ArraysAreSplitBeforeTheirElementsAreRead) {
  EXPECT_TRUE(FromText("[\"a,b\"]").IsNull());
  EXPECT_TRUE(FromText("[\"a]b\"]").IsNull());
  Value bracket = FromText("[\"a[b\", \"c{d\"]");
  ASSERT_EQ(bracket.size(), 2u);
  EXPECT_EQ(bracket[0].GetString(), "a[b");
  EXPECT_EQ(bracket[1].GetString(), "c{d");
  // Bytes before a nested element are read with it.
  Value glued = FromText("[x[1]]");
  ASSERT_EQ(glued.size(), 1u);
  EXPECT_EQ(glued[0].GetKind(), KindInt);
  Value nested = FromText("[[1,[2]],{\"k\":[3]}, 4]");
  EXPECT_EQ(ToText(nested), "[[1,[2]],{\"k\":[3]},4]");
}

TEST(JsonReaderTest, BareWordsFollowTheClassicConversions) {
  struct Case {
    const char* text;
    ValueKind kind;
    double number;
  };
  const Case cases[] = {
      {"1 2", KindInt, 12},
      {"1E3", KindInt, 1},  // capital E marks no exponent
      {"1e3", KindDouble, 1000},
      {"12abc", KindInt, 12},
      {"abc", KindInt, 0},
      {"-7", KindInt, -7},
      {"+7", KindInt, 7},
      {"2147483647", KindInt, 2147483647.0},
      {"-2147483648", KindInt, -2147483648.0},
      {"2147483648", KindUInt, 2147483648.0},
      {"4294967295", KindUInt, 4294967295.0},
      {"4294967296", KindDouble, 4294967296.0},
      {"-2147483649", KindDouble, -2147483649.0},
      {"0x10", KindInt, 0},  // atof reads 16, atoi reads the 0
      {"0x1p40", KindDouble, 1099511627776.0},
      {"3000000000.", KindDouble, 3000000000.0},
      {"yes", KindDouble, 0},  // its "e" asks for a double
      {"1.5", KindDouble, 1.5},
      {"-.5e1", KindDouble, -5},
      {"1E-400", KindInt, 1},  // atof underflows to 0, atoi reads 1
      {"1E400", KindDouble, HUGE_VAL},
      {"-inf", KindDouble, -HUGE_VAL},
  };
  for (const Case& c : cases) {
    Value v = MemberOf(std::string("{\"a\":") + c.text + "}");
    EXPECT_EQ(v.GetKind(), c.kind) << c.text;
    if (c.kind == KindInt) {
      EXPECT_EQ(v.GetInt(), c.number) << c.text;
    } else if (c.kind == KindUInt) {
      EXPECT_EQ(v.GetUInt(), c.number) << c.text;
    } else {
      EXPECT_EQ(v.GetDouble(), c.number) << c.text;
    }
  }
  EXPECT_TRUE(MemberOf("{\"a\":tRUe}").GetBool());
  EXPECT_EQ(MemberOf("{\"a\":FALSE}").GetKind(), KindBool);
  EXPECT_TRUE(MemberOf("{\"a\":nUll}").IsNull());
  Value nan = MemberOf("{\"a\":nan}");
  EXPECT_EQ(nan.GetKind(), KindDouble);
  EXPECT_TRUE(std::isnan(nan.GetDouble()));
}

TEST(JsonReaderTest, StringsAreUnescapedAndTrimmed) {
  struct Case {
    const char* body;
    std::string expected;
  };
  const Case cases[] = {
      {"  word  ", "word"},     {"\\q", ""},
      {"x\\u0041", "xA"},       {"\\u20AC", "\xAC"},
      {"\\u00e9z", "\xE9z"},    {"a\\nb\\tc\\rd\\be\\ff", "a\nb\tc\rd\be\ff"},
      {"\\n x \\t", "x"},  // whitespace made by escapes is trimmed too
      {"\\\"\\/\\\\", "\"/\\"},
  };
  for (const Case& c : cases) {
    Value v = MemberOf(std::string("{\"a\":\"") + c.body + "\"}");
    ASSERT_EQ(v.GetKind(), KindString) << c.body;
    EXPECT_EQ(v.GetString(), c.expected) << c.body;
  }
  // Keys are taken as written.
  Value doc = FromText("{\"a\\\"b\":1}");
  ASSERT_EQ(doc.size(), 1u);
  EXPECT_EQ(doc.GetObject().begin()->first, "a\\\"b");
  // A \u escape cut short by the end of the string does not abort.
  for (const char* body : {"\\u", "\\u0", "\\u004", "x\\u00"}) {
    Value v = MemberOf(std::string("{\"a\":\"") + body + "\"}");
    EXPECT_EQ(v.GetKind(), KindString) << body;
  }
}

TEST(JsonReaderTest, DuplicateKeysKeepTheLastValue) {
  Value doc = FromText("{\"x\":1,\"x\":2}");
  ASSERT_EQ(doc.size(), 1u);
  EXPECT_EQ(doc["x"].GetInt(), 2);
}

TEST(JsonReaderTest, LongStringsAndNulBytesPassThrough) {
  std::string big(1 << 20, 'z');
  big[1000] = '\0';
  big[5000] = '\xFF';
  Value v = MemberOf("{\"a\":\"" + big + "\"}");
  EXPECT_EQ(v.GetString(), big);
  std::string key("k\0y", 3);
  Value doc = FromText("{\"" + key + std::string("\":\"v\0w\"}", 8));
  ASSERT_TRUE(doc.HasKey(key));
  EXPECT_EQ(doc.GetObject().find(key)->second.GetString(),
            std::string("v\0w", 3));
}

std::string ConfigDocument(int groups, int entriesPerGroup) {
  std::string text = "{";
  for (int g = 0; g < groups; ++g) {
    if (g) text += ",";
    text +=
        "\"Group" + std::string(g < 10 ? "0" : "") + std::to_string(g) + "\":[";
    for (int e = 0; e < entriesPerGroup; ++e) {
      if (e) text += ",";
      text += "{\"key\":\"Name" + std::to_string(e) + "\",\"value\":\"" +
              std::to_string(e * 7) + "\"}";
    }
    text += "]";
  }
  return text + "}";
}

TEST(JsonReaderTest, ReadsOneHundredThousandEntriesInOneGroup) {
  const std::string text = ConfigDocument(1, 100000);
  Value doc = FromText(text);
  ASSERT_EQ(doc.GetKind(), KindObject);
  const Array& entries = doc["Group00"].GetArray();
  ASSERT_EQ(entries.size(), 100000u);
  EXPECT_EQ(entries[99999]["key"].GetString(), "Name99999");
  EXPECT_EQ(entries[99999]["value"].GetString(), std::to_string(99999 * 7));
  EXPECT_EQ(ToText(doc), text);
}

int ArrayDepth(const Value& v) {
  int depth = 0;
  const Value* p = &v;
  while (p->GetKind() == KindArray) {
    ++depth;
    if (p->GetArray().empty()) break;
    p = &p->GetArray()[0];
  }
  return depth;
}

TEST(JsonReaderTest, NestingBeyondTheLimitNeverRecursesFurther) {
  auto nested = [](int depth) {
    return std::string(depth, '[') + std::string(depth, ']');
  };
  EXPECT_EQ(ArrayDepth(FromText(nested(kMaxNestedReads))), kMaxNestedReads);
  // The container holding the first one too deep reads as null and is
  // dropped from its parent.
  EXPECT_EQ(ArrayDepth(FromText(nested(kMaxNestedReads + 1))),
            kMaxNestedReads - 1);
  EXPECT_EQ(ArrayDepth(FromText(nested(100000))), kMaxNestedReads - 1);

  std::string objects;
  for (int i = 0; i < 100000; ++i) objects += "{\"a\":";
  objects += "1" + std::string(100000, '}');
  Value doc = FromText(objects);
  int depth = 0;
  for (const Value* p = &doc; p->GetKind() == KindObject; p = &(*p)["a"]) {
    ++depth;
    if (depth == kMaxNestedReads - 1) {
      EXPECT_TRUE((*p)["a"].IsNull());
    }
  }
  EXPECT_EQ(depth, kMaxNestedReads - 1);
  // Brackets that never close fail at the first nested one.
  EXPECT_TRUE(FromText("[" + std::string(200000, '[') + "]").IsNull());
}

TEST(JsonReaderTest, NumbersDoNotFollowTheProcessLocale) {
  const char* previous = std::setlocale(LC_ALL, nullptr);
  std::string saved = previous ? previous : "C";
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr &&
      std::setlocale(LC_ALL, "de_DE.utf8") == nullptr) {
    GTEST_SKIP() << "no German locale installed";
  }
  Value doc = FromText("{\"a\":1.5,\"b\":2.5e3,\"c\":0x1.8p1,\"d\":7}");
  std::string written = ToText(doc);
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_EQ(doc["a"].GetDouble(), 1.5);
  EXPECT_EQ(doc["b"].GetDouble(), 2500.0);
  EXPECT_EQ(doc["c"].GetDouble(), 3.0);
  EXPECT_EQ(written,
            "{\"a\":1.500000,\"b\":2500.000000,\"c\":3.000000,\"d\":7}");
}

TEST(JsonReaderTest, DumpedConfigurationsReadBack) {
  const std::string text = ConfigDocument(12, 20);
  Value doc = FromText(text);
  EXPECT_EQ(ToText(doc), text);
}

// Hand-written documents that exercise the odd corners of the rules,
// especially the nesting stack shared across failed parts.
const char* const kTrickyDocuments[] = {
    "{\"a\":{\"x\"},\"c\":1}}",
    "{\"a\":{\"x\"},\"c\":1}",
    "[{\"x\"}, 1}]",
    "[[\"]\"], 2]",
    "[\"[\", 1]",
    "{\"a\":[\"\\\"]\"],\"b\":2}",
    "{\"a\":\"\\\\\",\"b\":[1]}",
    "[1 2, 3 4, {\"k\" :  \" v \"} ]",
    "{ \"a\" : [ { \"key\" : \"x\" , \"value\" : \"1\" } ] , \"b\":[]}",
    "{\"a\":1}}",
    "[1]]",
    "{\"a\":[1]],\"b\":2}",
    "{\"a\":[{]},\"b\":2}",
    "[{\"a\":1}, {\"b\":[}], 3]",
    "{\"a\":\"x\"   }",
    "{\"a\":   }",
    "[\"a\" ,\"b\" ]",
    "{\"a\":tr ue,\"b\":n u l l,\"c\":1.e5}",
    "{\"a\":[1,[2,[3,[4]]]],\"b\":{\"c\":{\"d\":{}}}}",
    "[\"x\\\"[\", 5]",
    "{\"a\\\\\":1,\"b\":\"\\u004\"}",
    "{\"k\":[\"}\"]}",
    "[[[]],[[[]]],[{}]]",
    "{\"\\\"\":1}",
    "[\n\t1\r\n,\v2\f]",
};

TEST(JsonReaderTest, MatchesTheRoutineByRoutineRulesOnHandWrittenDocuments) {
  for (const char* text : kTrickyDocuments) {
    EXPECT_TRUE(Same(FromText(text), reference::FromText(text))) << text;
  }
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
    int edits = 1 + coin(rng) % 4;
    for (int i = 0; i < edits && !text.empty(); ++i) {
      std::size_t at =
          std::uniform_int_distribution<std::size_t>(0, text.size() - 1)(rng);
      switch (coin(rng) % 3) {
        case 0:
          text[at] = kAlphabet[pick(rng)];
          break;
        case 1:
          text.erase(at, 1);
          break;
        default:
          text.insert(at, 1, kAlphabet[pick(rng)]);
          break;
      }
    }
  } else {
    int length = std::uniform_int_distribution<int>(0, 60)(rng);
    for (int i = 0; i < length; ++i) text += kAlphabet[pick(rng)];
    text = (coin(rng) < 5 ? "{" : "[") + text + (coin(rng) < 5 ? "}" : "]");
  }
  return text;
}

TEST(JsonReaderTest, MatchesTheRoutineByRoutineRulesOnGeneratedDocuments) {
  std::mt19937 rng(20261205);
  int nonNull = 0;
  for (int i = 0; i < 3000; ++i) {
    std::string text = RandomDocument(rng);
    Value fast = FromText(text);
    if (!fast.IsNull()) ++nonNull;
    ASSERT_TRUE(Same(fast, reference::FromText(text))) << "[" << text << "]";
  }
  EXPECT_GT(nonNull, 300);  // the generator reaches past the top level
}

}  // namespace
}  // namespace json

#include "json_value.h"

#include <gtest/gtest.h>

#include <cmath>

#include "json_reader.h"
#include "json_writer.h"

namespace json {
namespace {

TEST(JsonValueTest, NumbersFillEveryNumericFieldAndSaturate) {
  Value max(4294967295u);
  EXPECT_EQ(max.GetInt(), -1);  // the same 32 bits
  // A copy recomputes the numbers from the field of its kind.
  EXPECT_EQ(Value(max).GetInt64(), 4294967295LL);
  EXPECT_EQ(Value(-3.75).GetInt(), -3);  // truncated toward zero
  EXPECT_EQ(Value(-3.75).GetUInt(), 0u);
  EXPECT_EQ(Value(1e300).GetInt(), 2147483647);
  EXPECT_EQ(Value(std::nan("")).GetInt64(), 0);
}

TEST(JsonValueTest, ObjectsKeepMembersInByteOrderAndIndexingAddsThem) {
  Value value = FromText(
      "{\"Transmission\":1,\"a\":1,\"AudioSlide\":1,\"\xC3\xA9\":1,"
      "\"TAOnly\":1,\"AudioSi\":1}");
  EXPECT_TRUE(static_cast<const Value&>(value)["y"].IsNull());
  // Capitals before lower case, a prefix first, bytes compared unsigned;
  // the const read added nothing.
  EXPECT_EQ(ToText(value),
            "{\"AudioSi\":1,\"AudioSlide\":1,\"TAOnly\":1,\"Transmission\":1,"
            "\"a\":1,\"\xC3\xA9\":1}");
  // A key read from a member's own text, which inserting it moves.
  value["y"] = "AudioSi+";
  value[value["y"].GetString().c_str()] = 2;
  EXPECT_EQ(ToText(value).substr(0, 25), "{\"AudioSi\":1,\"AudioSi+\":2");
  Value text("text");
  text["x"] = 1;  // touches only the unused object field
  EXPECT_FALSE(text.HasKey("x"));
  EXPECT_EQ(value.GetObject().erase("a"), 1u);
}

TEST(JsonValueTest, CopiesAreDeepAndSelfAssignmentIsSafe) {
  Value source = FromText("{\"list\":[1]}");
  Value copy = source;
  copy["list"].GetArray().push_back(Value(2));
  EXPECT_EQ(ToText(source), "{\"list\":[1]}");
  copy = copy["list"];  // its own descendant
  EXPECT_EQ(ToText(copy), "[1,2]");
  copy = std::move(copy[0]);
  EXPECT_EQ(copy.GetInt(), 1);
}

TEST(JsonValueTest, ComparisonFollowsKindsAndTolerance) {
  EXPECT_EQ(Value(0.1), Value(0.1 + 1e-12));
  EXPECT_NE(Value(0.1), Value(0.1 + 1e-8));
  EXPECT_NE(Value(-1), Value(4294967295u));
  EXPECT_NE(Value(std::nan("")), Value(std::nan("")));
  EXPECT_EQ(FromText("[1]"), FromText("[1.0]"));
  EXPECT_NE(FromText("{\"k\":1}"), FromText("{\"K\":1}"));
}

TEST(JsonValueTest, ArrayInsertPastTheEndAppends) {
  Array array;
  array.push_back(Value("a"));
  array.insert(0, Value(true));
  array.insert(99, Value(3.5));
  EXPECT_EQ(ArrayToText(array), "[true,\"a\",3.500000]");
  EXPECT_EQ(array.find(Value(3.5)) - array.begin(), 2);
  EXPECT_THROW(Value{array}[-1], std::out_of_range);
}

TEST(JsonValueTest, DeepMergeAssignsMergesAndReportsConflicts) {
  Value destination = FromText(
      "{\"n\":{\"keep\":1},\"s\":\"old\",\"conflict\":1,\"empty\":null}");
  EXPECT_TRUE(
      DeepMerge(destination, FromText("{\"n\":{\"add\":2},\"s\":\"new\","
                                      "\"empty\":5,\"fresh\":true}")));
  EXPECT_EQ(ToText(destination),
            "{\"conflict\":1,\"empty\":5,\"fresh\":true,"
            "\"n\":{\"add\":2,\"keep\":1},\"s\":\"new\"}");
  EXPECT_FALSE(DeepMerge(destination, FromText("{\"conflict\":\"text\"}")));
  EXPECT_EQ(destination["conflict"].GetInt(), 1);
}

// Only containers make documents; the number forms no document produces.
TEST(JsonWriterTest, OnlyContainersMakeDocumentsAndEachKindHasItsFormat) {
  EXPECT_EQ(ToText(Value("x")), "");
  EXPECT_EQ(ToText(Value(Object())), "{}");
  EXPECT_EQ(ValueToText(Value::FromInt64(-9000000000LL)), "-9000000000");
  EXPECT_EQ(ValueToText(Value::FromFloat(0.5f)), "0.500000");
}

}  // namespace
}  // namespace json

#include "json_value.h"

#include <gtest/gtest.h>

#include <cmath>

#include "json_reader.h"
#include "json_writer.h"

namespace json {
namespace {

TEST(JsonValueTest, NumbersFillEveryNumericField) {
  Value max(4294967295u);
  EXPECT_EQ(max.GetInt(), -1);  // the same 32 bits
  // A copy recomputes the numbers from the field of its kind.
  EXPECT_EQ(Value(max).GetInt64(), 4294967295LL);
  EXPECT_EQ(Value(-5).GetUInt(), 0u);
  EXPECT_EQ(Value(-3.75).GetInt(), -3);  // truncated toward zero
  EXPECT_EQ(Value(-3.75).GetUInt(), 0u);
  // Out of range conversions saturate instead of being undefined.
  EXPECT_EQ(Value(1e300).GetInt(), 2147483647);
  EXPECT_TRUE(std::isinf(Value(1e300).GetFloat()));
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
  EXPECT_TRUE(value["y"].IsNull());
  EXPECT_EQ(value.size(), 7u);
  // A key read from a member's own text, which inserting it moves.
  value["y"] = "AudioSi+";
  value[value["y"].GetString().c_str()] = 2;
  EXPECT_EQ(ToText(value).substr(0, 25), "{\"AudioSi\":1,\"AudioSi+\":2");
  Value text("text");
  text["x"] = 1;  // touches only the unused object field
  EXPECT_FALSE(text.HasKey("x"));
  Object& object = value.GetObject();
  const char* keys[] = {"a", nullptr};
  EXPECT_EQ(object.HasKeys(keys, 1), -1);
  EXPECT_EQ(object.HasKeys(keys, 2), 1);
  EXPECT_EQ(object.erase("a"), 1u);
  EXPECT_EQ(object.erase("a"), 0u);
}

TEST(JsonValueTest, CopiesAreDeep) {
  Value source = FromText("{\"list\":[1]}");
  Value copy = source;
  copy["list"].GetArray().push_back(Value(2));
  EXPECT_EQ(ToText(source), "{\"list\":[1]}");
  // Assigning a value its own descendant is safe.
  copy = copy["list"];
  EXPECT_EQ(ToText(copy), "[1,2]");
  copy = std::move(copy[0]);
  EXPECT_EQ(copy.GetInt(), 1);
}

TEST(JsonValueTest, ComparisonFollowsKindsAndTolerance) {
  EXPECT_EQ(Value(0.1), Value(0.1 + 1e-12));
  EXPECT_NE(Value(0.1), Value(0.1 + 1e-8));
  EXPECT_NE(Value("3"), Value(3));
  EXPECT_NE(Value(-1), Value(4294967295u));
  EXPECT_EQ(Value::FromInt64(7), Value(7u));
  EXPECT_NE(Value(std::nan("")), Value(std::nan("")));
  EXPECT_EQ(Value(), Value());
  EXPECT_NE(Value(true), Value(1));
  EXPECT_EQ(FromText("[1]"), FromText("[1.0]"));
  EXPECT_NE(FromText("[1]"), FromText("[1,1]"));
  EXPECT_NE(FromText("{\"k\":1}"), FromText("{\"K\":1}"));
}

TEST(JsonValueTest, ArrayOperations) {
  Array array;
  array.push_back(Value("a"));
  array.push_back(Value(2));
  array.insert(1, Value(true));
  array.insert(99, Value(3.5));  // past the end: appended
  EXPECT_EQ(ArrayToText(array), "[\"a\",true,2,3.500000]");
  EXPECT_TRUE(array.HasValue(Value(2.0)) && !array.HasValue(Value("b")));
  EXPECT_EQ(array.find(Value(2)) - array.begin(), 2);
  EXPECT_EQ(Value(array)[0].GetString(), "a");
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
  Value text("a");
  EXPECT_TRUE(DeepMerge(text, Value("b")) && text.GetString() == "b");
  // Other kinds at the top, or a null source, merge nothing.
  EXPECT_FALSE(DeepMerge(text, Value(1)) || DeepMerge(text, Value()));
}

// Null, booleans, plain integers and doubles are written back where
// documents are read; here the rest, which no document produces.
TEST(JsonWriterTest, OnlyContainersMakeDocumentsAndEachKindHasItsFormat) {
  EXPECT_EQ(ToText(Value()), "");
  EXPECT_EQ(ToText(Value("x")), "");
  EXPECT_EQ(ToText(Value(Object())), "{}");
  EXPECT_EQ(ToText(Value(Array())), "[]");
  EXPECT_EQ(ValueToText(Value::FromInt64(-9000000000LL)), "-9000000000");
  EXPECT_EQ(ValueToText(Value::FromFloat(0.5f)), "0.500000");
}

}  // namespace
}  // namespace json

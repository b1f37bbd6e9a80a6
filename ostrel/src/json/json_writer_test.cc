#include "json_writer.h"

#include <gtest/gtest.h>

#include <string>

namespace json {
namespace {

TEST(JsonWriterTest, OnlyContainersMakeDocumentsAndEachKindHasItsFormat) {
  EXPECT_EQ(ToText(Value()), "");
  EXPECT_EQ(ToText(Value("x")), "");
  EXPECT_EQ(ToText(Value(Object())), "{}");
  EXPECT_EQ(ToText(Value(Array())), "[]");
  EXPECT_EQ(ValueToText(Value()), "null");
  EXPECT_EQ(ValueToText(Value(2.5)), "2.500000");
  EXPECT_EQ(ValueToText(Value(1000.0)), "1000.000000");
  EXPECT_EQ(ValueToText(Value(1e-7)), "0.000000");
  EXPECT_EQ(ValueToText(Value(-7)), "-7");
  EXPECT_EQ(ValueToText(Value(4294967295u)), "4294967295");
  EXPECT_EQ(ValueToText(Value::FromInt64(-9000000000LL)), "-9000000000");
  EXPECT_EQ(ValueToText(Value::FromFloat(0.5f)), "0.500000");
  EXPECT_EQ(ValueToText(Value(true)), "true");
  EXPECT_EQ(ValueToText(Value(false)), "false");
}

TEST(JsonWriterTest, MembersAreWrittenInKeyOrderWithoutEscaping) {
  Object entry;
  entry["value"] = "1";
  entry["key"] = "x";
  Array entries;
  entries.push_back(Value(entry));
  EXPECT_EQ(ArrayToText(entries), "[{\"key\":\"x\",\"value\":\"1\"}]");
  Object document;
  document["b"] = Value(entries);
  document["a"] = "say \"hi\"\\n";
  document["x"] = Value(Array());
  document["n"] = Value();
  EXPECT_EQ(ToText(Value(document)),
            "{\"a\":\"say \"hi\"\\n\",\"b\":[{\"key\":\"x\",\"value\":\"1\"}],"
            "\"n\":null,\"x\":[]}");
}

}  // namespace
}  // namespace json

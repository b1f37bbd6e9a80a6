#include "json_writer.h"

#include <gtest/gtest.h>

#include <string>

#include "json_reader.h"

namespace json {
namespace {

TEST(JsonWriterTest, OnlyObjectsAndArraysMakeDocuments) {
  EXPECT_EQ(ToText(Value()), "");
  EXPECT_EQ(ToText(Value("x")), "");
  EXPECT_EQ(ToText(Value(5)), "");
  EXPECT_EQ(ToText(Value(Object())), "{}");
  EXPECT_EQ(ToText(Value(Array())), "[]");
  Object object;
  object["n"] = Value();
  EXPECT_EQ(ToText(Value(object)), "{\"n\":null}");
}

TEST(JsonWriterTest, EachKindHasItsFormat) {
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
  EXPECT_EQ(ValueToText(Value("a b")), "\"a b\"");
}

TEST(JsonWriterTest, MembersAreWrittenInKeyOrderWithoutEscaping) {
  Object object;
  object["b"] = 1;
  object["a"] = "say \"hi\"\\n";
  object["x"] = Value(Array());
  EXPECT_EQ(ToText(Value(object)),
            "{\"a\":\"say \"hi\"\\n\",\"b\":1,\"x\":[]}");
  // The reader decodes the backslash-n it meets in a well-formed string.
  EXPECT_EQ(FromText("{\"a\":\"x\\ny\"}")["a"].GetString(), "x\ny");
}

TEST(JsonWriterTest, ConfigurationShapeIsCompact) {
  Object entry;
  entry["value"] = "1";
  entry["key"] = "x";
  Array entries;
  entries.push_back(Value(entry));
  EXPECT_EQ(ArrayToText(entries), "[{\"key\":\"x\",\"value\":\"1\"}]");
  Object document;
  document["Video"] = Value(Array());
  document["Audio"] = Value(entries);
  EXPECT_EQ(ToText(Value(document)),
            "{\"Audio\":[{\"key\":\"x\",\"value\":\"1\"}],\"Video\":[]}");
}

}  // namespace
}  // namespace json

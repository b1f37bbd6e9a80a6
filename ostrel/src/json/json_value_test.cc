#include "json_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace json {
namespace {

TEST(JsonValueTest, NumbersFillEveryNumericField) {
  Value null;
  EXPECT_EQ(null.GetKind(), KindNull);
  EXPECT_EQ(null.GetInt(), 0);
  EXPECT_EQ(null.size(), 1u);

  Value max(4294967295u);
  EXPECT_EQ(max.GetKind(), KindUInt);
  EXPECT_EQ(max.GetUInt(), 4294967295u);
  EXPECT_EQ(max.GetInt(), -1);  // the same 32 bits
  EXPECT_EQ(max.GetDouble(), 4294967295.0);

  Value negative(-5);
  EXPECT_EQ(negative.GetKind(), KindInt);
  EXPECT_EQ(negative.GetUInt(), 0u);
  EXPECT_EQ(negative.GetInt64(), -5);
  EXPECT_EQ(negative.GetFloat(), -5.0f);

  Value real(-3.75);
  EXPECT_EQ(real.GetKind(), KindDouble);
  EXPECT_EQ(real.GetInt(), -3);  // truncated toward zero
  EXPECT_EQ(real.GetUInt(), 0u);
  Value huge(1e300);
  EXPECT_EQ(huge.GetInt(), 2147483647);  // saturates, no undefined cast
  EXPECT_TRUE(std::isinf(huge.GetFloat()));
  Value nan(std::nan(""));
  EXPECT_EQ(nan.GetInt64(), 0);

  // A copy recomputes the numbers from the field of its kind.
  Value copy(max);
  EXPECT_EQ(copy.GetKind(), KindUInt);
  EXPECT_EQ(copy.GetInt(), -1);
  EXPECT_EQ(copy.GetInt64(), 4294967295LL);
}

TEST(JsonValueTest, ObjectsIterateInByteOrder) {
  Object first, second;
  for (const char* key : {"Transmission", "TAOnly", "AudioSlide", "AudioSi", "",
                          "\xC3\xA9", "a"}) {
    first[key] = 1;
  }
  for (const char* key : {"a", "\xC3\xA9", "", "AudioSi", "AudioSlide",
                          "TAOnly", "Transmission"}) {
    second[key] = 1;
  }
  std::vector<std::string> keys;
  for (const auto& member : first) keys.push_back(member.first);
  EXPECT_EQ(keys,
            (std::vector<std::string>{"", "AudioSi", "AudioSlide", "TAOnly",
                                      "Transmission", "a", "\xC3\xA9"}));
  EXPECT_TRUE(first == second);
}

TEST(JsonValueTest, IndexingAKeyAddsANullMember) {
  Object object;
  object["x"] = 1;
  Value value(object);
  EXPECT_TRUE(value.HasKey("x"));
  EXPECT_FALSE(value.HasKey("y"));
  const Value& constValue = value;
  EXPECT_TRUE(constValue["y"].IsNull());
  EXPECT_EQ(value.size(), 1u);
  EXPECT_TRUE(value["y"].IsNull());
  EXPECT_EQ(value.size(), 2u);
  object["x"] = "again";
  EXPECT_EQ(object["x"].GetString(), "again");
  EXPECT_FALSE(Value("text").HasKey("x"));
  EXPECT_EQ(object.HasKeys({"x", "y"}), 1);
  const char* keys[] = {"x", nullptr};
  EXPECT_EQ(object.HasKeys(keys, 1), -1);
  EXPECT_EQ(object.HasKeys(keys, 2), 1);
  EXPECT_EQ(Value(5).HasKeys({"x"}), 0);
  EXPECT_EQ(object.erase("x"), 1u);
  EXPECT_EQ(object.erase("x"), 0u);
}

TEST(JsonValueTest, CopiesAreDeep) {
  Array inner;
  inner.push_back(Value(1));
  Object object;
  object["list"] = Value(inner);
  Value source(object);
  Value copy = source;
  copy["list"].GetArray().push_back(Value(2));
  copy["new"] = true;
  EXPECT_EQ(source["list"].size(), 1u);
  EXPECT_EQ(source.size(), 1u);
  EXPECT_EQ(copy["list"].size(), 2u);
  // Assigning a value its own descendant is safe.
  copy = copy["list"];
  EXPECT_EQ(copy.GetKind(), KindArray);
  EXPECT_EQ(copy.size(), 2u);
  copy = std::move(copy[0]);
  EXPECT_EQ(copy.GetInt(), 1);
}

TEST(JsonValueTest, ComparisonFollowsKindsAndTolerance) {
  EXPECT_EQ(Value(3), Value(3.0));
  EXPECT_EQ(Value(3u), Value(3));
  EXPECT_EQ(Value(0.1), Value(0.1 + 1e-12));
  EXPECT_NE(Value(0.1), Value(0.1 + 1e-8));
  EXPECT_NE(Value("3"), Value(3));
  EXPECT_NE(Value(-1), Value(4294967295u));
  EXPECT_EQ(Value::FromInt64(7), Value(7u));
  EXPECT_EQ(Value::FromFloat(0.5f), Value(0.5));
  EXPECT_NE(Value(std::nan("")), Value(std::nan("")));
  EXPECT_EQ(Value(), Value());
  EXPECT_NE(Value(), Value(0));
  EXPECT_NE(Value(true), Value(1));
  Array a, b;
  a.push_back(Value(1));
  b.push_back(Value(1.0));
  EXPECT_EQ(Value(a), Value(b));
  b.push_back(Value());
  EXPECT_NE(Value(a), Value(b));
  Object x, y;
  x["k"] = 1;
  y["K"] = 1;
  EXPECT_NE(Value(x), Value(y));
}

TEST(JsonValueTest, ArrayOperations) {
  Array array;
  array.push_back(Value("a"));
  array.push_back(Value(2));
  array.insert(1, Value(true));
  array.insert(99, Value(3.5));
  ASSERT_EQ(array.size(), 4u);
  EXPECT_TRUE(array[1].GetBool());
  EXPECT_EQ(array[3].GetDouble(), 3.5);
  EXPECT_TRUE(array.HasValue(Value(2.0)));
  EXPECT_FALSE(array.HasValue(Value("b")));
  EXPECT_EQ(array.find(Value(2)) - array.begin(), 2);
  EXPECT_THROW(array[4], std::out_of_range);
  Value value(array);
  EXPECT_EQ(value[0].GetString(), "a");
  EXPECT_THROW(value[-1], std::out_of_range);
  array.Clear();
  EXPECT_TRUE(array.empty());
}

TEST(JsonValueTest, DeepMergeAssignsMergesAndReportsConflicts) {
  Object nestedDst;
  nestedDst["keep"] = 1;
  Object dst;
  dst["n"] = Value(nestedDst);
  dst["s"] = "old";
  dst["conflict"] = 1;
  dst["empty"] = Value();
  Object nestedSrc;
  nestedSrc["add"] = 2;
  Object src;
  src["n"] = Value(nestedSrc);
  src["s"] = "new";
  src["empty"] = 5;
  src["fresh"] = true;
  Value destination(dst);
  Value source(src);
  EXPECT_TRUE(DeepMerge(destination, source));
  EXPECT_EQ(destination["n"]["keep"].GetInt(), 1);
  EXPECT_EQ(destination["n"]["add"].GetInt(), 2);
  EXPECT_EQ(destination["s"].GetString(), "new");
  EXPECT_EQ(destination["empty"].GetInt(), 5);
  EXPECT_TRUE(destination["fresh"].GetBool());

  src["conflict"] = "text";
  Value conflicting(src);
  EXPECT_FALSE(DeepMerge(destination, conflicting));
  EXPECT_EQ(destination["conflict"].GetInt(), 1);

  Value text("a");
  EXPECT_TRUE(DeepMerge(text, Value("b")));
  EXPECT_EQ(text.GetString(), "b");
  EXPECT_FALSE(DeepMerge(text, Value(1)));
  EXPECT_FALSE(DeepMerge(text, Value()));
  Value null;
  EXPECT_FALSE(DeepMerge(null, Value()));
}

}  // namespace
}  // namespace json

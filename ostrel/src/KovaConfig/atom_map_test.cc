#include "atom_map.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "ConfigData.h"

namespace kovaStore {
namespace {

typedef atomMap<std::string, ConfigData> ValueTable;

std::vector<std::string> keysOf(const ValueTable& table) {
  std::vector<std::string> keys;
  table.foreach (
      [&](const std::string& key, const ConfigData&) { keys.push_back(key); });
  return keys;
}

TEST(AtomMapTest, ExchangeYieldsPreviousValueOrInvalidDefault) {
  ValueTable table;
  ConfigData first = table.exchange("AecMode", ConfigData("1"));
  EXPECT_FALSE(first.IsValid());
  EXPECT_EQ(first, ConfigData());
  EXPECT_EQ(table.exchange(std::string_view("AecMode"), ConfigData("2")),
            ConfigData("1"));
  ConfigData out;
  ASSERT_TRUE(table.find("AecMode", out));
  EXPECT_EQ(out, ConfigData("2"));
  EXPECT_EQ(table.size(), 1u);
}

TEST(AtomMapTest, InsertKeepsPresentValue) {
  ValueTable table;
  EXPECT_TRUE(table.insert("k", ConfigData("old")));
  EXPECT_FALSE(table.insert(std::string("k"), ConfigData("new")));
  ConfigData out;
  ASSERT_TRUE(table.find("k", out));
  EXPECT_EQ(out, ConfigData("old"));
}

TEST(AtomMapTest, AbsentKeysLeaveOutputAndTableAlone) {
  ValueTable table;
  table.exchange("present", ConfigData("v"));
  ConfigData out("untouched");
  EXPECT_FALSE(table.find("absent", out));
  EXPECT_EQ(out, ConfigData("untouched"));
  EXPECT_FALSE(table.remove("absent").IsValid());
  EXPECT_FALSE(table.erase("absent"));
  EXPECT_EQ(table.size(), 1u);

  EXPECT_EQ(table.remove("present"), ConfigData("v"));
  EXPECT_EQ(table.size(), 0u);
  EXPECT_FALSE(table.find("present", out));
}

TEST(AtomMapTest, StringKeysOrderAsUnsignedBytes) {
  ValueTable table;
  for (const char* key : {"b", "\xC3\xA9", "a", "ab", "B", ""}) {
    table.exchange(key, ConfigData("x"));
  }
  EXPECT_EQ(keysOf(table),
            (std::vector<std::string>{"", "B", "a", "ab", "b", "\xC3\xA9"}));
}

TEST(AtomMapTest, EmptyVisitorThrowsOnlyWhenThereIsAnEntry) {
  ValueTable table;
  ValueTable::Visitor none;
  EXPECT_NO_THROW(table.foreach (none));
  table.exchange("k", ConfigData("v"));
  EXPECT_THROW(table.foreach (none), std::bad_function_call);
  // The lock was released by the throw.
  std::thread other([&] { EXPECT_EQ(table.size(), 1u); });
  other.join();
}

TEST(AtomMapTest, VisitorMayUseAndChangeTheSameTable) {
  ValueTable table;
  for (const char* key : {"a", "b", "c", "d"}) {
    table.exchange(key, ConfigData(key));
  }
  std::vector<std::string> visited;
  table.foreach ([&](const std::string& key, const ConfigData& value) {
    ConfigData again;
    EXPECT_TRUE(table.find(key, again));
    EXPECT_EQ(again, value);
    visited.push_back(key);
    // Erase the visited entry and the next one, add one ahead and one behind.
    if (key == "a") {
      table.erase(key);
      table.erase("b");
      table.exchange("c2", ConfigData("new"));
      table.exchange("0", ConfigData("behind"));
    }
  });
  EXPECT_EQ(visited, (std::vector<std::string>{"a", "c", "c2", "d"}));
  EXPECT_EQ(keysOf(table), (std::vector<std::string>{"0", "c", "c2", "d"}));
}

TEST(AtomMapTest, CopyAssignmentReplacesContentAndToleratesSelf) {
  atomMap<std::string, std::shared_ptr<int>> source;
  atomMap<std::string, std::shared_ptr<int>> target;
  source.insert("one", std::make_shared<int>(1));
  target.insert("stale", std::make_shared<int>(0));
  target = source;
  std::shared_ptr<int> out;
  EXPECT_TRUE(target.find("one", out));
  EXPECT_EQ(*out, 1);
  EXPECT_FALSE(target.find("stale", out));
  target = target;
  EXPECT_EQ(target.size(), 1u);
}

TEST(AtomMapTest, NumericKeysAndWholeTableOperations) {
  atomMap<uint64_t, std::shared_ptr<int>> table;
  table.exchange(uint64_t{10}, std::make_shared<int>(10));
  table.exchange(uint64_t{2}, std::make_shared<int>(2));
  uint64_t key = 0;
  std::shared_ptr<int> value;
  ASSERT_TRUE(table.first(key, value));
  EXPECT_EQ(key, 2u);
  EXPECT_EQ(*value, 2);

  auto content = table.takeAll();
  EXPECT_EQ(content.size(), 2u);
  EXPECT_EQ(table.size(), 0u);
  EXPECT_FALSE(table.first(key, value));

  table.exchange(uint64_t{1}, nullptr);
  table.clear();
  EXPECT_EQ(table.size(), 0u);
}

TEST(AtomMapTest, ConcurrentExchangesOnOneKeyLoseNoValue) {
  ValueTable table;
  constexpr int kThreads = 4;
  constexpr int kRounds = 2000;
  // Every value handed in comes back out exactly once, through a later
  // exchange or as the final value.
  std::vector<std::vector<std::string>> seen(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRounds; ++i) {
        ConfigData old = table.exchange(
            "shared", ConfigData(std::to_string(t * kRounds + i)));
        if (old.IsValid()) seen[t].push_back(old.ToCstr());
      }
    });
  }
  for (auto& thread : threads) thread.join();
  std::vector<bool> returned(kThreads * kRounds, false);
  size_t count = 0;
  for (const auto& values : seen) {
    for (const auto& v : values) {
      EXPECT_FALSE(returned[std::stoul(v)]);
      returned[std::stoul(v)] = true;
      ++count;
    }
  }
  ConfigData last;
  ASSERT_TRUE(table.find("shared", last));
  EXPECT_FALSE(returned[std::stoul(last.ToCstr())]);
  EXPECT_EQ(count + 1, static_cast<size_t>(kThreads * kRounds));
}

}  // namespace
}  // namespace kovaStore

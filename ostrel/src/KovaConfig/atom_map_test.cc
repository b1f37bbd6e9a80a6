#include "atom_map.h"

#include <ConfigData.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

namespace kovaStore {
namespace {

typedef atomMap<std::string, ConfigData> ValueTable;

// An empty visitor throws only when there is an entry to visit, and the
// throw leaves the table unlocked.
TEST(AtomMapTest, EmptyVisitorThrowsOnlyWhenThereIsAnEntryAndUnlocks) {
  ValueTable table;
  ValueTable::Visitor none;
  EXPECT_NO_THROW(table.foreach (none));
  table.exchange("k", ConfigData("v"));
  EXPECT_THROW(table.foreach (none), std::bad_function_call);
  std::thread([&] { EXPECT_EQ(table.size(), 1u); }).join();
}

TEST(AtomMapTest, VisitorMayUseAndChangeTheSameTable) {
  ValueTable table;
  for (const char* key : {"a", "b", "c", "d"})
    table.exchange(key, ConfigData(key));
  std::vector<std::string> visited;
  table.foreach ([&](const std::string& key, const ConfigData& value) {
    EXPECT_EQ(ConfigData(key == "c2" ? "new" : key.c_str()), value);
    visited.push_back(key);
    if (key == "a") {  // erase it and the next, add one ahead and one behind
      table.erase(key);
      table.erase("b");
      table.exchange("c2", ConfigData("new"));
      table.exchange("0", ConfigData("behind"));
    }
  });
  EXPECT_EQ(visited, (std::vector<std::string>{"a", "c", "c2", "d"}));
  visited.clear();
  table.foreach ([&](const std::string& key, const ConfigData&) {
    visited.push_back(key);
  });
  EXPECT_EQ(visited, (std::vector<std::string>{"0", "c", "c2", "d"}));
}

// Every value handed in comes back out exactly once, through a later exchange
// or as the final value.
TEST(AtomMapTest, ConcurrentExchangesOnOneKeyLoseNoValue) {
  ValueTable table;
  constexpr unsigned long kThreads = 3, kRounds = 1000;
  std::vector<std::vector<unsigned long>> seen(kThreads);
  std::vector<std::thread> threads;
  for (unsigned long t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (unsigned long i = 0; i < kRounds; ++i) {
        ConfigData old = table.exchange(
            "shared", ConfigData(std::to_string(t * kRounds + i)));
        if (old.IsValid()) seen[t].push_back(std::stoul(old.ToCstr()));
      }
    });
  }
  for (auto& thread : threads) thread.join();
  ConfigData last;
  ASSERT_TRUE(table.find("shared", last));
  std::vector<unsigned long> all(1, std::stoul(last.ToCstr()));
  for (const auto& values : seen)
    all.insert(all.end(), values.begin(), values.end());
  std::sort(all.begin(), all.end());
  ASSERT_EQ(all.size(), kThreads * kRounds);
  for (unsigned long v = 0; v < all.size(); ++v) ASSERT_EQ(all[v], v);
}

}  // namespace
}  // namespace kovaStore

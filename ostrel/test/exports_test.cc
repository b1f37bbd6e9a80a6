// The shared library's dynamic symbol table holds exactly the exported API:
// the plain functions under undecorated names, the two util value-type
// members compiled into the library, the client helper class and the copy
// operations of the two statistics interfaces. Nothing internal leaks.
#include <cxxabi.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>

namespace {

const std::set<std::string> kPlainNames = {
    "CreateKovaConfig",       "ReleaseKovaConfig",
    "CleanUpKovaConfig",      "DestroyKovaConfig",
    "GetKovaConfigSizeForUT", "GetKovaConfigValue",
    "GetKovaConfigValueEx",   "createOstrelEntity",
    "releaseOstrelEntity",    "ListKovaConfigCallIds",
    "GetKovaConfigCounters",  "GetKovaConfigTotalCounters",
    "SetKovaJournalSettings", "GetKovaJournalSettings",
    "SetKovaJournalEnabled",  "ReadKovaJournal",
    "findOstrelEntity",       "listOstrelEntities",
    "GetKovaConfigCell"};

const std::set<std::string> kCxxNames = {
    "ConfigData::ConfigData(char const*, unsigned int)",
    "ConfigData::CopyBufferTo(char*, unsigned int) const",
    "typeinfo for kovaStore::KovaConfigHelper",
    "typeinfo name for kovaStore::KovaConfigHelper",
    "vtable for kovaStore::KovaConfigHelper",
    "kovaStore::IKovaAudioInfo::IKovaAudioInfo(kovaStore::IKovaAudioInfo "
    "const&)",
    "kovaStore::IKovaAudioInfo::operator=(kovaStore::IKovaAudioInfo const&)",
    "kovaStore::IKovaVideoInfo::IKovaVideoInfo(kovaStore::IKovaVideoInfo "
    "const&)",
    "kovaStore::IKovaVideoInfo::operator=(kovaStore::IKovaVideoInfo const&)"};

const std::string kHelperMembers = "kovaStore::KovaConfigHelper::";

// Every defined dynamic symbol (read with nm) is allowed, no plain name is
// decorated, and every expected name is found.
TEST(ExportsTest, ExactlyTheApiIsExportedAndPlainNamesAreUndecorated) {
  FILE* pipe = popen((std::string("nm -D --defined-only '") +
                      OSTREL_LIBRARY_PATH + "' 2>/dev/null")
                         .c_str(),
                     "r");
  ASSERT_NE(pipe, nullptr);
  std::set<std::string> found;
  size_t helperMembers = 0;
  char line[4096];
  while (std::fgets(line, sizeof(line), pipe) != nullptr) {
    std::string raw(line);
    raw.erase(raw.find_last_not_of("\r\n") + 1);
    const size_t nameStart = raw.find(' ', raw.find(' ') + 1);
    if (nameStart == std::string::npos) continue;
    raw = raw.substr(nameStart + 1, raw.find('@') - nameStart - 1);
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> text(
        abi::__cxa_demangle(raw.c_str(), nullptr, nullptr, &status), std::free);
    const std::string name = (status == 0 && text) ? text.get() : raw;
    const bool bHelper =
        name.compare(0, kHelperMembers.size(), kHelperMembers) == 0;
    helperMembers += bHelper;
    if (kPlainNames.count(raw) != 0 || kCxxNames.count(name) != 0)
      found.insert(name);
    else
      EXPECT_TRUE(bHelper) << "unexpected export: " << name << " (" << raw
                           << ")";
    for (const std::string& plain : kPlainNames)
      EXPECT_EQ(raw != name ? name.find(plain + "(") : std::string::npos,
                std::string::npos)
          << "decorated export: " << name;
  }
  pclose(pipe);
  for (const auto* names : {&kPlainNames, &kCxxNames})
    for (const std::string& name : *names)
      EXPECT_EQ(found.count(name), 1u) << "missing export: " << name;
  EXPECT_GT(helperMembers, 0u) << "no member of kovaStore::KovaConfigHelper";
}

}  // namespace

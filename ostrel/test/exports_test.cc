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
#include <vector>

namespace {

struct DynamicSymbol {
  std::string raw;        // as the table holds it
  std::string demangled;  // the readable C++ name; `raw` for plain names
};

std::string demangle(const std::string& raw) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> text(
      abi::__cxa_demangle(raw.c_str(), nullptr, nullptr, &status), std::free);
  return (status == 0 && text) ? std::string(text.get()) : raw;
}

// The defined dynamic symbols of the library, read with nm.
std::vector<DynamicSymbol> definedDynamicSymbols(const char* path) {
  std::vector<DynamicSymbol> symbols;
  const std::string command =
      std::string("nm -D --defined-only '") + path + "' 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return symbols;
  char line[4096];
  while (std::fgets(line, sizeof(line), pipe) != nullptr) {
    // "<address> <type> <name>"
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
      text.pop_back();
    }
    const size_t nameStart = text.find(' ', text.find(' ') + 1);
    if (nameStart == std::string::npos) continue;
    std::string raw = text.substr(nameStart + 1);
    // A version suffix is not part of the name.
    const size_t at = raw.find('@');
    if (at != std::string::npos) raw.erase(at);
    symbols.push_back({raw, demangle(raw)});
  }
  pclose(pipe);
  return symbols;
}

const std::set<std::string> kPlainNames = {
    "CreateKovaConfig",     "ReleaseKovaConfig",      "CleanUpKovaConfig",
    "DestroyKovaConfig",    "GetKovaConfigSizeForUT", "GetKovaConfigValue",
    "GetKovaConfigValueEx", "createOstrelEntity",     "releaseOstrelEntity"};

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

const char kHelperMembers[] = "kovaStore::KovaConfigHelper::";

bool isHelperMember(const std::string& demangled) {
  return demangled.compare(0, sizeof(kHelperMembers) - 1, kHelperMembers) == 0;
}

class ExportsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_symbols = definedDynamicSymbols(OSTREL_LIBRARY_PATH);
    ASSERT_FALSE(m_symbols.empty()) << "nm found no symbols";
  }
  std::vector<DynamicSymbol> m_symbols;
};

TEST_F(ExportsTest, NothingOutsideTheApiIsExported) {
  for (const DynamicSymbol& symbol : m_symbols) {
    const bool allowed = kPlainNames.count(symbol.raw) != 0 ||
                         kCxxNames.count(symbol.demangled) != 0 ||
                         isHelperMember(symbol.demangled);
    EXPECT_TRUE(allowed) << "unexpected export: " << symbol.demangled << " ("
                         << symbol.raw << ")";
  }
}

TEST_F(ExportsTest, PlainFunctionsAreUndecorated) {
  std::set<std::string> found;
  for (const DynamicSymbol& symbol : m_symbols) {
    if (kPlainNames.count(symbol.raw) != 0) found.insert(symbol.raw);
    // A plain name must never appear decorated.
    if (symbol.raw != symbol.demangled) {
      for (const std::string& name : kPlainNames) {
        EXPECT_EQ(symbol.demangled.find(name + "("), std::string::npos)
            << "decorated export: " << symbol.demangled;
      }
    }
  }
  for (const std::string& name : kPlainNames) {
    EXPECT_EQ(found.count(name), 1u) << "missing export: " << name;
  }
}

TEST_F(ExportsTest, EveryExportedClassMemberIsPresent) {
  std::set<std::string> found;
  size_t helperMembers = 0;
  for (const DynamicSymbol& symbol : m_symbols) {
    if (kCxxNames.count(symbol.demangled) != 0) found.insert(symbol.demangled);
    if (isHelperMember(symbol.demangled)) ++helperMembers;
  }
  for (const std::string& name : kCxxNames) {
    EXPECT_EQ(found.count(name), 1u) << "missing export: " << name;
  }
  EXPECT_GT(helperMembers, 0u) << "no member of kovaStore::KovaConfigHelper";
}

}  // namespace

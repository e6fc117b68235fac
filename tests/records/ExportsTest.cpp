// The built program offers exactly the device records' operations to the
// modules loaded into its process.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "ElfDynamic.h"

namespace {

constexpr int kFunction = 2;
constexpr int kGlobal = 1;

// What a module's calls to the four operations bind to.
const std::set<std::string> kOperations = {
    "_ZN9CHardWareC1ERKS_",  // CHardWare::CHardWare(const CHardWare&)
    "_ZN9CHardWareD1Ev",     // CHardWare::~CHardWare()
    "_ZN9CHardWareaSERKS_",  // CHardWare::operator=(const CHardWare&)
    "_ZN9SerialCtlaSERKS_",  // SerialCtl::operator=(const SerialCtl&)
};
// The compiler's second entry points of the same constructor and destructor.
const std::set<std::string> kAliases = {"_ZN9CHardWareC2ERKS_", "_ZN9CHardWareD2Ev"};

std::vector<DynamicSymbol> ProgramSymbols() {
  std::vector<DynamicSymbol> symbols;
  std::string error;
  EXPECT_TRUE(ReadDefinedDynamicSymbols(BRENNA_CENTER_PATH, &symbols, &error)) << error;
  return symbols;
}

TEST(ExportsTest, ProgramExportsTheFourRecordOperations) {
  const std::vector<DynamicSymbol> symbols = ProgramSymbols();
  for (const std::string& name : kOperations) {
    auto it = std::find_if(symbols.begin(), symbols.end(),
                           [&](const DynamicSymbol& s) { return s.name == name; });
    ASSERT_NE(it, symbols.end()) << name << " is not exported";
    EXPECT_EQ(it->type, kFunction) << name;
    EXPECT_EQ(it->binding, kGlobal) << name;
  }
}

TEST(ExportsTest, ProgramExportsNoOtherFunctionOfItsOwn) {
  // Anything else a module could bind to would also interpose on the
  // libraries the program loads.
  // Inline and template functions (weak, shared by every module that
  // compiles them) are exported where a system library defines them too, as
  // the linker must; they are the libraries' code, not the program's.
  for (const DynamicSymbol& s : ProgramSymbols()) {
    if (s.type != kFunction || s.binding != kGlobal) continue;
    EXPECT_TRUE(kOperations.count(s.name) || kAliases.count(s.name))
        << s.name << " is exported although no module needs it";
  }
}

TEST(ExportsTest, ReaderRefusesWhatIsNotAnElfFile) {
  std::vector<DynamicSymbol> symbols;
  std::string error;
  EXPECT_FALSE(ReadDefinedDynamicSymbols(
      std::string(std::getenv("BRENNA_SOURCE_DIR")) + "/README.md", &symbols, &error));
  EXPECT_NE(error.find("not a 64-bit"), std::string::npos) << error;
}

}  // namespace

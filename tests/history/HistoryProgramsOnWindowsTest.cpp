// brenna-history.exe as a monitor PC gets it, 64-bit and 32-bit: each holds
// its SQLite and needs nothing beside it but Windows itself. (The programs
// run against archives of both systems in the Linux build's cross-platform
// tests, tests/history/HistoryAcrossSystemsTest.cpp.)
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "PeImports.h"
#include "TempDir.h"

TEST(HistoryProgramsOnWindows, BothArchitecturesHoldTheirSqliteAndImportOnlyWindowsOwnDlls) {
  struct Program {
    const char* path;
    std::uint16_t machine;
    bool pe32Plus;
  };
  const Program programs[] = {{BRENNA_HISTORY_X64, 0x8664, true},
                              {BRENNA_HISTORY_X86, 0x014C, false}};
  for (const Program& p : programs) {
    SCOPED_TRACE(p.path);
    PeFacts facts;
    std::string error;
    ASSERT_TRUE(ReadPeFacts(p.path, &facts, &error)) << error;
    EXPECT_EQ(p.machine, facts.machine);
    EXPECT_EQ(p.pe32Plus, facts.pe32Plus);
    EXPECT_FALSE(facts.importedDlls.empty());
    for (const std::string& dll : facts.importedDlls)
      EXPECT_TRUE(IsWindowsOwnDll(dll)) << dll << " would have to be shipped beside the program";
    // SQLite is linked in: the header text it writes into every database.
    EXPECT_NE(std::string::npos, ReadFileBytes(p.path).find("SQLite format 3"));
  }
}

// libpq and OpenSSL as the Windows build makes them from Debian's source
// packages, through LibpqProbe.exe, which links PostgreSQL::PostgreSQL.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "ChildProcess.h"
#include "FreePort.h"
#include "PeImports.h"
#include "TempDir.h"

namespace {

ProgramRun Probe(const std::string& conninfo) {
  std::vector<std::string> argv{BRENNA_LIBPQ_PROBE_X64};
  if (!conninfo.empty()) argv.push_back(conninfo);
  return RunProgram(argv, ChildProcess::Options(), std::chrono::seconds(60));
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

TEST(LibpqOnWindows, BothArchitecturesHoldLibpqAndOpensslAndImportOnlyWindowsOwnDlls) {
  const std::pair<const char*, std::uint16_t> programs[] = {{BRENNA_LIBPQ_PROBE_X64, 0x8664},
                                                            {BRENNA_LIBPQ_PROBE_X86, 0x014C}};
  for (const auto& [path, machine] : programs) {
    SCOPED_TRACE(path);
    EXPECT_EQ("", WhyNotStandalone(path, machine, machine == 0x8664));
    EXPECT_TRUE(Has(ReadFileBytes(path), "OpenSSL " BRENNA_OPENSSL_VERSION));
  }
}

TEST(LibpqOnWindows, ReportsTheSourcePackagesAndFailsOnAClosedPortWithLibpqsMessage) {
  const ProgramRun about = Probe("");
  ASSERT_EQ(0, about.status) << about.Report();
  for (const char* line : {"libpq " BRENNA_LIBPQ_VERSION, "TLS library: OpenSSL",
                           "OpenSSL " BRENNA_OPENSSL_VERSION " ", "TLS client context: made"})
    EXPECT_TRUE(Has(about.output, line)) << about.output;

  const int port = FreePort();
  const ProgramRun refused = Probe("host=127.0.0.1 port=" + std::to_string(port) +
                                   " dbname=company user=line1 sslmode=verify-full");
  EXPECT_EQ(1, refused.status) << refused.Report();
  EXPECT_TRUE(Has(refused.output, "connection to server at \"127.0.0.1\", port " +
                                      std::to_string(port) + " failed"))
      << refused.output;
}

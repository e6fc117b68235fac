// brenna-ship.exe of the windows build under wine64, installed as the
// setup installs it (beside libPallix.dll, a Pallix.ini naming the site
// its journal goes to), its string in a file of its user's alone: it ships
// once what the Linux program ships, and sends nothing to a server that
// cannot prove itself nor from a file others may read.
#include <filesystem>
#include <tuple>

#include "ShipHarness.h"

namespace fs = std::filesystem;

class ShipOnWindows : public ShipHarness {
 protected:
  void SetUp() override {
    ShipHarness::SetUp();
    fs::create_directories(program);
    fs::create_directories(site);
    fs::copy_file(BRENNA_SHIP_WINDOWS, program / "brenna-ship.exe");
    fs::copy_file(BRENNA_WINDOWS_PALLIX, program / "libPallix.dll");
    WriteFileBytes((program / "Pallix.ini").string(), "[Site]\r\nBaseDir=Z:" + site + "\r\n");
    MakeArchive(archive, "2026-12-01", 120);
  }
  // brenna-ship.exe --once, the line's string with the root `root` in a file
  // of mode `mode` (wine shows others' bits as an entry for Everyone).
  ProgramRun Once(const std::string& lane, const std::string& root,
                  fs::perms mode = fs::perms::owner_all) {
    const std::string file = site + "/brenna-ship.conninfo";
    WriteFileBytes(file,
                   lane.substr(0, lane.find("sslrootcert=")) + "sslrootcert=" + root + "\r\n");
    fs::permissions(file, mode);
    return RunProgram({BRENNA_RUN_WINDOWS, program / "brenna-ship.exe", "--db-file", file,
                       "--archive", archive, "--once"},
                      {}, std::chrono::seconds(180));
  }
  const fs::path program = state.path() / "program";
  const std::string site = state.file("site");
  const std::string archive = state.file("line.sqlite");
};

TEST_F(ShipOnWindows, ShipsOnceWhatLinuxShipsAndSendsNothingUnproven) {
  const std::string lane1 = Enrol("north/lane1");
  for (int run = 0; run < 2; ++run) {
    const ProgramRun once = Once(lane1, "Z:" + server.CaFile());
    ASSERT_EQ(0, once.status) << once.Report();
  }
  // The same archive by the Linux program as another line: the same rows.
  fs::copy_file(archive, state.file("copy.sqlite"));
  ASSERT_EQ(0,
            Ship({"--db", Enrol("north/lane2"), "--archive", state.file("copy.sqlite"), "--once"})
                .status);
  const auto rows = [&](const std::string& line) {
    return Admin(
        "SELECT count(DISTINCT r.result_id) || ' ' || count(*) || ' ' || md5(string_agg("
        "concat_ws('|', v.result_id, v.item_code, v.value_shown, v.judge, v.display_name,"
        " r.transfer, r.\"group\", r.operator, r.verdict, r.shown_at), ';' ORDER BY "
        "v.result_id, v.position)) FROM brenna.result_values v JOIN brenna.results r "
        "USING (site, line, archive, result_id) WHERE line = '" +
        line + "'");
  };
  EXPECT_EQ(0u, rows("lane1").rfind("120 ", 0)) << rows("lane1");
  EXPECT_EQ(rows("lane2"), rows("lane1"));

  // Another CA, Windows' own roots (wine's, from the Linux system's; no
  // test CA among them), a file others may read: nothing of lane3 arrives.
  const std::string lane3 = Enrol("north/lane3");
  const std::tuple<std::string, fs::perms, std::string> refused[] = {
      {"Z:" + server.OtherCaFile(), fs::perms::owner_all, "does not prove itself"},
      {"system", fs::perms::owner_all, "of Windows' ROOT store, written to "},
      {"Z:" + server.CaFile(), fs::perms::owner_all | fs::perms::others_read,
       "may be read by others"}};
  for (const auto& [root, mode, says] : refused) {
    const ProgramRun run = Once(lane3, root, mode);
    EXPECT_EQ(1, run.status) << run.Report();
    EXPECT_NE(std::string::npos, run.output.find(says)) << run.output;
  }
  EXPECT_NE(std::string::npos,
            ReadFileBytes(site + "/brenna-ship-roots.pem").find("-----BEGIN CERTIFICATE-----"));
  EXPECT_EQ("0", Count("north", "lane3"));
  EXPECT_EQ(std::string::npos, server.Log().find("user=brenna/north/lane3")) << server.Log();
}

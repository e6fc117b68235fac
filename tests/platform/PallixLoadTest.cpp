// Loading and unloading: failure codes, the order of resolution, the
// variant files, the fatal path and the library's reference count.
#include <dlfcn.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <ostream>

#include "PallixTestSupport.h"
#include "platform/Gbk.h"

namespace fs = std::filesystem;

namespace {

// Checks that exactly the forwarders up to `lastBound` call through.
void ExpectBoundUpTo(int lastBound) {
  for (const Forwarder& f : Forwarders()) {
    EXPECT_EQ(f.callReportsNotLoaded(), f.position > lastBound) << f.name;
  }
}

}  // namespace

TEST_F(PallixTest, CompleteLibraryLoadsAndOnlyTheSizeCheckIsCalled) {
  ASSERT_EQ(Load("pallixstub_complete"), 1);
  EXPECT_EQ(Stub().Calls(), "GetPallixStrSize();");
  ExpectBoundUpTo(PALLIX_FUNCTION_COUNT);
}

struct MissingName {
  const char* stub;
  int expected;
  int lastBound;
};

void PrintTo(const MissingName& m, std::ostream* os) { *os << m.stub << " -> " << m.expected; }

class PallixMissingNameTest : public PallixTest,
                              public ::testing::WithParamInterface<MissingName> {};

TEST_P(PallixMissingNameTest, StopsAtTheMissingNameKeepingEarlierEntries) {
  EXPECT_EQ(Load(GetParam().stub), GetParam().expected);
  ExpectBoundUpTo(GetParam().lastBound);
}

INSTANTIATE_TEST_SUITE_P(Positions, PallixMissingNameTest,
                         ::testing::Values(MissingName{"pallixstub_no_GetPallix", -2, 0},
                                           MissingName{"pallixstub_no_GetPallixStrSize", -18, 16},
                                           MissingName{"pallixstub_no_ReadNetData", -40, 38},
                                           MissingName{"pallixstub_no_GetMainID", -88, 86},
                                           MissingName{"pallixstub_no_IsIPV4", -204, 202},
                                           // Only a dependency of the library exports it.
                                           MissingName{"pallixstub_dep_ReadNetData", -40, 38}),
                         [](const ::testing::TestParamInfo<MissingName>& info) {
                           return std::string(info.param.stub + std::strlen("pallixstub_"));
                         });

TEST_F(PallixTest, LackingReadNetDataLeavesOpenNetWorking) {
  ASSERT_EQ(Load("pallixstub_no_ReadNetData"), -40);
  EXPECT_EQ(Stub().Calls(), "GetPallixStrSize();");
  EXPECT_EQ(OpenNet(11, 0, 10004, 9898), 37);
  char frame[2072] = {};
  EXPECT_EQ(ReadNetData(11, frame, sizeof frame), PALLIX_NOT_LOADED);
  EXPECT_EQ(GetRand(1, 2), PALLIX_NOT_LOADED_REAL);
  const char* text = "x";
  EXPECT_EQ(GetLangueString(text), text);  // position 26: still bound
  EXPECT_EQ(Stub().Calls(),
            "GetPallixStrSize();OpenNet(11,0,10004,9898);GetLangueString(" + Ptr(text) + ");");
}

TEST_F(PallixTest, WrongRecordSizeGivesMinus9999AndStopsAfterTheCheck) {
  ASSERT_EQ(Load("pallixstub_size188912"), -9999);
  EXPECT_EQ(Stub().Calls(), "GetPallixStrSize();");
  SiteConfig config;
  EXPECT_EQ(GetPallix(&config), 1);
  EXPECT_EQ(OpenNet(11, 0, 10004, 9898), PALLIX_NOT_LOADED);
  ExpectBoundUpTo(16);
}

TEST(PallixVariant, FileNames) {
  for (int variant : {1, 0, 3, -5, 32, 6, 17, INT_MIN, INT_MAX}) {
    EXPECT_EQ(PallixVariantFileName(variant), "libPallix.so") << variant;
  }
  EXPECT_EQ(PallixVariantFileName(2), "libPallix2b.so");
  EXPECT_EQ(PallixVariantFileName(4), "libPallix4b.so");
  EXPECT_EQ(PallixVariantFileName(8), "libPallix8b.so");
  EXPECT_EQ(PallixVariantFileName(16), "libPallix16b.so");
}

TEST_F(PallixTest, EachVariantLoadsItsOwnFile) {
  const char* files[] = {"libPallix.so", "libPallix2b.so", "libPallix4b.so", "libPallix8b.so",
                         "libPallix16b.so"};
  for (const char* file : files) m_dir.Install("pallixstub_complete", file);
  const struct {
    int variant;
    const char* file;
  } cases[] = {{1, "libPallix.so"},   {0, "libPallix.so"},   {3, "libPallix.so"},
               {-5, "libPallix.so"},  {32, "libPallix.so"},  {2, "libPallix2b.so"},
               {4, "libPallix4b.so"}, {8, "libPallix8b.so"}, {16, "libPallix16b.so"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.variant);
    ASSERT_EQ(LoadPallix(c.variant), 1);
    for (const char* file : files) {
      EXPECT_EQ(IsLoaded(m_dir.path() + "/" + file), std::strcmp(file, c.file) == 0) << file;
    }
    UnloadPallix();
  }
}

TEST_F(PallixTest, MissingFileIsReportedAndEndsTheProcessWithMinusOne) {
  EXPECT_EXIT(LoadPallix(1), ::testing::ExitedWithCode(255), "系统库不存在或者版本错误!");
}

namespace {
void ReportToStderr(const std::string& gbkText) {
  std::fprintf(stderr, "reporter got %s\n",
               gbkText == Gbk("系统库不存在或者版本错误!") ? "the GBK text" : "another text");
}
}  // namespace

TEST_F(PallixTest, FileThatIsNotALibraryGoesToTheInstalledReporter) {
  std::FILE* f = std::fopen((m_dir.path() + "/libPallix16b.so").c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs("not an ELF file", f);
  std::fclose(f);
  m_dir.Install("pallixstub_complete", "libPallix.so");  // the wrong variant for 16
  SetPallixFatalReporter(&ReportToStderr);
  EXPECT_EXIT(LoadPallix(16), ::testing::ExitedWithCode(255), "reporter got the GBK text");
}

namespace {

// A directory whose path is exactly `length` characters, under `base`.
std::string DirectoryOfLength(const std::string& base, size_t length) {
  std::string dir = base;
  while (dir.size() < length) {
    const size_t room = length - dir.size() - 1;  // after the '/'
    // Leave no single-character remainder a component cannot hold.
    size_t part = room > 200 ? 100 : room;
    dir += "/" + std::string(part, 'd');
  }
  fs::create_directories(dir);
  return dir;
}

}  // namespace

TEST_F(PallixTest, PathOf259CharactersLoadsAnd260IsNoSystemDirectory) {
  const size_t nameLength = std::strlen("/libPallix.so");
  const std::string fits = DirectoryOfLength(m_dir.path(), 259 - nameLength);
  const std::string tooLong = DirectoryOfLength(m_dir.path(), 260 - nameLength);
  ASSERT_EQ(fits.size() + nameLength, 259u);
  ASSERT_EQ(tooLong.size() + nameLength, 260u);
  fs::copy_file(StubBuildPath("pallixstub_complete"), fits + "/libPallix.so");
  fs::copy_file(StubBuildPath("pallixstub_complete"), tooLong + "/libPallix.so");

  SetPallixSystemDirectory(fits);
  ASSERT_EQ(LoadPallix(1), 1);
  // Refused before anything changes: the loaded library keeps working.
  SetPallixSystemDirectory(tooLong);
  EXPECT_EQ(LoadPallix(1), PALLIX_NOT_LOADED);
  EXPECT_EQ(OpenNet(11, 0, 1, 2), 37);
  EXPECT_FALSE(IsLoaded(tooLong + "/libPallix.so"));
}

TEST(PallixSystemDirectory, DefaultsBesideTheExecutableAndOverrideCanBeUndone) {
  const fs::path exeDir = fs::canonical("/proc/self/exe").parent_path();
  const std::string expected = (exeDir.parent_path() / "lib" / "brennacenter").string();
  EXPECT_EQ(PallixSystemDirectory(), expected);
  SetPallixSystemDirectory("/somewhere/else");
  EXPECT_EQ(PallixSystemDirectory(), "/somewhere/else");
  SetPallixSystemDirectory("");
  EXPECT_EQ(PallixSystemDirectory(), expected);
}

TEST_F(PallixTest, UnloadReleasesTheLibraryOnceAndASecondCallDoesNothing) {
  const std::string path = m_dir.Install("pallixstub_complete", "libPallix.so");
  ASSERT_EQ(LoadPallix(1), 1);
  void* ours = dlopen(path.c_str(), RTLD_NOW);  // a reference of our own
  ASSERT_NE(ours, nullptr);
  UnloadPallix();
  EXPECT_EQ(OpenNet(11, 0, 1, 2), PALLIX_NOT_LOADED);
  UnloadPallix();  // must not drop our reference
  EXPECT_TRUE(IsLoaded(path));
  dlclose(ours);
  EXPECT_FALSE(IsLoaded(path));
}

TEST_F(PallixTest, FailedLoadKeepsTheLibraryUntilUnload) {
  const std::string path = m_dir.Install("pallixstub_no_ReadNetData", "libPallix.so");
  ASSERT_EQ(LoadPallix(1), -40);
  EXPECT_TRUE(IsLoaded(path));
  UnloadPallix();
  EXPECT_FALSE(IsLoaded(path));
}

TEST_F(PallixTest, ReloadClearsTheTableAndDropsTheEarlierLibrary) {
  const std::string complete = m_dir.Install("pallixstub_complete", "libPallix.so");
  const std::string partial = m_dir.Install("pallixstub_no_ReadNetData", "libPallix16b.so");
  ASSERT_EQ(LoadPallix(1), 1);
  ASSERT_EQ(LoadPallix(16), -40);
  char frame[16] = {};
  EXPECT_EQ(ReadNetData(11, frame, sizeof frame), PALLIX_NOT_LOADED);  // not left over
  EXPECT_FALSE(IsLoaded(complete));
  ASSERT_EQ(LoadPallix(1), 1);
  EXPECT_FALSE(IsLoaded(partial));
  UnloadPallix();
  EXPECT_FALSE(IsLoaded(complete));
}

TEST(PallixNotLoaded, EveryForwarderBeforeAnyLoad) {
  // A fresh process: nothing in this one may have loaded anything yet.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        bool ok = true;
        for (const Forwarder& f : Forwarders()) {
          if (!f.callReportsNotLoaded()) {
            std::fprintf(stderr, "%s forwarded\n", f.name);
            ok = false;
          }
        }
        ok = ok && GetRand(1, 2) == -1000.0 && GetRandEx(1, 2, 3) == -1000.0 &&
             GetRandEx2() == -1000.0 && Filter_1(nullptr, 0, 0) == -1000.0 &&
             OpenNet(11, 0, 10004, 9898) == -1000 &&
             std::strcmp(GetLangueString("x"), "No This Funciont") == 0;
        char text[] = "  a  ";
        ok = ok && TrimBoth(text, ' ') == 1;
        std::exit(ok ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(PallixTest, EveryForwarderAfterUnload) {
  ASSERT_EQ(Load("pallixstub_complete"), 1);
  UnloadPallix();
  for (const Forwarder& f : Forwarders()) EXPECT_TRUE(f.callReportsNotLoaded()) << f.name;
  EXPECT_EQ(Stub().Calls(), "GetPallixStrSize();");  // nothing reached the library
}

namespace {
void IgnoreReport(const PallixLogRecord*, void*) {}
}  // namespace

// The library's reports reach the program only between loading and release:
// a sink left in a released library would be called into a program that is
// tearing down what it writes to.
TEST_F(PallixTest, TheReportSinkGoesInRightAfterLoadingAndOutBeforeRelease) {
  int context = 0;
  SetPallixLogSink(&IgnoreReport, &context, PALLIX_LOG_INFO);
  // A library without PallixSetLogSink loads as before.
  ASSERT_EQ(Load("pallixstub_complete"), 1);
  EXPECT_FALSE(PallixLogSinkInstalled());
  UnloadPallix();

  // Another file name: the first stub stays mapped while the test holds it.
  ASSERT_EQ(Load("pallixstub_reports", 16), 1);
  const std::string install =
      "PallixSetLogSink(" + Ptr(reinterpret_cast<void*>(&IgnoreReport)) + "," + Ptr(&context);
  const std::string removal = "PallixSetLogSink(" + Ptr(nullptr) + "," + Ptr(nullptr) + ",2);";
  EXPECT_EQ(Stub().Calls(), install + ",1);GetPallixStrSize();");
  EXPECT_TRUE(PallixLogSinkInstalled());
  // Changed while loaded: taken back, then given again with the new level.
  SetPallixLogSink(nullptr, nullptr, PALLIX_LOG_INFO);
  SetPallixLogSink(&IgnoreReport, &context, PALLIX_LOG_DEBUG);
  EXPECT_EQ(Stub().Calls(), install + ",1);GetPallixStrSize();" + removal + install + ",0);");
  Stub().Reset();
  UnloadPallix();
  EXPECT_EQ(Stub().Calls(), removal);
  EXPECT_FALSE(PallixLogSinkInstalled());
  SetPallixLogSink(nullptr, nullptr, PALLIX_LOG_INFO);
}

// The shared library as the monitor and the stations see it: exactly the
// 203 names, each wired to the right function, the not-provided ones
// answering their fixed result, and settings read from beside the file.
#include <elf.h>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <set>
#include <thread>
#include <type_traits>
#include <vector>

#include "ElfDynamic.h"
#include "LoadedLibrary.h"
#include "PallixTestSupport.h"

using namespace pallix_test;

namespace {

#define PALLIX_NAME(pos, ret, name, params, args) #name,
const char* const kNames[] = {PALLIX_FUNCTIONS(PALLIX_NAME, PALLIX_NAME)};
#undef PALLIX_NAME

// The exports this build provides; every other one is "not provided".
const std::set<std::string> kProvided = {"GetPallix",
                                         "GetDefaultPallix",
                                         "GetPallixStrSize",
                                         "GetLangueString",
                                         "GetParamIDByName",
                                         "OpenNet",
                                         "CloseNet",
                                         "ReadNetData",
                                         "SendNetData",
                                         "TrimLeft",
                                         "TrimRight",
                                         "IsSubID_int",
                                         "IsSubID_char",
                                         "WriteStdHead_Result",
                                         "ParseStdHead",
                                         "WriteStdHead",
                                         "GetField2",
                                         "GetMainID",
                                         "GetDateByTimeSpan",
                                         "CompressFile",
                                         "UnCompressFile",
                                         "GetFileDayTime",
                                         "GetItemIDByDevID",
                                         "GetDevIDByItemID",
                                         "ParseStdHead_ResultAll",
                                         "ParseStdHead_ResultAll_Idx"};

// Names of the defined global and weak symbols in an ELF file's dynamic
// table.
std::set<std::string> DynamicSymbols(const std::string& path) {
  std::vector<DynamicSymbol> symbols;
  std::string error;
  EXPECT_TRUE(ReadDefinedDynamicSymbols(path, &symbols, &error)) << error;
  std::set<std::string> names;
  for (const DynamicSymbol& s : symbols)
    if (!s.name.empty() && (s.binding == STB_GLOBAL || s.binding == STB_WEAK)) names.insert(s.name);
  return names;
}

// Calls f with every parameter zero (null pointers, 0 numbers).
template <class R, class C, class... A>
R CallWithZeros(R (C::*)(A...) const, const C& f) {
  return f(A()...);
}

// What an export of result type R answers when it is not provided.
template <class R>
R NotProvided() {
  if constexpr (std::is_floating_point_v<R>) {
    return PALLIX_NOT_PROVIDED_REAL;
  } else if constexpr (std::is_pointer_v<R>) {
    return nullptr;  // no not-provided export has a pointer result
  } else {
    return PALLIX_NOT_PROVIDED;
  }
}

}  // namespace

TEST(PallixExports, AllNamesResolveInListOrderAndNothingElseIsExported) {
  LoadedLibrary lib;
  ASSERT_TRUE(lib.Loaded()) << dlerror();
  ASSERT_EQ(static_cast<size_t>(PALLIX_FUNCTION_COUNT), sizeof kNames / sizeof kNames[0]);
  for (size_t k = 0; k < PALLIX_FUNCTION_COUNT; ++k) {
    void* sym = dlsym(lib.Handle(), kNames[k]);
    ASSERT_NE(nullptr, sym) << "position " << k + 1 << " " << kNames[k];
    Dl_info info{};
    ASSERT_NE(0, dladdr(sym, &info));
    EXPECT_STREQ(PALLIX_LIBRARY_PATH, info.dli_fname) << kNames[k];
  }
  EXPECT_EQ(188910, PALLIX_FN(lib, GetPallixStrSize)());

  std::set<std::string> expected(std::begin(kNames), std::end(kNames));
  // And the few beyond the list, each from the library itself.
#define PALLIX_EXTRA_NAME(ret, name, params, args) #name,
  for (const char* extra : {PALLIX_EXTRA_FUNCTIONS(PALLIX_EXTRA_NAME)}) {
    void* sym = dlsym(lib.Handle(), extra);
    ASSERT_NE(nullptr, sym) << extra;
    Dl_info info{};
    ASSERT_NE(0, dladdr(sym, &info));
    EXPECT_STREQ(PALLIX_LIBRARY_PATH, info.dli_fname) << extra;
    expected.insert(extra);
  }
#undef PALLIX_EXTRA_NAME
  EXPECT_EQ(expected, DynamicSymbols(PALLIX_LIBRARY_PATH));
}

TEST(PallixExports, EveryOtherExportAnswersNotProvided) {
  LoadedLibrary lib;
  ASSERT_TRUE(lib.Loaded());
  size_t notProvided = 0;
#define PALLIX_CHECK(pos, ret, name, params, args)                                            \
  if (kProvided.count(#name) == 0) {                                                          \
    auto fn = PALLIX_FN(lib, name);                                                           \
    auto call = [fn] params { return fn args; };                                              \
    EXPECT_EQ(NotProvided<ret>(), CallWithZeros(&decltype(call)::operator(), call)) << #name; \
    ++notProvided;                                                                            \
  }
  PALLIX_FUNCTIONS(PALLIX_CHECK, PALLIX_CHECK)
#undef PALLIX_CHECK
  EXPECT_EQ(static_cast<size_t>(PALLIX_FUNCTION_COUNT) - kProvided.size(), notProvided);
  EXPECT_EQ(PALLIX_NOT_PROVIDED_REAL, PALLIX_FN(lib, GetRand)(1, 6));
}

TEST(PallixExports, RecordsTravelThroughTheCEntryPoints) {
  LoadedLibrary lib;
  ASSERT_TRUE(lib.Loaded());
  std::vector<unsigned char> rec(PALLIX_RECORD_MAX, 0);
  ASSERT_EQ(25, PALLIX_FN(lib, WriteStdHead)(rec.data(), nullptr));
  ASSERT_EQ(25 + 14 + 2, PALLIX_FN(lib, WriteStdHead_Result)(rec.data(), 1000, 7700, "25", 0));
  ASSERT_EQ(41 + 14 + 4, PALLIX_FN(lib, WriteStdHead_Result)(rec.data(), 1000, 5071, "1234", 2));
  EXPECT_EQ(-4, PALLIX_FN(lib, WriteStdHead_Result)(rec.data(), 60, 5072, "1", 1));

  StdHead head;
  PallixStdHeadPreset(&head);
  EXPECT_EQ(1, PALLIX_FN(lib, ParseStdHead)(rec.data(), &head));
  EXPECT_EQ(2, PallixGetU16(head.bytes + PALLIX_STD_HEAD_COUNT_OFFSET));
  char value[PALLIX_VALUE_SIZE];
  int code = 0, judge = 0;
  ASSERT_EQ(1, PALLIX_FN(lib, ParseStdHead_ResultAll)(rec.data(), 5071, value, &judge));
  EXPECT_STREQ("1234", value);
  EXPECT_EQ(2, judge);
  EXPECT_EQ(0, PALLIX_FN(lib, ParseStdHead_ResultAll)(rec.data(), 5072, value, &judge));
  ASSERT_EQ(1, PALLIX_FN(lib, ParseStdHead_ResultAll_Idx)(rec.data(), 0, &code, value, &judge));
  EXPECT_EQ(7700, code);
  EXPECT_STREQ("25", value);
  EXPECT_EQ(0, judge);
}

TEST(PallixExports, FilesTextsAndIdsThroughTheCEntryPoints) {
  LoadedLibrary lib;
  ASSERT_TRUE(lib.Loaded());
  const fs::path dir = ScratchDir();
  WriteFile(dir / "plain.txt", "result bytes");
  ASSERT_EQ(
      1, PALLIX_FN(lib, CompressFile)((dir / "plain.txt").c_str(), (dir / "t.compress").c_str()));
  ASSERT_EQ(1, PALLIX_FN(lib, UnCompressFile)((dir / "t.compress").c_str(), dir.c_str()));
  EXPECT_EQ("result bytes", ReadFile(dir / "rtdata.dat"));
  EXPECT_GT(0, PALLIX_FN(lib, UnCompressFile)((dir / "plain.txt").c_str(), dir.c_str()));
  EXPECT_FALSE(fs::exists(dir / "rtdata.dat"));
  int day = 0, time = -1;
  EXPECT_EQ(1, PALLIX_FN(lib, GetFileDayTime)((dir / "plain.txt").c_str(), &day, &time));
  EXPECT_GT(day, 20000101);
  EXPECT_GE(time, 0);
  EXPECT_EQ(0, PALLIX_FN(lib, GetFileDayTime)((dir / "none").c_str(), &day, &time));

  char text[] = "  5071  ";
  EXPECT_EQ(1, PALLIX_FN(lib, TrimLeft)(text, ' '));
  EXPECT_EQ(1, PALLIX_FN(lib, TrimRight)(text, ' '));
  EXPECT_STREQ("5071", text);
  char field[32];
  EXPECT_EQ(2, PALLIX_FN(lib, GetField2)("2024-05-17", 1, field, '-'));
  EXPECT_STREQ("05", field);
  EXPECT_EQ(1, PALLIX_FN(lib, IsSubID_int)(25071));
  EXPECT_EQ(0, PALLIX_FN(lib, IsSubID_char)("5071"));
  EXPECT_EQ(5071, PALLIX_FN(lib, GetMainID)(25071));
  char id[512];
  EXPECT_EQ(1, PALLIX_FN(lib, GetParamIDByName)("5071", 2, id));
  EXPECT_STREQ("25071", id);
  int list[200];
  EXPECT_EQ(2, PALLIX_FN(lib, GetItemIDByDevID)(3, list));
  EXPECT_EQ(3, PALLIX_FN(lib, GetDevIDByItemID)(list[0]));
  PallixDate in{2024, 28, 2, {0, 0}}, out{};
  EXPECT_EQ(1, PALLIX_FN(lib, GetDateByTimeSpan)(&in, 1, &out));
  EXPECT_EQ(2024, out.year);
  EXPECT_EQ(2, out.month);
  EXPECT_EQ(29, out.day);

  // No translation is configured beside the built library: the text itself.
  const char* title = "\xca\xfd\xbe\xdd\xbc\xe0\xbf\xd8";
  EXPECT_EQ(title, PALLIX_FN(lib, GetLangueString)(title));
}

TEST(PallixExports, SettingsBesideTheLibraryFileAreUsed) {
  const fs::path dir = ScratchDir();
  fs::create_directories(dir / "lib");
  const fs::path copy = dir / "lib/libPallix.so";
  fs::copy_file(PALLIX_LIBRARY_PATH, copy);
  const std::string monitor = "\xca\xfd\xbe\xdd\xbc\xe0\xbf\xd8";
  WriteFile(dir / "lib/Pallix.ini", "[Site]\nBaseDir=" + (dir / "site").string() +
                                        "\nSpoolDir=../spool\nTranslation=en.txt\n"
                                        "[ParamNames]\nbrake=5071\n");
  WriteFile(dir / "lib/en.txt", monitor + "=Data monitor\n");

  LoadedLibrary lib(copy.string());
  ASSERT_TRUE(lib.Loaded()) << dlerror();
  auto cfg = std::make_unique<SiteConfig>();
  EXPECT_EQ(1, PALLIX_FN(lib, GetPallix)(cfg.get()));
  EXPECT_EQ((dir / "site").string(), reinterpret_cast<const char*>(cfg->bytes + 7806));
  EXPECT_EQ((dir / "spool").string(), reinterpret_cast<const char*>(cfg->bytes + 9038));
  EXPECT_TRUE(fs::is_directory(dir / "site"));
  EXPECT_TRUE(fs::is_directory(dir / "spool"));
  EXPECT_STREQ("Data monitor", PALLIX_FN(lib, GetLangueString)(monitor.c_str()));
  char id[512];
  EXPECT_EQ(1, PALLIX_FN(lib, GetParamIDByName)("brake", 0, id));
  EXPECT_STREQ("5071", id);

  // GetDefaultPallix ignores the file: the test user's data directory.
  EXPECT_EQ(1, PALLIX_FN(lib, GetDefaultPallix)(cfg.get()));
  EXPECT_EQ(std::string(std::getenv("XDG_DATA_HOME")) + "/brennacenter",
            reinterpret_cast<const char*>(cfg->bytes + 7806));
}

TEST(PallixExports, WorkerAndGuiThreadsMayCallAtTheSameTime) {
  LoadedLibrary lib;
  ASSERT_TRUE(lib.Loaded());
  const fs::path dir = ScratchDir();
  int port = 0, rc = -5;
  for (int tries = 0; tries < 20 && rc == -5; ++tries) {
    port = FreePort();
    rc = PALLIX_FN(lib, OpenNet)(11, 0, port, 9898);
  }
  ASSERT_EQ(1, rc);

  std::vector<unsigned char> rec(PALLIX_RECORD_MAX, 0);
  PALLIX_FN(lib, WriteStdHead)(rec.data(), nullptr);
  auto writeResult = PALLIX_FN(lib, WriteStdHead_Result);
  for (int i = 0; i < 60; ++i)
    writeResult(rec.data(), PALLIX_RECORD_MAX, 5000 + i, std::to_string(i * 7).c_str(), i % 5);
  WriteFile(dir / "plain.txt", std::string(30000, 'r'));
  ASSERT_EQ(
      1, PALLIX_FN(lib, CompressFile)((dir / "plain.txt").c_str(), (dir / "t.compress").c_str()));

  constexpr int kFrames = 300;
  std::atomic<int> received{0}, workerErrors{0}, guiErrors{0};
  std::atomic<bool> done{false};
  std::thread station([&] {
    Client c(port);
    for (int i = 0; i < kFrames; ++i)
      c.Send(MakeFrame(NET_CMD_FILE_CHUNK, 1, static_cast<uint16_t>(i)));
    c.ClosedByPeer(20000);
  });
  std::thread worker([&] {  // the network task: frames and decompression
    Frame f;
    for (int n = 0; received < kFrames && n < 200000; ++n) {
      if (PALLIX_FN(lib, ReadNetData)(11, f.data(), NET_FRAME_SIZE) > 0) {
        if (FrameSeq(f.data()) != received) ++workerErrors;
        ++received;
        if (PALLIX_FN(lib, UnCompressFile)((dir / "t.compress").c_str(), dir.c_str()) != 1)
          ++workerErrors;
      } else {
        std::this_thread::yield();
      }
    }
    done = true;
  });
  // The GUI side: parsing, file times and the title text, all the while.
  char value[PALLIX_VALUE_SIZE];
  int code = 0, judge = 0, day = 0, time = 0;
  while (!done) {
    StdHead head;
    PallixStdHeadPreset(&head);
    PALLIX_FN(lib, ParseStdHead)(rec.data(), &head);
    if (PallixGetU16(head.bytes + 12) != 60) ++guiErrors;
    for (int i = 0; i < 60; ++i) {
      if (PALLIX_FN(lib, ParseStdHead_ResultAll_Idx)(rec.data(), i, &code, value, &judge) != 1 ||
          code != 5000 + i || std::to_string(i * 7) != value)
        ++guiErrors;
    }
    if (PALLIX_FN(lib, ParseStdHead_ResultAll)(rec.data(), 5059, value, &judge) != 1) ++guiErrors;
    PALLIX_FN(lib, GetFileDayTime)((dir / "plain.txt").c_str(), &day, &time);
    if (PALLIX_FN(lib, GetLangueString)("x") == nullptr) ++guiErrors;
  }
  worker.join();
  PALLIX_FN(lib, CloseNet)(11);
  station.join();
  EXPECT_EQ(kFrames, received.load());
  EXPECT_EQ(0, workerErrors.load());
  EXPECT_EQ(0, guiErrors.load());
}

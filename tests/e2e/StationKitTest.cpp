// The Windows station kit as a station maker gets it: the zip the windows
// build's package target made, unpacked. Its documents name nothing it
// lacks; both libraries export exactly the header's names, undecorated, and
// so does each .def; the example builds exactly as the guide's commands
// say, as C17 and as C++17 with every warning an error, for both
// architectures, into programs that load no DLL the kit lacks (the 32-bit
// one also against an import library made from the .def alone, as Visual
// C++'s `lib /def` makes one); and the 64-bit builds,
// run under wine against the Linux monitor, are confirmed by its receipt
// and shown in its window. 32-bit programs cannot run on this machine, so
// those are built and inspected only.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "MonitorScreen.h"
#include "MonitorSession.h"
#include "Pallix.h"
#include "TempDir.h"

namespace fs = std::filesystem;

namespace {

constexpr auto kPatience = std::chrono::seconds(60);

// One architecture of the kit and the tools that build for it here.
struct Arch {
  const char* folder;  // x64, x86
  const char* gcc;
  const char* gxx;
  const char* objdump;
  const char* peFormat;  // objdump's name of the file format
};
const Arch kX64{"x64", BRENNA_MINGW_X64_GCC, BRENNA_MINGW_X64_GXX, BRENNA_MINGW_X64_OBJDUMP,
                "pei-x86-64"};
const Arch kX86{"x86", BRENNA_MINGW_X86_GCC, BRENNA_MINGW_X86_GXX, BRENNA_MINGW_X86_OBJDUMP,
                "pei-i386"};

// What every libPallix exports: the names of the header a station includes.
std::set<std::string> HeaderExportNames() {
#define KIT_NAME(pos, ret, name, params, args) #name,
#define KIT_EXTRA_NAME(ret, name, params, args) #name,
  return {PALLIX_FUNCTIONS(KIT_NAME, KIT_NAME) PALLIX_EXTRA_FUNCTIONS(KIT_EXTRA_NAME)};
#undef KIT_NAME
#undef KIT_EXTRA_NAME
}

std::string Join(const std::set<std::string>& names) {
  std::string out;
  for (const std::string& n : names) out += (out.empty() ? "" : ", ") + n;
  return out.empty() ? "(none)" : out;
}

std::set<std::string> Minus(const std::set<std::string>& a, const std::set<std::string>& b) {
  std::set<std::string> out;
  for (const std::string& s : a)
    if (b.count(s) == 0) out.insert(s);
  return out;
}

// Runs argv in `dir` to its end: its exit status (-1 when it did not end
// by itself), everything it printed in *output.
int RunIn(const fs::path& dir, const std::vector<std::string>& argv, std::string* output,
          std::chrono::milliseconds limit = std::chrono::seconds(120)) {
  ChildProcess::Options options;
  options.workDir = dir.string();
  const ProgramRun run = RunProgram(argv, options, limit);
  *output = run.Report();
  return run.status;
}

std::string Describe(const std::vector<std::string>& argv) {
  std::string out;
  for (const std::string& a : argv) out += (out.empty() ? "" : " ") + a;
  return out;
}

// The commands of the guide's block "<!-- build commands: NAME -->", each
// split at its blanks (the guide quotes nothing).
std::vector<std::vector<std::string>> GuideCommands(const std::string& guide,
                                                    const std::string& name) {
  std::vector<std::vector<std::string>> commands;
  const std::string marker = "<!-- build commands: " + name + " -->";
  const size_t at = guide.find(marker);
  if (at == std::string::npos) return commands;
  const size_t open = guide.find("```", at);
  const size_t body = guide.find('\n', open);
  const size_t close = guide.find("\n```", body);
  if (open == std::string::npos || body == std::string::npos || close == std::string::npos)
    return commands;
  std::istringstream lines(guide.substr(body + 1, close - body - 1));
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::vector<std::string> argv;
    for (std::string w; words >> w;) argv.push_back(w);
    if (!argv.empty()) commands.push_back(argv);
  }
  return commands;
}

// A guide command as this machine runs it: the guide's `gcc` and `g++` are
// the architecture's cross compilers here.
bool ForThisMachine(const Arch& arch, std::vector<std::string>* argv) {
  if ((*argv)[0] == "gcc") {
    (*argv)[0] = arch.gcc;
  } else if ((*argv)[0] == "g++") {
    (*argv)[0] = arch.gxx;
  } else {
    return false;
  }
  return true;
}

// The value after "-o" in a command.
std::string OutputOf(const std::vector<std::string>& argv) {
  for (size_t i = 0; i + 1 < argv.size(); ++i)
    if (argv[i] == "-o") return argv[i + 1];
  return std::string();
}

// What `objdump -p` says about a PE file: its format and its export names.
struct PeFacts {
  std::string format;
  std::set<std::string> exports;
  std::set<std::string> importedDlls;
  std::string error;
};

PeFacts InspectPe(const Arch& arch, const fs::path& file) {
  PeFacts facts;
  std::string text;
  if (RunIn(file.parent_path(), {arch.objdump, "-p", file.filename().string()}, &text) != 0) {
    facts.error = "objdump -p " + file.string() + " failed: " + text;
    return facts;
  }
  std::smatch m;
  if (std::regex_search(text, m, std::regex("file format (\\S+)"))) facts.format = m[1];
  std::istringstream lines(text);
  std::string line;
  bool inNames = false;
  const std::regex nameRow("^\\t\\[\\s*\\d+\\] (\\S+)$");
  const std::regex dllRow("^\\tDLL Name: (\\S+)$");
  while (std::getline(lines, line)) {
    if (line.find("[Ordinal/Name Pointer] Table") != std::string::npos) {
      inNames = true;
      continue;
    }
    if (inNames && !std::regex_match(line, m, nameRow)) inNames = false;
    if (inNames) facts.exports.insert(m[1]);
    if (std::regex_match(line, m, dllRow)) facts.importedDlls.insert(m[1]);
  }
  return facts;
}

// The DLLs a program of the kit may load: libPallix.dll beside it, and
// what every Windows has. The compiler's run-time (libstdc++-6.dll,
// libgcc_s_dw2-1.dll, libwinpthread-1.dll) is linked in, never loaded: a
// station PC has none of it.
std::set<std::string> UnshippedImports(const PeFacts& facts) {
  static const std::set<std::string> kOnEveryWindows = {
      "kernel32.dll", "msvcrt.dll", "user32.dll", "advapi32.dll", "ws2_32.dll", "shell32.dll"};
  std::set<std::string> unshipped;
  for (const std::string& dll : facts.importedDlls) {
    std::string lower = dll;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower != "libpallix.dll" && kOnEveryWindows.count(lower) == 0) unshipped.insert(dll);
  }
  return unshipped;
}

// The names of a module-definition file's EXPORTS ("Name @ordinal" rows).
std::set<std::string> DefExports(const fs::path& def) {
  std::set<std::string> names;
  std::istringstream lines(ReadFileBytes(def.string()));
  std::string line;
  bool inExports = false;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string first;
    if (!(words >> first)) continue;
    if (first == "EXPORTS") {
      inExports = true;
    } else if (inExports) {
      names.insert(first);
    }
  }
  return names;
}

class StationKit : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_unpacked = new TempDir;
    std::string output;
    s_unpackStatus = RunIn(s_unpacked->path(),
                           {BRENNA_CMAKE, "-E", "tar", "xf", BRENNA_STATION_KIT_ZIP}, &output);
    s_unpackOutput = output;
  }
  static void TearDownTestSuite() {
    delete s_unpacked;
    s_unpacked = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(fs::is_regular_file(BRENNA_STATION_KIT_ZIP))
        << "no station kit at " << BRENNA_STATION_KIT_ZIP;
    ASSERT_EQ(0, s_unpackStatus) << s_unpackOutput;
    std::vector<fs::path> tops;
    for (const auto& e : fs::directory_iterator(s_unpacked->path())) tops.push_back(e.path());
    ASSERT_EQ(1u, tops.size()) << "the zip should hold one folder";
    m_kit = tops.front();
  }

  std::string Guide() const {
    return ReadFileBytes((m_kit / "docs" / "station-integration.md").string());
  }

  // Runs the guide's commands for the architecture in the kit; the
  // programs they made.
  std::vector<fs::path> BuildAsTheGuideSays(const Arch& arch) {
    std::vector<fs::path> made;
    const auto commands = GuideCommands(Guide(), arch.folder);
    EXPECT_EQ(2u, commands.size())
        << "the guide's " << arch.folder << " block should build the example in C and in C++";
    for (std::vector<std::string> argv : commands) {
      const std::string shown = Describe(argv);
      if (!ForThisMachine(arch, &argv)) {
        ADD_FAILURE() << "the guide's command is neither gcc nor g++: " << shown;
        continue;
      }
      std::string output;
      EXPECT_EQ(0, RunIn(m_kit, argv, &output)) << shown << "\n" << output;
      EXPECT_TRUE(output.empty()) << shown << " said:\n" << output;
      made.push_back(m_kit / OutputOf(argv));
      const PeFacts facts = InspectPe(arch, made.back());
      EXPECT_TRUE(facts.error.empty()) << facts.error;
      EXPECT_EQ(arch.peFormat, facts.format) << shown;
      EXPECT_EQ(1u, facts.importedDlls.count("libPallix.dll")) << shown;
      EXPECT_TRUE(UnshippedImports(facts).empty())
          << shown << " makes a program that needs DLLs the kit does not ship: "
          << Join(UnshippedImports(facts));
    }
    return made;
  }

  static TempDir* s_unpacked;
  static int s_unpackStatus;
  static std::string s_unpackOutput;
  fs::path m_kit;
};

TempDir* StationKit::s_unpacked = nullptr;
int StationKit::s_unpackStatus = -1;
std::string StationKit::s_unpackOutput;

}  // namespace

TEST_F(StationKit, HoldsBothArchitecturesAndEveryFileItsDocumentsName) {
  for (const char* arch : {"x64", "x86"})
    for (const char* file :
         {"libPallix.dll", "libPallix.dll.a", "libPallix.def", "brenna-send.exe"})
      EXPECT_TRUE(fs::is_regular_file(m_kit / arch / file)) << arch << "/" << file;
  EXPECT_TRUE(fs::is_regular_file(m_kit / "example" / "station_example.c"));

  // Every file name a document of the kit mentions: documents, headers,
  // sources, and the demo data.
  std::set<std::string> present;
  for (const auto& e : fs::recursive_directory_iterator(m_kit))
    if (e.is_regular_file()) present.insert(e.path().filename().string());
  const std::regex fileName("[A-Za-z0-9_.-]+\\.(md|h|c)\\b");
  const std::regex dataPath("(^|[^A-Za-z0-9_/.-])(data/[A-Za-z0-9_./-]*[A-Za-z0-9_])");
  int documents = 0;
  for (const auto& e : fs::directory_iterator(m_kit / "docs")) {
    ++documents;
    const std::string text = ReadFileBytes(e.path().string());
    std::set<std::string> missing;
    for (std::sregex_iterator it(text.begin(), text.end(), fileName), end; it != end; ++it)
      if (present.count(it->str()) == 0) missing.insert(it->str());
    for (std::sregex_iterator it(text.begin(), text.end(), dataPath), end; it != end; ++it)
      if (!fs::exists(m_kit / (*it)[2].str())) missing.insert((*it)[2].str());
    EXPECT_TRUE(missing.empty()) << e.path().filename()
                                 << " points to what the kit lacks: " << Join(missing);
  }
  EXPECT_GE(documents, 4);
}

TEST_F(StationKit, BothLibrariesExportTheHeadersNamesUndecoratedAsTheirDefFilesSay) {
  const std::set<std::string> expected = HeaderExportNames();
#define KIT_EXTRA_COUNT(ret, name, params, args) +1
  constexpr size_t kExtras = 0 PALLIX_EXTRA_FUNCTIONS(KIT_EXTRA_COUNT);
#undef KIT_EXTRA_COUNT
  ASSERT_EQ(static_cast<size_t>(PALLIX_FUNCTION_COUNT) + kExtras, expected.size());
  for (const Arch& arch : {kX64, kX86}) {
    SCOPED_TRACE(arch.folder);
    const PeFacts dll = InspectPe(arch, m_kit / arch.folder / "libPallix.dll");
    ASSERT_TRUE(dll.error.empty()) << dll.error;
    EXPECT_EQ(arch.peFormat, dll.format);
    EXPECT_TRUE(UnshippedImports(dll).empty()) << Join(UnshippedImports(dll));
    // Plain names: no stdcall "@8", no leading underscore. A cdecl caller
    // (and GetProcAddress with the name) finds each one as it is.
    EXPECT_EQ(expected, dll.exports)
        << "exported but not in Pallix.h: " << Join(Minus(dll.exports, expected))
        << "; in Pallix.h but not exported: " << Join(Minus(expected, dll.exports));
    const std::set<std::string> def = DefExports(m_kit / arch.folder / "libPallix.def");
    EXPECT_EQ(expected, def) << "in the .def but not in Pallix.h: " << Join(Minus(def, expected))
                             << "; in Pallix.h but not in the .def: " << Join(Minus(expected, def));

    const PeFacts tool = InspectPe(arch, m_kit / arch.folder / "brenna-send.exe");
    ASSERT_TRUE(tool.error.empty()) << tool.error;
    EXPECT_EQ(arch.peFormat, tool.format);
    EXPECT_EQ(1u, tool.importedDlls.count("libPallix.dll"))
        << "brenna-send.exe should load the libPallix.dll beside it; it loads "
        << Join(tool.importedDlls);
    EXPECT_TRUE(UnshippedImports(tool).empty()) << Join(UnshippedImports(tool));
  }
}

TEST_F(StationKit, TheGuidesCommandsBuildThe32BitExampleInCAndCppAlsoAgainstTheDef) {
  EXPECT_EQ(2u, BuildAsTheGuideSays(kX86).size());

  // Visual C++ makes its import library from the .def (lib /def:...
  // /machine:x86): for a name of the .def it gives the cdecl symbols
  // _Name and __imp__Name, and takes the DLL's name from the .def too.
  // dlltool makes the same from the same file alone; the guide's C command
  // must link against it, and the program must load libPallix.dll.
  std::string output;
  ASSERT_EQ(0, RunIn(m_kit,
                     {BRENNA_MINGW_X86_DLLTOOL, "-d", "x86/libPallix.def", "-l",
                      "x86/libPallix-from-def.a"},
                     &output))
      << output;
  auto commands = GuideCommands(Guide(), "x86");
  ASSERT_FALSE(commands.empty());
  std::vector<std::string> argv = commands.front();
  ASSERT_TRUE(ForThisMachine(kX86, &argv));
  for (std::string& a : argv) {
    if (a == "x86/libPallix.dll.a") a = "x86/libPallix-from-def.a";
    if (a == OutputOf(commands.front())) a = "x86/station_example_def.exe";
  }
  ASSERT_EQ(0, RunIn(m_kit, argv, &output)) << Describe(argv) << "\n" << output;
  const PeFacts facts = InspectPe(kX86, m_kit / "x86" / "station_example_def.exe");
  ASSERT_TRUE(facts.error.empty()) << facts.error;
  EXPECT_EQ(1u, facts.importedDlls.count("libPallix.dll"))
      << "the program made with the .def's import library loads " << Join(facts.importedDlls);
  EXPECT_TRUE(UnshippedImports(facts).empty()) << Join(UnshippedImports(facts));
}

TEST_F(StationKit, TheGuidesCommandsBuildTheExampleInCAndCppAndTheMonitorConfirmsAndShowsIt) {
  const std::vector<fs::path> made = BuildAsTheGuideSays(kX64);
  ASSERT_EQ(2u, made.size());

  MonitorSession session;
  std::string error;
  ASSERT_TRUE(session.StartAndWaitForWindow(&error)) << error << "\nmonitor output:\n"
                                                     << session.Log();
  // Each build sends the example's result under a name of its own; exit
  // status 0 means CloseNet reported the monitor's receipt for every frame.
  int sent = 0;
  for (const fs::path& exe : made) {
    const std::string name = "kit-" + exe.stem().string();
    std::string output;
    const std::vector<std::string> argv = {BRENNA_RUN_WINDOWS,
                                           fs::relative(exe, m_kit).generic_string(), name,
                                           "127.0.0.1", std::to_string(session.tree().port())};
    EXPECT_EQ(0, RunIn(m_kit, argv, &output, std::chrono::seconds(90))) << Describe(argv) << "\n"
                                                                        << output;
    EXPECT_NE(std::string::npos, output.find("sent " + name + ":")) << output;
    EXPECT_NE(std::string::npos, output.find("confirmed by the monitor")) << output;
    ++sent;
  }

  std::string seen;
  EXPECT_TRUE(session.WaitForTitle(CountedTitle(sent), kPatience, &seen))
      << "the title reads \"" << seen << "\", not \"" << CountedTitle(sent) << "\"\n"
      << session.Log();
  // The speedometer group: operator 1024 in blue, 38.6 passed (blue),
  // -3.5 advisory (green).
  const std::vector<std::string> failures = LookUntilShown(
      session, ArtefactPath("station-kit-example.png"),
      [](ScreenChecks& check) {
        check.Shows(1018, kBlue, "speedometer operator");
        check.Lacks(1018, kRed, "speedometer operator (idle)");
        check.Shows(1019, kBlue, "speedometer value (passed)");
        check.Shows(1020, kGreen, "speedometer error (advisory)");
      },
      kPatience);
  for (const std::string& f : failures) ADD_FAILURE() << f;
  EXPECT_TRUE(session.tree().SpoolNames().empty());
}

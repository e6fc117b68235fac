// The Debian package as a station PC gets it: its control data, and its
// contents unpacked (dpkg-deb -x) into a temporary root. The unpacked
// monitor runs offscreen with a private home, loads the unpacked libPallix,
// listens on the port its site settings name, takes a result from the
// unpacked station tool, and writes nothing into the unpacked tree.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "ElfDynamic.h"
#include "FreePort.h"
#include "MonitorProcess.h"
#include "Station.h"
#include "TempDir.h"
#include "TestSocket.h"

namespace fs = std::filesystem;

namespace {

constexpr auto kPatience = std::chrono::seconds(30);
const char kDpkgDeb[] = "/usr/bin/dpkg-deb";
// "端口号", the port setting's section, in GBK.
const char kPortSectionGbk[] = "\xB6\xCB\xBF\xDA\xBA\xC5";

// The one .deb the build put into the package folder; empty when there is
// not exactly one.
std::string BuiltPackage() {
  std::vector<std::string> found;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(BRENNA_TEST_PACKAGE_DIR, ec))
    if (e.path().extension() == ".deb") found.push_back(e.path().string());
  return found.size() == 1 ? found.front() : std::string();
}

// Runs a program to its end with these changes to the environment; its
// exit status, what it printed in *output (with how it ended, unless with
// status 0).
int RunWith(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            std::string* output) {
  ChildProcess::Options options;
  options.env = env;
  const ProgramRun run = RunProgram(argv, options, std::chrono::seconds(120));
  *output = run.Report();
  return run.status;
}

// Every path below `root` with its size (directories as -1).
std::map<std::string, std::intmax_t> Snapshot(const std::string& root) {
  std::map<std::string, std::intmax_t> out;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    const std::string rel = fs::relative(it->path(), root, ec).generic_string();
    out[rel] = it->is_directory() ? -1 : static_cast<std::intmax_t>(it->file_size());
  }
  return out;
}

// "Key=value" lines of a desktop entry's group.
std::map<std::string, std::string> DesktopEntry(const std::string& path) {
  std::map<std::string, std::string> keys;
  std::istringstream in(ReadFileBytes(path));
  std::string line;
  bool inEntry = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line[0] == '[') {
      inEntry = line == "[Desktop Entry]";
      continue;
    }
    const auto eq = line.find('=');
    if (inEntry && eq != std::string::npos) keys[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return keys;
}

// A GET over a connection of its own; the whole answer.
std::string HttpGet(int port, const std::string& path) {
  const test_socket::Handle s = test_socket::ConnectLoopback(port);
  if (s == test_socket::kNone) return "(no connection)";
  const std::string request =
      "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
  test_socket::SendAll(s, request.data(), request.size());
  bool closed = false;
  std::string answer = test_socket::Receive(s, 30000, &closed);
  test_socket::Close(s);
  return answer;
}

class InstalledPackage : public ::testing::Test {
 protected:
  void SetUp() override {
    deb = BuiltPackage();
    ASSERT_FALSE(deb.empty()) << "no single .deb in " << BRENNA_TEST_PACKAGE_DIR;
    std::string out;
    ASSERT_EQ(RunWith({kDpkgDeb, "-x", deb, root()}, {}, &out), 0) << out;
    fs::create_directories(home());
    fs::create_directories(runtime());
    fs::permissions(runtime(), fs::perms::owner_all, fs::perm_options::replace);
  }

  std::string root() const { return dir.file("root"); }
  std::string usr() const { return root() + "/usr"; }
  std::string home() const { return dir.file("home"); }
  std::string dataHome() const { return home() + "/.local/share"; }
  std::string configHome() const { return home() + "/.config"; }
  std::string runtime() const { return dir.file("runtime"); }

  // A user's session with nothing of the developer's around it: private
  // home and XDG folders, no display, no session bus.
  std::vector<std::string> Session() const {
    return {"HOME=" + home(),
            "XDG_DATA_HOME=" + dataHome(),
            "XDG_CONFIG_HOME=" + configHome(),
            "XDG_CACHE_HOME=" + home() + "/.cache",
            "XDG_RUNTIME_DIR=" + runtime(),
            "XDG_CONFIG_DIRS",
            "XDG_STATE_HOME",
            "DISPLAY",
            "WAYLAND_DISPLAY",
            "DBUS_SESSION_BUS_ADDRESS",
            "LD_LIBRARY_PATH",
            "QT_QPA_PLATFORM=offscreen"};
  }

  int Autostart(const std::vector<std::string>& args, std::vector<std::string> env,
                std::string* out) {
    std::vector<std::string> argv = {usr() + "/bin/brennacenter-autostart"};
    argv.insert(argv.end(), args.begin(), args.end());
    // The session, with the test's changes in place of its entries.
    std::vector<std::string> session = Session();
    session.insert(session.end(), env.begin(), env.end());
    return RunWith(argv, session, out);
  }

  TempDir dir;
  std::string deb;
};

}  // namespace

TEST_F(InstalledPackage, ControlNamesItselfAndDependsOnQtZlibSqliteHttplibAndTheFonts) {
  std::string out;
  ASSERT_EQ(RunWith({kDpkgDeb, "-f", deb, "Package", "Version", "Depends"}, {}, &out), 0) << out;
  EXPECT_NE(out.find("Package: brennacenter\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Version: " BRENNA_PROJECT_VERSION "\n"), std::string::npos) << out;
  const std::string depends = out.substr(out.find("Depends:"));
  for (const char* p :
       {"libqt6core6", "libqt6gui6", "libqt6widgets6", "libqt6dbus6", "zlib1g", "libsqlite3-0",
        "libcpp-httplib0.11", "libpq5", "fonts-liberation", "fonts-arphic-uming", "libc6"}) {
    EXPECT_NE(depends.find(std::string(" ") + p), std::string::npos)
        << p << " missing: " << depends;
  }
  EXPECT_EQ(deb.substr(deb.rfind('/') + 1).rfind("brennacenter_" BRENNA_PROJECT_VERSION "_", 0), 0u)
      << deb;
}

TEST_F(InstalledPackage, LaysOutTheTreeTheProgramAndTheDesktopExpect) {
  for (const char* exe : {"bin/BrennaCenter", "bin/brenna-send", "bin/brenna-history",
                          "bin/brenna-web", "bin/brenna-ship", "bin/brennacenter-autostart"}) {
    const fs::path p = usr() + "/" + exe;
    ASSERT_TRUE(fs::is_regular_file(p)) << exe;
    EXPECT_NE(fs::status(p).permissions() & fs::perms::others_exec, fs::perms::none) << exe;
  }
  EXPECT_TRUE(fs::is_regular_file(usr() + "/lib/brennacenter/libPallix.so"));
  for (int size : {16, 32, 48, 64, 128, 256}) {
    const std::string s = std::to_string(size);
    EXPECT_TRUE(fs::is_regular_file(usr() + "/share/icons/hicolor/" + s + "x" + s +
                                    "/apps/brennacenter.png"))
        << size;
  }
  EXPECT_TRUE(fs::is_regular_file(usr() + "/share/doc/brennacenter/README.md"));
  EXPECT_TRUE(fs::is_regular_file(usr() + "/share/doc/brennacenter/docs/site-config.md"));
  EXPECT_TRUE(fs::is_regular_file(usr() + "/share/doc/brennacenter/docs/operations.md"));

  // The sample data, file for file, when the checkout has some.
  const fs::path data = fs::path(BRENNA_SOURCE_DIR) / "data";
  const std::string installedData = usr() + "/share/brennacenter/data";
  if (fs::is_directory(data)) {
    EXPECT_EQ(Snapshot(installedData), Snapshot(data.string()));
  } else {
    EXPECT_FALSE(fs::exists(installedData));
  }

  // Nothing but the program's own files: no site data, no settings.
  for (const auto& [path, size] : Snapshot(root())) {
    EXPECT_TRUE(path == "usr" || path.rfind("usr/bin", 0) == 0 ||
                path.rfind("usr/lib/brennacenter", 0) == 0 || path == "usr/lib" ||
                path.rfind("usr/share", 0) == 0)
        << path;
    EXPECT_EQ(path.find("Pallix.ini"), std::string::npos) << path;
    EXPECT_EQ(path.find("BrennaCenter.ini"), std::string::npos) << path;
  }

  // The launcher.
  const auto launcher = DesktopEntry(usr() + "/share/applications/brennacenter.desktop");
  EXPECT_EQ(launcher.count("Type") ? launcher.at("Type") : "", "Application");
  EXPECT_EQ(launcher.count("Name") ? launcher.at("Name") : "", "BrennaCenter");
  EXPECT_EQ(launcher.count("Name[zh_CN]") ? launcher.at("Name[zh_CN]") : "", "数据监控");
  EXPECT_EQ(launcher.count("Exec") ? launcher.at("Exec") : "", "BrennaCenter");
  EXPECT_EQ(launcher.count("Icon") ? launcher.at("Icon") : "", "brennacenter");
  EXPECT_FALSE(launcher.count("Categories") ? launcher.at("Categories").empty() : true);
  // The autostart entry starts the same program.
  const auto autostart = DesktopEntry(usr() + "/share/brennacenter/autostart/brennacenter.desktop");
  EXPECT_EQ(autostart.count("Exec") ? autostart.at("Exec") : "", "BrennaCenter");
  EXPECT_EQ(autostart.count("Name[zh_CN]") ? autostart.at("Name[zh_CN]") : "", "数据监控");
  // The web view's starts beside it, shown in no menu.
  const auto web = DesktopEntry(usr() + "/share/brennacenter/autostart/brenna-web.desktop");
  EXPECT_EQ(web.count("Exec") ? web.at("Exec") : "", "brenna-web");
  EXPECT_EQ(web.count("NoDisplay") ? web.at("NoDisplay") : "", "true");

  // No search path into the build tree: the monitor needs none at all, the
  // station tool only its own library folder.
  std::vector<std::string> paths;
  std::string error;
  EXPECT_TRUE(ReadSearchPaths(usr() + "/bin/BrennaCenter", &paths, &error)) << error;
  EXPECT_EQ(paths, std::vector<std::string>{});
  EXPECT_TRUE(ReadSearchPaths(usr() + "/bin/brenna-send", &paths, &error)) << error;
  EXPECT_EQ(paths, std::vector<std::string>{"$ORIGIN/../lib/brennacenter"});
}

TEST_F(InstalledPackage, TheUnpackedMonitorLoadsItsOwnLibraryListensAndKeepsItsDataAtHome) {
  // The site's port, where the library's default site puts BrennaCenter.ini.
  const std::string base = dataHome() + "/brennacenter";
  const std::string spool = base + "/spool";
  fs::create_directories(base);
  const int port = FreePort();
  ASSERT_NE(port, 0);
  WriteFileBytes(base + "/BrennaCenter.ini",
                 std::string("[") + kPortSectionGbk + "]\nPort=" + std::to_string(port) + "\n");
  const auto before = Snapshot(root());

  MonitorProcess monitor(InstalledMonitor{usr() + "/bin/BrennaCenter",
                                          usr() + "/bin/brenna-send",
                                          port,
                                          spool,
                                          dir.file("work"),
                                          Session(),
                                          {}});
  std::string error;
  ASSERT_TRUE(monitor.Start(&error)) << error;

  // The library in its address space is the unpacked one, not this build's.
  const std::string maps =
      ReadFileBytes("/proc/" + std::to_string(monitor.monitor().pid()) + "/maps");
  EXPECT_NE(maps.find(usr() + "/lib/brennacenter/libPallix.so"), std::string::npos) << maps;
  EXPECT_EQ(maps.find(std::string(BRENNA_PALLIX_DIR) + "/libPallix.so"), std::string::npos);
  EXPECT_TRUE(fs::is_directory(spool)) << "the site's spool directory, below the user's data";

  // The unpacked station tool finds the unpacked library beside it...
  std::string out;
  ASSERT_EQ(RunWith({usr() + "/bin/brenna-send"}, {"LD_TRACE_LOADED_OBJECTS=1"}, &out), 0) << out;
  EXPECT_NE(out.find("libPallix.so => " + usr() + "/bin/../lib/brennacenter/libPallix.so"),
            std::string::npos)
      << out;
  // ...and a result it sends is put together in the spool directory, then
  // shown and taken away (within milliseconds: watched, not looked for).
  ASSERT_EQ(monitor.SendResults({"brake"}, {"7700 0 25\n7701 0 0815\n5071 1 1234\n"}, &out), 0)
      << out;
  EXPECT_TRUE(monitor.watch().WaitUntilShown({"brake"}, kPatience)) << "the result was not shown";
  EXPECT_TRUE(monitor.watch().Snapshot()["brake"].isPublished)
      << "no result file appeared in " << spool;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(spool, ec))
    EXPECT_NE(e.path().extension(), ".DOING") << e.path();
  EXPECT_TRUE(monitor.monitor().Running()) << monitor.monitor().Describe() << "\n" << monitor.Log();

  // The unpacked brenna-history finds it in the archive the monitor keeps
  // below the user's state directory.
  bool listed = false;
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (!listed && std::chrono::steady_clock::now() < deadline) {
    RunWith({usr() + "/bin/brenna-history", "--csv"}, Session(), &out);
    // The operator kept text for a spreadsheet ("=""0815"""), lines ended CR LF.
    listed = out.find(",\"=\"\"0815\"\"\",") != std::string::npos &&
             out.find(",brake\r\n") != std::string::npos;
    if (!listed) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_TRUE(listed) << out;
  EXPECT_EQ(fs::status(home() + "/.local/state/brennacenter/archive.sqlite").permissions() &
                fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);

  // The unpacked brenna-web serves it: the result in its CSV.
  const int webPort = FreePort();
  ChildProcess web;
  ChildProcess::Options webOptions;
  webOptions.env = Session();
  webOptions.logPath = dir.file("web.log");
  ASSERT_TRUE(StartListening(
      &web, {usr() + "/bin/brenna-web", "--listen", "127.0.0.1:" + std::to_string(webPort)},
      webOptions, webPort, kPatience, &error))
      << error;
  const std::string csv = HttpGet(webPort, "/results.csv");
  EXPECT_EQ(0u, csv.rfind("HTTP/1.1 200 ", 0)) << csv;
  EXPECT_NE(csv.find(",\"=\"\"0815\"\"\","), std::string::npos) << csv;
  web.Stop();

  monitor.Stop();
  EXPECT_EQ(Snapshot(root()), before) << "the monitor wrote into its install tree";
}

TEST_F(InstalledPackage, TheAutostartEntriesAreSwitchedOnAndOffPerUserOrForEveryone) {
  const std::string entry = usr() + "/share/brennacenter/autostart/brennacenter.desktop";
  const std::string webEntry = usr() + "/share/brennacenter/autostart/brenna-web.desktop";
  const std::string mine = configHome() + "/autostart/brennacenter.desktop";
  const std::string myWeb = configHome() + "/autostart/brenna-web.desktop";
  std::string out;

  EXPECT_EQ(Autostart({"status"}, {}, &out), 3) << out;
  ASSERT_EQ(Autostart({"enable"}, {}, &out), 0) << out;
  EXPECT_EQ(ReadFileBytes(mine), ReadFileBytes(entry));
  EXPECT_EQ(ReadFileBytes(myWeb), ReadFileBytes(webEntry)) << "the web view beside the monitor";
  EXPECT_EQ(Autostart({"status"}, {}, &out), 0) << out;
  EXPECT_NE(out.find("web view enabled"), std::string::npos) << out;
  ASSERT_EQ(Autostart({"enable"}, {}, &out), 0) << "a second enable is harmless: " << out;
  EXPECT_EQ(ReadFileBytes(mine), ReadFileBytes(entry));
  ASSERT_EQ(Autostart({"disable"}, {}, &out), 0) << out;
  EXPECT_FALSE(fs::exists(mine));
  EXPECT_FALSE(fs::exists(myWeb));
  EXPECT_EQ(Autostart({"disable"}, {}, &out), 0) << "nothing to remove is no error: " << out;

  // Without XDG_CONFIG_HOME the user's entry goes to ~/.config.
  ASSERT_EQ(Autostart({"enable"}, {"XDG_CONFIG_HOME"}, &out), 0) << out;
  EXPECT_TRUE(fs::exists(home() + "/.config/autostart/brennacenter.desktop"));

  // For everyone: the first system configuration folder.
  const std::string system = dir.file("xdg");
  const std::string everyone = system + "/autostart/brennacenter.desktop";
  ASSERT_EQ(Autostart({"enable", "--all-users"}, {"XDG_CONFIG_DIRS=" + system + ":/etc/xdg"}, &out),
            0)
      << out;
  EXPECT_EQ(ReadFileBytes(everyone), ReadFileBytes(entry));
  ASSERT_EQ(Autostart({"disable", "--all-users"}, {"XDG_CONFIG_DIRS=" + system}, &out), 0) << out;
  EXPECT_FALSE(fs::exists(everyone));
}

TEST_F(InstalledPackage, TheAutostartScriptRefusesWhatItDoesNotKnowAndWritesNothing) {
  std::string out;
  for (const std::vector<std::string>& args : {std::vector<std::string>{},
                                               {"start"},
                                               {"enable", "--everyone"},
                                               {"enable", "--all-users", "x"}}) {
    EXPECT_EQ(Autostart(args, {}, &out), 2) << out;
    EXPECT_NE(out.find("usage:"), std::string::npos) << out;
  }
  // No home to put the entry in.
  EXPECT_EQ(Autostart({"enable"}, {"HOME", "XDG_CONFIG_HOME"}, &out), 1) << out;
  // An installed entry is missing: nothing is enabled.
  fs::remove(usr() + "/share/brennacenter/autostart/brenna-web.desktop");
  EXPECT_EQ(Autostart({"enable"}, {}, &out), 1) << out;
  EXPECT_FALSE(fs::exists(configHome() + "/autostart"));
}

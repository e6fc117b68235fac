// brenna-web - the line in a browser (docs/web-view.md): the live panel and
// the archive's results, read from the archive the monitor keeps. It never
// writes the archive, never opens the spool directory and never talks to
// the monitor: a fault here cannot reach the window.
//
//   brenna-web [--config FILE] [--archive FILE] [--listen ADDRESS:PORT]
//   brenna-web [--config FILE] [--listen ADDRESS:PORT] --pair
//   brenna-web --site [--config FILE] [--listen ADDRESS:PORT] [--pair]
//   brenna-web --company CONNINFO | --company-file FILE [--config FILE] [--listen ADDRESS:PORT]
//              [--pair]
//   brenna-web [--config FILE] --test-alert
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "archive/ArchiveFormat.h"
#include "archive/ArchiveTime.h"
#include "platform/FileOps.h"
#include "platform/PrivateFileIo.h"
#include "platform/SignalPipe.h"
#include "platform/StreamSocket.h"
#include "platform/SystemText.h"
#include "reports/VehicleKey.h"
#include "web/AccessToken.h"
#include "web/AlertRules.h"
#include "web/AlertSender.h"
#include "web/AlertWatch.h"
#include "web/CompanyMode.h"
#include "web/LiveFeed.h"
#include "web/Pairing.h"
#include "web/Sessions.h"
#include "web/SiteFeed.h"
#include "web/SiteSettings.h"
#include "web/WebServer.h"
#include "web/WebSettings.h"

namespace {

constexpr int kDone = 0;
constexpr int kCannotServe = 1;
constexpr int kBadArguments = 2;

#ifdef _WIN32
#define BRENNA_WEB_SETTINGS_DEFAULT "brenna-web.ini in the site's base directory"
#else
#define BRENNA_WEB_SETTINGS_DEFAULT "$XDG_CONFIG_HOME/brennacenter/brenna-web.ini"
#endif

const char kUsage[] =
    "usage: brenna-web [--config FILE] [--archive FILE] [--listen ADDRESS:PORT]\n"
    "       brenna-web [--config FILE] [--listen ADDRESS:PORT] --pair\n"
    "       brenna-web --site [--config FILE] [--listen ADDRESS:PORT] [--pair]\n"
    "       brenna-web --company CONNINFO | --company-file FILE [--config FILE]\n"
    "                  [--listen ADDRESS:PORT] [--pair]\n"
    "       brenna-web [--config FILE] --test-alert\n"
    "  Serves the monitor's live panel and its archive to browsers (docs/web-view.md).\n"
    "  --pair                 prints a link that pairs one more browser on the LAN, once,\n"
    "                         within an hour (also while brenna-web serves)\n"
    "  --site                 serves a site's overview of the lines in the settings' [site]\n"
    "                         (default 127.0.0.1:10089) instead of this computer's line\n"
    "  --company CONNINFO     serves the company's view of every line from the company's\n"
    "                         PostgreSQL, read with a viewer's connection string (brenna-ship\n"
    "                         --enrol-viewer; default 127.0.0.1:10090)\n"
    "  --company-file FILE    the same string from a file only its owner may read\n"
    "  --test-alert           sends one test alert to the settings' [Alerts] Webhook and says\n"
    "                         whether it was taken\n"
    "  --config FILE          settings (default " BRENNA_WEB_SETTINGS_DEFAULT
    ")\n"
    "  --archive FILE         the archive to read (default: the monitor's, of this user)\n"
    "  --listen ADDRESS:PORT  where to listen, over the settings' Listen (default "
    "127.0.0.1:10088;\n"
    "                         any address but the loopback's needs the access token)\n";

// Prints a message built of texts in the system's encoding (paths, values
// from the settings) as UTF-8, the same bytes on every system.
void Say(std::FILE* to, const char* format, ...) {
  va_list args;
  va_start(args, format);
  char line[8192];
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  std::fputs(Utf8FromSystem(line).c_str(), to);
}

// The addresses a browser elsewhere on the LAN can reach us by.
std::vector<std::string> LanHosts(const web::ListenAddress& listen) {
  if (listen.host != "0.0.0.0" && listen.host != "::") return {listen.host};
  std::vector<std::string> hosts = stream_socket::LanAddresses();
  if (hosts.empty()) hosts.push_back("<this computer's address>");
  return hosts;
}

// What the command line asks for.
struct Arguments {
  std::string configPath = web::DefaultSettingsPath();
  std::string archivePath;
  std::string listenText;
  bool pair = false;
  bool site = false;
  bool testAlert = false;
  std::string company, companyFile;  // the company's view: its connection string, or its file

  bool Company() const { return !company.empty() || !companyFile.empty(); }
};

// The arguments after the program's name in the system's encoding, as
// the files take them: on Windows read from the UTF-16 command line, so a
// Chinese path is the same on a PC of any code page. False (said) for one
// the system cannot name.
bool SystemArguments(int argc, char** argv, std::vector<std::string>* args) {
  for (const std::string& utf8 : Utf8Arguments(argc, argv)) {
    args->emplace_back();
    if (!SystemFromUtf8(utf8, &args->back())) {
      std::fprintf(stderr, "brenna-web: the argument '%.200s' cannot be named on this system\n%s",
                   utf8.c_str(), kUsage);
      return false;
    }
  }
  return true;
}

// False when the program ends here, with *status.
bool ReadArguments(const std::vector<std::string>& argv, Arguments* args, int* status) {
  const std::size_t argc = argv.size();
  for (std::size_t i = 0; i < argc; ++i) {
    const std::string& a = argv[i];
    if (a == "-h" || a == "--help") {
      std::fputs(kUsage, stdout);
      *status = kDone;
      return false;
    }
    if (a == "--pair" || a == "--site" || a == "--test-alert") {
      (a == "--pair" ? args->pair : a == "--site" ? args->site : args->testAlert) = true;
      continue;
    }
    if (a == "--version") {
      Say(stdout, "brenna-web %s\n", BRENNA_VERSION);
      *status = kDone;
      return false;
    }
    if ((a == "--config" || a == "--archive" || a == "--listen" || a == "--company" ||
         a == "--company-file") &&
        i + 1 < argc) {
      std::string& target = a == "--config"    ? args->configPath
                            : a == "--archive" ? args->archivePath
                            : a == "--listen"  ? args->listenText
                            : a == "--company" ? args->company
                                               : args->companyFile;
      target = argv[++i];
      if (target.empty() || target.size() > 4096) {
        Say(stderr, "brenna-web: %s needs a value of 1 to 4096 bytes\n%s", a.c_str(), kUsage);
        *status = kBadArguments;
        return false;
      }
      continue;
    }
    Say(stderr, "brenna-web: cannot take the argument '%.200s'\n%s", a.c_str(), kUsage);
    *status = kBadArguments;
    return false;
  }
  const char* clash =
      args->site && !args->archivePath.empty()
          ? "--site reads no archive: cannot take --archive with it"
      : args->Company() && (args->site || !args->archivePath.empty())
          ? "--company reads the company's database: cannot take --site or --archive "
            "with it"
      : !args->company.empty() && !args->companyFile.empty()
          ? "--company and --company-file cannot both be given"
          : nullptr;
  if (clash != nullptr) {
    Say(stderr, "brenna-web: %s\n%s", clash, kUsage);
    *status = kBadArguments;
    return false;
  }
  return true;
}

// The files beside the archive that let browsers in from the LAN: the
// access token, the pairing codes waiting, the sessions of paired
// browsers. A site's overview and the company's view have their own, so
// that each may run on a computer beside a line's brenna-web.
struct AccessFiles {
  std::string token, pairing, sessions;
};

AccessFiles AccessFilesFor(const Arguments& args) {
  const std::string token = web::DefaultTokenPath();
  if (!args.site && !args.Company())
    return {token, web::PairingPathBeside(token), web::SessionsPathBeside(token)};
  const std::string folder = ParentDirectory(token);
  const std::string kind = args.site ? "site-" : "company-";
  return {JoinPath(folder, kind + "token"), JoinPath(folder, kind + "pairing"),
          JoinPath(folder, kind + "sessions")};
}

// The settings, the archive (or a site's lines) and, beyond the loopback,
// the access token (*tokenMade when it is new). False when the program ends
// here, with *status.
bool MakeServerOptions(const Arguments& args, web::ServerOptions* options, web::SiteSettings* site,
                       bool* tokenMade, int* status) {
  std::vector<std::string> warnings;
  options->settings = web::ReadWebSettings(args.configPath, &warnings);
  if (args.site) {
    *site = web::ReadSiteSettings(args.configPath, &warnings);
    options->settings.listen = site->listen;
    // The overview is no line, even beside one on its computer.
    options->settings.lineName.clear();
    options->sessionCookie = web::kSiteSessionCookie;
  }
  if (args.Company()) {
    options->settings.listen = {"127.0.0.1", web::kDefaultCompanyPort};
    options->settings.lineName.clear();
    options->sessionCookie = web::kCompanySessionCookie;
  }
  options->vehicles = reports::ReadVehicleRule(args.configPath, &warnings);
  for (const std::string& w : warnings) Say(stderr, "brenna-web: %s\n", w.c_str());
  if (!args.listenText.empty() &&
      !web::ParseListenAddress(args.listenText, &options->settings.listen)) {
    Say(stderr, "brenna-web: --listen %s is no address and port such as 0.0.0.0:10088\n",
        args.listenText.c_str());
    *status = kBadArguments;
    return false;
  }
  options->liveLifetime = std::chrono::seconds(options->settings.liveReconnectSeconds);
  if (args.site) {
    bool tokens = false;
    for (const web::SiteLine& line : site->lines) tokens |= !line.token.empty();
    const std::string exposed = tokens ? web::TokensExposed(args.configPath) : std::string();
    if (!exposed.empty()) {
      Say(stderr,
          "brenna-web: the settings file %s holds the lines' access tokens and %s: %s and "
          "check that the tokens have not gone astray\n",
          args.configPath.c_str(), exposed.c_str(), private_file_io::MakePrivateHint());
      *status = kCannotServe;
      return false;
    }
  } else if (!args.Company()) {
    options->archivePath =
        args.archivePath.empty() ? archive::DefaultArchivePath() : args.archivePath;
    if (options->archivePath.empty()) {
      Say(stderr, "brenna-web: no home directory, so no archive to read: give --archive\n");
      *status = kCannotServe;
      return false;
    }
  }
  if (!options->settings.listen.Loopback()) {
    std::string error;
    const AccessFiles files = AccessFilesFor(args);
    options->pairingPath = files.pairing;
    options->sessionsPath = files.sessions;
    if (!web::LoadOrMakeToken(files.token, &options->token, tokenMade, &error)) {
      Say(stderr, "brenna-web: %s; not listening on %s without it\n", error.c_str(),
          options->settings.listen.Text().c_str());
      *status = kCannotServe;
      return false;
    }
  }
  return true;
}

// How a further pairing link is asked for.
const char* PairCommand(const Arguments& args) {
  return args.site        ? "brenna-web --site --pair"
         : args.Company() ? "brenna-web --company-file FILE --pair"
                          : "brenna-web --pair";
}

// A new pairing code and its links, one per address of the PC; false with
// the reason on standard error.
bool PrintPairingLinks(const Arguments& args, const web::ServerOptions& options) {
  // Whether what is printed can be read by no one else: a terminal, a
  // pipe, or a file only its owner may read (scripts/run.sh keeps
  // brenna-web's log so). A pairing link written into a file others can
  // read would let them in.
  if (!private_file_io::StandardOutputPrivate()) {
    Say(stdout,
        "brenna-web: no pairing link printed: standard output is a file others may read; run "
        "%s in a terminal\n",
        PairCommand(args));
    return false;
  }
  std::string code, error;
  const std::int64_t now = archive::NowUtcMs();
  if (!web::AddPairingCode(options.pairingPath, options.token, now, &code, &error)) {
    Say(stderr, "brenna-web: %s\n", error.c_str());
    return false;
  }
  Say(stdout,
      "brenna-web: open this link in the browser of one screen to pair it; it works once, until "
      "%s (%s gives one for each further screen):\n",
      archive::ToLocal(now + web::kPairingLifetimeMs).text.substr(0, 16).c_str(),
      PairCommand(args));
  for (const std::string& host : LanHosts(options.settings.listen)) {
    web::ListenAddress a = options.settings.listen;
    a.host = host;
    Say(stdout, "  http://%s/pair?code=%s\n", a.Text().c_str(), code.c_str());
  }
  return true;
}

// Where the line (the site's overview, the company's view: `what`, from
// `from`) is served; a new token's first pairing link.
void SayWhereServing(const Arguments& args, const web::ServerOptions& options,
                     const std::string& what, const std::string& from, bool tokenMade) {
  const web::ListenAddress& at = options.settings.listen;
  if (at.Loopback()) {
    Say(stdout, "brenna-web: serving %s at http://%s/%s\n", what.c_str(), at.Text().c_str(),
        from.c_str());
  } else {
    const std::string tokenPath = AccessFilesFor(args).token;
    Say(stdout, "brenna-web: serving %s on %s%s; a browser on the LAN must be paired once\n",
        what.c_str(), at.Text().c_str(), from.c_str());
    if (tokenMade) {
      Say(stdout, "brenna-web: a new access token was made (%s)\n", tokenPath.c_str());
      PrintPairingLinks(args, options);
    } else {
      Say(stdout, "brenna-web: the access token is in %s; %s gives a link that pairs a browser\n",
          tokenPath.c_str(), PairCommand(args));
    }
  }
  std::fflush(stdout);
}

// --pair: a link for one more browser, for the brenna-web that serves (or
// will) with these settings.
int Pair(const Arguments& args, const web::ServerOptions& options) {
  if (options.settings.listen.Loopback()) {
    Say(stderr,
        "brenna-web: nothing to pair: the settings listen on %s, this computer only; "
        "set Listen=0.0.0.0:PORT for the LAN (docs/web-view.md)\n",
        options.settings.listen.Text().c_str());
    return kCannotServe;
  }
  const bool printed = PrintPairingLinks(args, options);
  std::fflush(stdout);
  return printed ? kDone : kCannotServe;
}

// The settings' alerts (warnings said).
web::AlertSettings AlertSettingsOf(const Arguments& args) {
  std::vector<std::string> warnings;
  const web::AlertSettings alerts = web::ReadAlertSettings(
      web::SettingsText(args.configPath, &warnings), args.configPath, &warnings);
  for (const std::string& w : warnings) Say(stderr, "brenna-web: %s\n", w.c_str());
  return alerts;
}

// --test-alert: one message to the webhook, tried three times.
int TestAlert(const Arguments& args, const web::ServerOptions& options) {
  const web::AlertSettings alerts = AlertSettingsOf(args);
  if (alerts.webhook.empty()) {
    Say(stderr, "brenna-web: no Webhook in section [Alerts] of %s: nowhere to send alerts\n",
        args.configPath.c_str());
    return kCannotServe;
  }
  const std::string line =
      options.settings.lineName.empty() ? std::string("检测线") : options.settings.lineName;
  const std::string body = web::AlertBody(
      "【" + line + "】这是一条测试告警（brenna-web --test-alert）：告警能送到这里。");
  std::string why;
  for (int tries = 1; tries <= 3; ++tries) {
    if (web::PostAlert(alerts.webhook, body, &why)) {
      Say(stdout, "brenna-web: the test alert was taken by %s\n",
          web::WebhookHost(alerts.webhook).c_str());
      return kDone;
    }
    if (tries < 3) std::this_thread::sleep_for(std::chrono::seconds(2));
  }
  Say(stderr, "brenna-web: the test alert could not be sent to %s (%s)\n",
      web::WebhookHost(alerts.webhook).c_str(), why.c_str());
  return kCannotServe;
}

// Serves until a stop signal comes (`stopping`: its handlers are there):
// the signal, or 0. `letGo` ends the feeds, and with them every live page.
int ServeUntilStopped(web::WebServer& server, const std::function<void()>& letGo, bool stopping) {
  int signal = 0;
  std::atomic<bool> serving{true};
  std::thread stopper([&] {
    while (serving.load()) {
      if (!stopping || !signal_pipe::WaitFor(200)) {
        if (!stopping) std::this_thread::sleep_for(std::chrono::milliseconds(200));
        continue;
      }
      signal = signal_pipe::Take();
      letGo();
      server.Stop();
      return;
    }
  });
  server.Serve();
  serving = false;
  letGo();
  stopper.join();
  return signal;
}

// Serves the line, a site's overview or the company's view until a stop
// signal comes.
int Serve(const Arguments& args, web::ServerOptions options, const web::SiteSettings& site,
          bool tokenMade) {
#ifdef SIGPIPE
  // A page gone mid-answer is a failed write, not the end of the program.
  std::signal(SIGPIPE, SIG_IGN);
#endif
  const bool stopping = signal_pipe::Install() >= 0;

  int status = kDone;
  web::CompanyMode company;
  std::string error;
  if (args.Company()) {
    if (!company.Take(args.company, args.companyFile, &error, &status)) {
      Say(stderr, "brenna-web: %s\n", error.c_str());
      return status;
    }
    company.Serve(&options);
  }
  // A site's overview and the company's view read no archive: their line
  // feed is never started.
  web::LiveFeed feed({options.archivePath, std::chrono::milliseconds(25), nullptr},
                     {options.settings.lineName, std::chrono::minutes(options.settings.idleMinutes),
                      options.vehicles});
  web::SiteFeed overview({site.lines, web::WatchTiming(), nullptr});
  // A line's alerts go out on threads of their own (a site's overview and
  // the company's view send none).
  const web::AlertSettings alerts =
      args.site || args.Company() ? web::AlertSettings() : AlertSettingsOf(args);
  web::AlertSender sender({alerts.webhook, std::chrono::milliseconds(2000),
                           std::chrono::milliseconds(300000), std::chrono::milliseconds(3600000),
                           [](const std::string& line) {
                             // UTF-8 already, on every system.
                             std::fprintf(stdout, "brenna-web: %s\n", line.c_str());
                             std::fflush(stdout);
                           }});
  web::AlertWatch watch({alerts, options.settings.lineName, options.archivePath,
                         std::chrono::milliseconds(1000), nullptr},
                        feed, sender);
  if (args.site) options.site = &overview;
  web::WebServer server(options, feed);
  if (!server.SessionsProblem().empty())
    Say(stderr, "brenna-web: %s\n", server.SessionsProblem().c_str());
  if (!server.Bind(&error)) {
    Say(stderr, "brenna-web: %s\n", error.c_str());
    return kCannotServe;
  }
  if (args.site) {
    overview.Start();
  } else if (args.Company()) {
    company.Start();
  } else {
    feed.Start();
    sender.Start();
    watch.Start();
  }
  SayWhereServing(args, options,
                  args.site ? "the overview of " + std::to_string(site.lines.size()) + " lines"
                  : args.Company() ? "the company's view"
                                   : "the line",
                  args.site        ? ""
                  : args.Company() ? " (company database " + company.Where() + ")"
                                   : " (archive " + options.archivePath + ")",
                  tokenMade);

  const int signal = ServeUntilStopped(
      server,
      [&] {
        watch.Stop();
        sender.Stop();
        feed.Stop();
        overview.Stop();
        company.Stop();
      },
      stopping);
  Say(stdout, "brenna-web: stopped%s%s\n", signal ? " by " : "",
      signal ? signal_pipe::Name(signal) : "");
  return kDone;
}

}  // namespace

int main(int argc, char** argv) {
  // The same bytes on every system (no carriage returns added on Windows);
  // paths and arguments are in the system's encoding, as the files take them.
  const Utf8Output output;
  std::vector<std::string> argList;
  if (!SystemArguments(argc, argv, &argList)) return kBadArguments;
  Arguments args;
  int status = kDone;
  if (!ReadArguments(argList, &args, &status)) return status;
  web::ServerOptions options;
  web::SiteSettings site;
  bool tokenMade = false;
  if (!MakeServerOptions(args, &options, &site, &tokenMade, &status)) return status;
  if (args.pair) return Pair(args, options);
  if (args.testAlert) return TestAlert(args, options);
  return Serve(args, options, site, tokenMade);
}

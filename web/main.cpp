// brenna-web - the line in a browser (docs/web-view.md): the live panel and
// the archive's results, read from the archive the monitor keeps. It never
// writes the archive, never opens the spool directory and never talks to
// the monitor: a fault here cannot reach the window.
//
//   brenna-web [--config FILE] [--archive FILE] [--listen ADDRESS:PORT]
//   brenna-web [--config FILE] [--listen ADDRESS:PORT] --pair
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "archive/ArchiveFormat.h"
#include "archive/ArchiveTime.h"
#include "platform/SignalPipe.h"
#include "web/AccessToken.h"
#include "web/LiveFeed.h"
#include "web/Pairing.h"
#include "web/Sessions.h"
#include "web/WebServer.h"
#include "web/WebSettings.h"

namespace {

constexpr int kDone = 0;
constexpr int kCannotServe = 1;
constexpr int kBadArguments = 2;

const char kUsage[] =
    "usage: brenna-web [--config FILE] [--archive FILE] [--listen ADDRESS:PORT]\n"
    "       brenna-web [--config FILE] [--listen ADDRESS:PORT] --pair\n"
    "  Serves the monitor's live panel and its archive to browsers (docs/web-view.md).\n"
    "  --pair                 prints a link that pairs one more browser on the LAN, once,\n"
    "                         within an hour (also while brenna-web serves)\n"
    "  --config FILE          settings (default $XDG_CONFIG_HOME/brennacenter/brenna-web.ini)\n"
    "  --archive FILE         the archive to read (default: the monitor's, of this user)\n"
    "  --listen ADDRESS:PORT  where to listen, over the settings' Listen (default "
    "127.0.0.1:10088;\n"
    "                         any address but the loopback's needs the access token)\n";

// The addresses a browser elsewhere on the LAN can reach us by.
std::vector<std::string> LanHosts(const web::ListenAddress& listen) {
  if (listen.host != "0.0.0.0" && listen.host != "::") return {listen.host};
  std::vector<std::string> hosts;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) == 0) {
    for (ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
      if (a->ifa_addr == nullptr || a->ifa_addr->sa_family != AF_INET) continue;
      if ((a->ifa_flags & IFF_LOOPBACK) || !(a->ifa_flags & IFF_UP)) continue;
      char text[INET_ADDRSTRLEN];
      const auto* in = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
      if (::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text)) hosts.emplace_back(text);
    }
    ::freeifaddrs(list);
  }
  if (hosts.empty()) hosts.push_back("<this computer's address>");
  return hosts;
}

// What the command line asks for.
struct Arguments {
  std::string configPath = web::DefaultSettingsPath();
  std::string archivePath;
  std::string listenText;
  bool pair = false;
};

// False when the program ends here, with *status.
bool ReadArguments(int argc, char** argv, Arguments* args, int* status) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "-h" || a == "--help") {
      std::fputs(kUsage, stdout);
      *status = kDone;
      return false;
    }
    if (a == "--pair") {
      args->pair = true;
      continue;
    }
    if (a == "--version") {
      std::printf("brenna-web %s\n", BRENNA_VERSION);
      *status = kDone;
      return false;
    }
    if ((a == "--config" || a == "--archive" || a == "--listen") && i + 1 < argc) {
      std::string& target = a == "--config"    ? args->configPath
                            : a == "--archive" ? args->archivePath
                                               : args->listenText;
      target = argv[++i];
      if (target.empty() || target.size() > 4096) {
        std::fprintf(stderr, "brenna-web: %s needs a value of 1 to 4096 bytes\n%s", a.c_str(),
                     kUsage);
        *status = kBadArguments;
        return false;
      }
      continue;
    }
    std::fprintf(stderr, "brenna-web: cannot take the argument '%.200s'\n%s", a.c_str(), kUsage);
    *status = kBadArguments;
    return false;
  }
  return true;
}

// The settings, the archive and, beyond the loopback, the access token
// (*tokenMade when it is new). False when the program ends here, with
// *status.
bool MakeServerOptions(const Arguments& args, web::ServerOptions* options, bool* tokenMade,
                       int* status) {
  std::vector<std::string> warnings;
  options->settings = web::ReadWebSettings(args.configPath, &warnings);
  for (const std::string& w : warnings) std::fprintf(stderr, "brenna-web: %s\n", w.c_str());
  if (!args.listenText.empty() &&
      !web::ParseListenAddress(args.listenText, &options->settings.listen)) {
    std::fprintf(stderr, "brenna-web: --listen %s is no address and port such as 0.0.0.0:10088\n",
                 args.listenText.c_str());
    *status = kBadArguments;
    return false;
  }
  options->liveLifetime = std::chrono::seconds(options->settings.liveReconnectSeconds);
  options->archivePath =
      args.archivePath.empty() ? archive::DefaultArchivePath() : args.archivePath;
  if (options->archivePath.empty()) {
    std::fprintf(stderr, "brenna-web: no home directory, so no archive to read: give --archive\n");
    *status = kCannotServe;
    return false;
  }
  if (!options->settings.listen.Loopback()) {
    std::string error;
    const std::string tokenPath = web::DefaultTokenPath();
    options->pairingPath = web::PairingPathBeside(tokenPath);
    options->sessionsPath = web::SessionsPathBeside(tokenPath);
    if (!web::LoadOrMakeToken(tokenPath, &options->token, tokenMade, &error)) {
      std::fprintf(stderr, "brenna-web: %s; not listening on %s without it\n", error.c_str(),
                   options->settings.listen.Text().c_str());
      *status = kCannotServe;
      return false;
    }
  }
  return true;
}

// Whether what is printed can be read by no one else: a terminal, a pipe,
// or a file only its owner may read (scripts/run.sh keeps brenna-web's log
// so). A pairing link written into a file others can read would let them
// in.
bool PrivateOutput() {
  struct stat st {};
  if (::fstat(STDOUT_FILENO, &st) != 0) return false;
  if (!S_ISREG(st.st_mode)) return true;
  return (st.st_mode & 077) == 0;
}

// A new pairing code and its links, one per address of the PC; false with
// the reason on standard error.
bool PrintPairingLinks(const web::ServerOptions& options) {
  if (!PrivateOutput()) {
    std::printf(
        "brenna-web: no pairing link printed: standard output is a file others may read; run "
        "brenna-web --pair in a terminal\n");
    return false;
  }
  std::string code, error;
  const std::int64_t now = archive::NowUtcMs();
  if (!web::AddPairingCode(options.pairingPath, options.token, now, &code, &error)) {
    std::fprintf(stderr, "brenna-web: %s\n", error.c_str());
    return false;
  }
  std::printf(
      "brenna-web: open this link in the browser of one screen to pair it; it works once, until "
      "%s (brenna-web --pair gives one for each further screen):\n",
      archive::ToLocal(now + web::kPairingLifetimeMs).text.substr(0, 16).c_str());
  for (const std::string& host : LanHosts(options.settings.listen)) {
    web::ListenAddress a = options.settings.listen;
    a.host = host;
    std::printf("  http://%s/pair?code=%s\n", a.Text().c_str(), code.c_str());
  }
  return true;
}

// Where the line is served; a new token's first pairing link.
void SayWhereServing(const web::ServerOptions& options, bool tokenMade) {
  const web::ListenAddress& at = options.settings.listen;
  if (at.Loopback()) {
    std::printf("brenna-web: serving the line at http://%s/ (archive %s)\n", at.Text().c_str(),
                options.archivePath.c_str());
  } else {
    std::printf(
        "brenna-web: serving the line on %s (archive %s); a browser on the LAN must be paired "
        "once\n",
        at.Text().c_str(), options.archivePath.c_str());
    if (tokenMade) {
      std::printf("brenna-web: a new access token was made (%s)\n",
                  web::DefaultTokenPath().c_str());
      PrintPairingLinks(options);
    } else {
      std::printf(
          "brenna-web: the access token is in %s; brenna-web --pair gives a link that pairs a "
          "browser\n",
          web::DefaultTokenPath().c_str());
    }
  }
  std::fflush(stdout);
}

// --pair: a link for one more browser, for the brenna-web that serves (or
// will) with these settings.
int Pair(const web::ServerOptions& options) {
  if (options.settings.listen.Loopback()) {
    std::fprintf(stderr,
                 "brenna-web: nothing to pair: the settings listen on %s, this computer only; "
                 "set Listen=0.0.0.0:PORT for the LAN (docs/web-view.md)\n",
                 options.settings.listen.Text().c_str());
    return kCannotServe;
  }
  const bool printed = PrintPairingLinks(options);
  std::fflush(stdout);
  return printed ? kDone : kCannotServe;
}

// Serves until a stop signal comes on stopFd: the signal, or 0.
int ServeUntilStopped(web::WebServer& server, web::LiveFeed& feed, int stopFd) {
  int signal = 0;
  std::atomic<bool> serving{true};
  std::thread stopper([&] {
    pollfd p{stopFd, POLLIN, 0};
    while (serving.load()) {
      if (stopFd < 0 || ::poll(&p, 1, 200) <= 0) {
        if (stopFd < 0) std::this_thread::sleep_for(std::chrono::milliseconds(200));
        continue;
      }
      signal = signal_pipe::Take();
      feed.Stop();  // every live page is let go
      server.Stop();
      return;
    }
  });
  server.Serve();
  serving = false;
  feed.Stop();
  stopper.join();
  return signal;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments args;
  int status = kDone;
  if (!ReadArguments(argc, argv, &args, &status)) return status;
  web::ServerOptions options;
  bool tokenMade = false;
  if (!MakeServerOptions(args, &options, &tokenMade, &status)) return status;
  if (args.pair) return Pair(options);

  // A page gone mid-answer is a failed write, not the end of the program.
  ::signal(SIGPIPE, SIG_IGN);
  const int stopFd = signal_pipe::Install();

  web::LiveFeed feed(
      {options.archivePath, std::chrono::milliseconds(25), nullptr},
      {options.settings.lineName, std::chrono::minutes(options.settings.idleMinutes)});
  web::WebServer server(options, feed);
  if (!server.SessionsProblem().empty())
    std::fprintf(stderr, "brenna-web: %s\n", server.SessionsProblem().c_str());
  std::string error;
  if (!server.Bind(&error)) {
    std::fprintf(stderr, "brenna-web: %s\n", error.c_str());
    return kCannotServe;
  }
  feed.Start();
  SayWhereServing(options, tokenMade);

  const int signal = ServeUntilStopped(server, feed, stopFd);
  std::printf("brenna-web: stopped%s%s\n", signal ? " by " : "",
              signal ? signal_pipe::Name(signal) : "");
  return kDone;
}

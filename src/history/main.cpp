// brenna-history - what the monitor showed, read from its archive
// (docs/archive.md). Reads only; never holds up the monitor's writer.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "archive/ArchiveFormat.h"
#include "archive/ArchiveReader.h"
#include "archive/ArchiveTime.h"
#include "history/HistoryOptions.h"
#include "history/HistoryReport.h"
#include "platform/SystemText.h"
#include "reports/SettingsFile.h"
#include "reports/VehicleKey.h"

int main(int argc, char** argv) {
  // Arguments are read and texts printed as UTF-8 on every system.
  const Utf8Output output;
  const std::vector<std::string> args = Utf8Arguments(argc, argv);
  history::HistoryOptions options;
  std::string error;
  if (!history::ParseHistoryOptions(args, archive::NowUtcMs(), &options, &error)) {
    std::fprintf(stderr, "brenna-history: %s\n%s", error.c_str(), history::HistoryUsage());
    return history::kBadArguments;
  }
  if (options.command == history::Command::kHelp) {
    std::fputs(history::HistoryUsage(), stdout);
    return history::kDone;
  }
  std::string path;
  if (options.archivePath.empty()) {
    path = archive::DefaultArchivePath();
  } else if (!SystemFromUtf8(options.archivePath, &path)) {
    std::fprintf(stderr, "brenna-history: --archive '%s' cannot be named on this system\n%s",
                 options.archivePath.c_str(), history::HistoryUsage());
    return history::kBadArguments;
  }
  // How a transfer name names its vehicle: the site's rule, as brenna-web
  // reads it.
  std::string settings = reports::DefaultSettingsFile();
  if (!options.configPath.empty() && !SystemFromUtf8(options.configPath, &settings)) {
    std::fprintf(stderr, "brenna-history: --config '%s' cannot be named on this system\n%s",
                 options.configPath.c_str(), history::HistoryUsage());
    return history::kBadArguments;
  }
  std::vector<std::string> warnings;
  const reports::VehicleRule rule = reports::ReadVehicleRule(settings, &warnings);
  for (const std::string& w : warnings)
    std::fprintf(stderr, "brenna-history: %s\n", Utf8FromSystem(w).c_str());
  const auto reader = std::make_shared<archive::ArchiveReader>();
  reports::TellVehiclesBy(rule, reader.get());
  if (!reader->Open(path, &error)) {
    // The message names the path in the system's encoding.
    std::fprintf(stderr, "brenna-history: %s\n", Utf8FromSystem(error).c_str());
    return history::kUnreadable;
  }
  const int status = history::RunReport(reader, options, rule, stdout, &error);
  // What could not be written is said, not left for a file found short.
  errno = 0;
  if ((std::fflush(stdout) != 0 || std::ferror(stdout)) && status == history::kDone) {
    std::fprintf(stderr, "brenna-history: the output could not be written (%s)\n",
                 errno != 0 ? std::strerror(errno) : "a write failed");
    return history::kUnreadable;
  }
  if (status != history::kDone) std::fprintf(stderr, "brenna-history: %s\n", error.c_str());
  return status;
}

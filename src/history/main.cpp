// brenna-history - what the monitor showed, read from its archive
// (docs/archive.md). Reads only; never holds up the monitor's writer.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "archive/ArchiveFormat.h"
#include "archive/ArchiveReader.h"
#include "archive/ArchiveTime.h"
#include "history/HistoryOptions.h"
#include "history/HistoryReport.h"
#include "platform/SystemText.h"

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
  const auto reader = std::make_shared<archive::ArchiveReader>();
  if (!reader->Open(path, &error)) {
    // The message names the path in the system's encoding.
    std::fprintf(stderr, "brenna-history: %s\n", Utf8FromSystem(error).c_str());
    return history::kUnreadable;
  }
  const int status = history::RunReport(reader, options, stdout, &error);
  if (std::fflush(stdout) != 0 && status == history::kDone) return history::kUnreadable;
  if (status != history::kDone) std::fprintf(stderr, "brenna-history: %s\n", error.c_str());
  return status;
}

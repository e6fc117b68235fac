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

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
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
  const std::string path =
      options.archivePath.empty() ? archive::DefaultArchivePath() : options.archivePath;
  const auto reader = std::make_shared<archive::ArchiveReader>();
  if (!reader->Open(path, &error)) {
    std::fprintf(stderr, "brenna-history: %s\n", error.c_str());
    return history::kUnreadable;
  }
  const int status = history::RunReport(reader, options, stdout, &error);
  if (std::fflush(stdout) != 0 && status == history::kDone) return history::kUnreadable;
  if (status != history::kDone) std::fprintf(stderr, "brenna-history: %s\n", error.c_str());
  return status;
}

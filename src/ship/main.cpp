// brenna-ship - the line's archive into the company's PostgreSQL
// (docs/company.md): everything not yet there, oldest first, then every
// new result as the monitor archives it; and the administrator's commands
// that make the company schema and the lines' and viewers' roles.
#include <cstdio>
#include <string>
#include <vector>

#include "archive/ArchiveFormat.h"
#include "archive/ShipMark.h"
#include "journal/Journal.h"
#include "journal/JournalWriter.h"
#include "journal/RunLines.h"
#include "platform/ArchiveFolder.h"
#include "platform/PrivateFileIo.h"
#include "platform/SignalPipe.h"
#include "platform/SystemText.h"
#include "ship/CompanySchema.h"
#include "ship/Conninfo.h"
#include "ship/Enrolment.h"
#include "ship/ShipOptions.h"
#include "ship/Shipper.h"

#ifndef BRENNA_VERSION
#define BRENNA_VERSION "unknown"
#endif

namespace {

using namespace ship;

// A connection string's file is read up to this.
constexpr std::size_t kMaxConninfoFile = 4096;

int Fail(int status, const std::string& message) {
  std::fprintf(stderr, "brenna-ship: %s\n", Utf8FromSystem(message).c_str());
  return status;
}

// The archive's path in the system's encoding; empty with *status set
// when there is none.
std::string ArchivePath(const ShipOptions& o, int* status) {
  std::string path;
  if (o.archivePath.empty()) {
    path = archive::DefaultArchivePath();
    if (path.empty()) *status = Fail(kCannot, "no home directory, so no archive: give --archive");
  } else if (!SystemFromUtf8(o.archivePath, &path)) {
    *status = Fail(kBadArguments, "--archive '" + o.archivePath + "' cannot be named here");
  }
  return path;
}

// A --db-file to be made private (--save-db-file): any file, as long as
// it is small; false with the reason in *why.
bool ReadAnyFile(const std::string& path, std::string* text, std::string* why) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    *why = "cannot be read";
    return false;
  }
  char buffer[kMaxConninfoFile + 1];
  const std::size_t n = std::fread(buffer, 1, sizeof buffer, file);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed || n > kMaxConninfoFile) {
    *why =
        failed ? "cannot be read" : "is larger than " + std::to_string(kMaxConninfoFile) + " bytes";
    return false;
  }
  text->assign(buffer, n);
  return true;
}

// The connection string as --db or --db-file gives it; false with *status.
bool ConninfoText(const ShipOptions& o, std::string* text, int* status) {
  *text = o.conninfo;
  if (o.conninfoFile.empty()) return true;
  std::string why, path;
  if (!SystemFromUtf8(o.conninfoFile, &path)) {
    *status = Fail(kBadArguments, "--db-file '" + o.conninfoFile + "' cannot be named here");
    return false;
  }
  // It holds a password: its owner's alone, as brenna-web's token; but
  // for --save-db-file, which makes it so.
  const bool read = o.command == Command::kSaveDbFile
                        ? ReadAnyFile(path, text, &why)
                        : ReadConninfoFile(path,
                                           "give the line a new string (brenna-ship --enrol "
                                           "again)",
                                           text, &why);
  if (!read) {
    *status = Fail(kCannot, "the connection string file " + path + " " + why);
    return false;
  }
  while (!text->empty() && (text->back() == '\n' || text->back() == '\r' || text->back() == ' '))
    text->pop_back();
  return true;
}

// The string, checked, into a file its owner's alone: how a PC is given
// its line's string (the Windows setup does it so).
int SaveDbFile(const ShipOptions& o, const std::string& text, const Conninfo& info) {
  std::string path, why;
  if (!SystemFromUtf8(o.savePath, &path))
    return Fail(kBadArguments, "--save-db-file '" + o.savePath + "' cannot be named here");
  if (!private_file_io::ReplacePrivate(path, text + "\n", &why)) return Fail(kCannot, why);
  std::printf(
      "brenna-ship: the connection string of %s to %s is kept in %s, readable by you alone\n",
      info.Get("user").c_str(), info.Get("host").c_str(), Utf8FromSystem(path).c_str());
  return kDone;
}

int StopShipping(const ShipOptions& o) {
  int status = kDone;
  const std::string path = ArchivePath(o, &status);
  if (path.empty()) return status;
  archive::ShipMark mark;
  std::string why;
  if (!mark.Open(path, &why) || !mark.Clear(&why)) return Fail(kCannot, why);
  std::printf(
      "brenna-ship: the archive %s is shipped no more; its trim keeps to its own limits again "
      "(brenna-ship started later ships what is still there)\n",
      Utf8FromSystem(path).c_str());
  return kDone;
}

int Init(const Conninfo& admin) {
  PgConnection db;
  std::string why;
  if (!db.Connect(admin, &why)) return Fail(kCannot, "cannot connect: " + why);
  const PgResult encoding = db.Exec("SHOW server_encoding");
  if (!encoding.ok() || encoding.Text(0, 0) != "UTF8")
    return Fail(kCannot, "the database's encoding is " + encoding.Text(0, 0) +
                             ", not UTF8: make it with createdb -E UTF8 -T template0");
  if (db.ServerVersion() < 120000)
    return Fail(kCannot, "PostgreSQL " + std::to_string(db.ServerVersion() / 10000) +
                             " is too old: 12 or later (Debian 12 has 15)");
  int from = 0;
  if (!InitCompanySchema(db, &from, &why)) return Fail(kCannot, why);
  const std::string how = from == 0                      ? "made now"
                          : from < kCompanySchemaVersion ? "upgraded from " + std::to_string(from)
                                                         : "already";
  std::printf("brenna-ship: the company schema brenna on %s is at version %d (%s)\n",
              db.Server().c_str(), kCompanySchemaVersion, how.c_str());
  return kDone;
}

int Enrol(const ShipOptions& o, const Conninfo& admin) {
  // The string holds a password: never into a file others may read.
  if (!private_file_io::StandardOutputPrivate())
    return Fail(kCannot,
                "standard output is a file others may read: nothing enrolled; write it to a "
                "terminal, a pipe, or a file only you may read (umask 077)");
  PgConnection db;
  std::string why;
  if (!db.Connect(admin, &why)) return Fail(kCannot, "cannot connect: " + why);
  Enrolled e;
  const bool done = o.command == Command::kEnrol ? EnrolLine(db, admin, o.site, o.line, &e, &why)
                                                 : EnrolViewer(db, admin, o.viewer, &e, &why);
  if (!done) return Fail(kCannot, why);
  std::printf("%s\n", e.conninfo.c_str());
  std::fflush(stdout);
  std::fprintf(stderr, "brenna-ship: %s %s%s\n", e.role.c_str(),
               e.again ? "was enrolled before: it has a new password, the old string no longer "
                         "connects"
                       : "enrolled",
               o.command == Command::kEnrol ? "; give the line's PC the string above" : "");
  return kDone;
}

int Ship(const ShipOptions& o, const Conninfo& info) {
  int status = kDone;
  const std::string path = ArchivePath(o, &status);
  if (path.empty()) return status;
  journal::JournalWriter::Options writer;
  writer.directory = ArchiveFolder();
  writer.fileName = "brenna-ship.log";
  journal::ProcessJournalWriter().Start(writer);
  journal::SetRouter(&journal::RouteToWriter);
  for (int c = 0; c < journal::kCategoryCount; ++c)
    journal::SetThreshold(static_cast<journal::Category>(c), journal::Level::kInfo);
  journal::WriteStartLines(BRENNA_VERSION, "brenna-ship");
  if (!info.SystemRootsSaid().empty())
    journal::Write(
        info.Get("sslrootcert").empty() ? journal::Level::kWarning : journal::Level::kInfo,
        journal::Category::kShip, "%s", info.SystemRootsSaid().c_str());

  const bool stoppable = signal_pipe::Install() >= 0;
  ShipperOptions options{info, path, o.once, o.batch, BRENNA_VERSION, nullptr};
  if (stoppable) options.stopWithin = [](int ms) { return signal_pipe::WaitFor(ms); };
  status = Shipper(options).Run();
  const int signal = signal_pipe::Take();
  journal::FlushAll();
  journal::WriteAlways(journal::Level::kInfo, journal::Category::kStart,
                       std::string("brenna-ship stopped") +
                           (signal != 0       ? std::string(" by ") + signal_pipe::Name(signal)
                            : status == kDone ? std::string()
                                              : std::string(" (exit status 1)")));
  journal::ProcessJournalWriter().Drain();
  journal::SetRouter(nullptr);
  journal::ProcessJournalWriter().Stop();
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  const Utf8Output output;
  const std::vector<std::string> args = Utf8Arguments(argc, argv);
  ShipOptions o;
  std::string error;
  if (!ParseShipOptions(args, &o, &error)) {
    std::fprintf(stderr, "brenna-ship: %s\n%s", error.c_str(), ShipUsage());
    return kBadArguments;
  }
  if (o.command == Command::kHelp || o.command == Command::kVersion) {
    if (o.command == Command::kHelp)
      std::fputs(ShipUsage(), stdout);
    else
      std::printf("brenna-ship %s\n", BRENNA_VERSION);
    return kDone;
  }
  if (o.command == Command::kStopShipping) return StopShipping(o);
  Conninfo info;
  int status = kDone;
  std::string text;
  if (!ConninfoText(o, &text, &status)) return status;
  if (!Conninfo::Parse(text, &info, &error)) return Fail(kBadArguments, error);
  switch (o.command) {
    case Command::kSaveDbFile:
      return SaveDbFile(o, text, info);
    case Command::kInit:
      return Init(info);
    case Command::kEnrol:
    case Command::kEnrolViewer:
      return Enrol(o, info);
    default:
      return Ship(o, info);
  }
}

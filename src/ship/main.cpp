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

// The connection string from --db or --db-file; false with *status.
bool ReadConninfo(const ShipOptions& o, Conninfo* out, int* status) {
  std::string text = o.conninfo, why, path;
  if (!o.conninfoFile.empty()) {
    if (!SystemFromUtf8(o.conninfoFile, &path)) {
      *status = Fail(kBadArguments, "--db-file '" + o.conninfoFile + "' cannot be named here");
      return false;
    }
    if (!ReadConninfoFile(path, "give the line a new string (brenna-ship --enrol again)", &text,
                          &why)) {
      *status = Fail(kCannot, "the connection string file " + path + " " + why);
      return false;
    }
  }
  if (!Conninfo::Parse(text, out, &why)) {
    *status = Fail(kBadArguments, why);
    return false;
  }
  return true;
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
  if (!ReadConninfo(o, &info, &status)) return status;
  switch (o.command) {
    case Command::kInit:
      return Init(info);
    case Command::kEnrol:
    case Command::kEnrolViewer:
      return Enrol(o, info);
    default:
      return Ship(o, info);
  }
}

#include "ship/ShipOptions.h"

#include <cstdlib>

#include "archive/ArchiveFormat.h"

namespace ship {

namespace {

constexpr std::size_t kMaxArgument = 4096;

bool IsName(const std::string& text) {
  if (text.empty() || text.size() > kMaxName) return false;
  for (char c : text) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '-' || c == '_';
    if (!ok) return false;
  }
  return true;
}

const char* CommandName(Command c) {
  switch (c) {
    case Command::kInit:
      return "--init";
    case Command::kEnrol:
      return "--enrol";
    case Command::kEnrolViewer:
      return "--enrol-viewer";
    case Command::kStopShipping:
      return "--stop-shipping";
    case Command::kSaveDbFile:
      return "--save-db-file";
    default:
      return "shipping";
  }
}

// A command of its own; false when another was given already.
bool SetCommand(Command c, ShipOptions* o, std::string* error) {
  if (o->command != Command::kShip) {
    *error = std::string(CommandName(c)) + " cannot be given with " + CommandName(o->command);
    return false;
  }
  o->command = c;
  return true;
}

bool TakeValue(const std::string& option, const std::string& value, ShipOptions* o,
               std::string* error) {
  if (option == "--db") {
    o->conninfo = value;
  } else if (option == "--db-file") {
    o->conninfoFile = value;
  } else if (option == "--archive") {
    o->archivePath = value;
  } else if (option == "--save-db-file") {
    o->savePath = value;
    return SetCommand(Command::kSaveDbFile, o, error);
  } else if (option == "--batch") {
    const long n = value.find_first_not_of("0123456789") == std::string::npos && value.size() < 6
                       ? std::strtol(value.c_str(), nullptr, 10)
                       : 0;
    if (n < 1 || n > kMaxBatch) {
      *error =
          "--batch " + value + " is no number of results from 1 to " + std::to_string(kMaxBatch);
      return false;
    }
    o->batch = static_cast<int>(n);
  } else if (option == "--enrol") {
    const std::string::size_type slash = value.find('/');
    o->site = value.substr(0, slash);
    o->line = slash == std::string::npos ? "" : value.substr(slash + 1);
    if (!IsName(o->site) || !IsName(o->line)) {
      *error = "--enrol " + value + " is no SITE/LINE: each 1 to " + std::to_string(kMaxName) +
               " letters, digits, '-' or '_'";
      return false;
    }
    return SetCommand(Command::kEnrol, o, error);
  } else {  // --enrol-viewer
    o->viewer = value;
    if (!IsName(value)) {
      *error = "--enrol-viewer " + value + " is no NAME: 1 to " + std::to_string(kMaxName) +
               " letters, digits, '-' or '_'";
      return false;
    }
    return SetCommand(Command::kEnrolViewer, o, error);
  }
  return true;
}

// What goes together: a connection string for every command but
// --stop-shipping, shipping's options with shipping alone.
bool CheckTogether(const ShipOptions& o, std::string* error) {
  const bool db = !o.conninfo.empty() || !o.conninfoFile.empty();
  if (!o.conninfo.empty() && !o.conninfoFile.empty()) {
    *error = "--db and --db-file cannot both be given";
  } else if (o.command == Command::kStopShipping && db) {
    *error = "--stop-shipping touches only the archive: it takes no --db or --db-file";
  } else if (o.command != Command::kStopShipping && !db) {
    *error = "the company database is needed: give --db CONNINFO or --db-file FILE";
  } else if (o.command != Command::kShip && (o.once || o.batch != ShipOptions().batch)) {
    *error = std::string(o.once ? "--once" : "--batch") + " cannot be given with " +
             CommandName(o.command);
  } else if (o.command != Command::kShip && o.command != Command::kStopShipping &&
             !o.archivePath.empty()) {
    *error = std::string("--archive cannot be given with ") + CommandName(o.command);
  } else {
    return true;
  }
  return false;
}

}  // namespace

bool ParseShipOptions(const std::vector<std::string>& args, ShipOptions* o, std::string* error) {
  *o = ShipOptions();
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-h" || a == "--help" || a == "--version") {
      o->command = a == "--version" ? Command::kVersion : Command::kHelp;
      return true;
    }
    if (a == "--once") {
      o->once = true;
    } else if (a == "--init" || a == "--stop-shipping") {
      if (!SetCommand(a == "--init" ? Command::kInit : Command::kStopShipping, o, error))
        return false;
    } else if (a == "--db" || a == "--db-file" || a == "--archive" || a == "--batch" ||
               a == "--enrol" || a == "--enrol-viewer" || a == "--save-db-file") {
      if (i + 1 >= args.size() || args[i + 1].empty() || args[i + 1].size() > kMaxArgument) {
        *error = a + " needs a value of 1 to " + std::to_string(kMaxArgument) + " bytes";
        return false;
      }
      if (!TakeValue(a, args[++i], o, error)) return false;
    } else {
      *error = "cannot take the argument '" + a.substr(0, 200) + "'";
      return false;
    }
  }
  return CheckTogether(*o, error);
}

const char* ShipUsage() {
  return "usage: brenna-ship --db CONNINFO | --db-file FILE [--archive FILE] [--once] [--batch N]\n"
         "       brenna-ship --db CONNINFO --init\n"
         "       brenna-ship --db CONNINFO --enrol SITE/LINE\n"
         "       brenna-ship --db CONNINFO --enrol-viewer NAME\n"
         "       brenna-ship [--archive FILE] --stop-shipping\n"
         "       brenna-ship --db CONNINFO | --db-file FILE --save-db-file FILE\n"
         "  Ships the monitor's archive to the company's PostgreSQL and follows it\n"
         "  (docs/company.md). Every connection is TLS with sslmode=verify-full.\n"
         "  --db CONNINFO        a libpq connection string (key=value ... or postgresql://...)\n"
         "  --db-file FILE       a file holding it, readable by its owner alone\n"
         "  --archive FILE       the archive (default " BRENNA_DEFAULT_ARCHIVE_TEXT
         ")\n"
         "  --once               ships what is there, then ends\n"
         "  --batch N            results per transaction (1 to 5000, default 500)\n"
         "  --init               makes or upgrades the schema brenna (an administrator's string)\n"
         "  --enrol SITE/LINE    makes the line's role; prints its connection string alone\n"
         "  --enrol-viewer NAME  makes a role that reads every line and writes nothing\n"
         "  --stop-shipping      this archive is shipped no more: its trim is its own again\n"
         "  --save-db-file FILE  checks the string and keeps it in FILE, readable by you alone\n";
}

}  // namespace ship

#include "ship/Conninfo.h"

#include <libpq-fe.h>

#include "platform/PrivateFileIo.h"
#include "platform/SystemCertificates.h"

namespace ship {

namespace {

constexpr char kVerifyFull[] = "verify-full";

// What libpq would take for a Unix socket's folder rather than a host: a
// path (on Windows also "C:\..." or "\\..."), or an abstract socket's "@".
bool IsSocketPath(const std::string& host) {
  if (host.empty()) return false;
  if (host[0] == '/' || host[0] == '\\' || host[0] == '@') return true;
  return host.size() > 2 && host[1] == ':' && (host[2] == '\\' || host[2] == '/');
}

// Each host of a comma-separated list; a list naming none is refused.
bool HostsReachable(const std::string& hosts, const std::string& addresses, const char* program,
                    std::string* why) {
  if (hosts.empty() && addresses.empty()) {
    *why = std::string("names no host (host=...): ") + program +
           " reaches the company database over TCP with TLS";
    return false;
  }
  std::string::size_type start = 0;
  while (start <= hosts.size() && !hosts.empty()) {
    const std::string::size_type comma = hosts.find(',', start);
    const std::string host = hosts.substr(start, comma - start);
    if (IsSocketPath(host)) {
      *why = "names a Unix socket (host=" + host +
             "), which carries no TLS: give the server's host name";
      return false;
    }
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return true;
}

// A value for a key=value connection string: quoted when it must be.
std::string Quoted(const std::string& value) {
  bool plain = !value.empty();
  for (char c : value)
    if (c == ' ' || c == '\'' || c == '\\' || c == '\t' || c == '\n') plain = false;
  if (plain) return value;
  std::string out = "'";
  for (char c : value) {
    if (c == '\'' || c == '\\') out += '\\';
    out += c;
  }
  return out + "'";
}

}  // namespace

bool Conninfo::Parse(const std::string& text, Conninfo* out, std::string* error,
                     const ConninfoUse& use) {
  *out = Conninfo();
  char* message = nullptr;
  PQconninfoOption* options = PQconninfoParse(text.c_str(), &message);
  if (options == nullptr) {
    std::string why = message != nullptr ? message : "out of memory";
    while (!why.empty() && why.back() == '\n') why.pop_back();
    PQfreemem(message);
    *error = "the connection string cannot be read: " + why;
    return false;
  }
  for (const PQconninfoOption* o = options; o->keyword != nullptr; ++o)
    if (o->val != nullptr) out->settings_.emplace_back(o->keyword, o->val);
  PQconninfoFree(options);

  const std::string mode = out->Get("sslmode");
  if (!mode.empty() && mode != kVerifyFull) {
    *error = "the connection string asks for sslmode=" + mode + ": " + use.program +
             " connects only with sslmode=verify-full (TLS, the server's "
             "certificate checked against a trusted root and the host's name); leave sslmode "
             "out or set it so";
    return false;
  }
  if (!HostsReachable(out->Get("host"), out->Get("hostaddr"), use.program, error)) {
    *error = "the connection string " + *error;
    return false;
  }
  out->Set("sslmode", kVerifyFull);
  const std::string root = out->Get("sslrootcert");
  out->ownRoot_ = !root.empty() && root != "system";
  if (!out->ownRoot_) {
    const std::string system = SystemRootCertificates(&out->rootsSaid_);
    if (system.empty()) {
      if (!root.empty()) out->Set("sslrootcert", "");
    } else {
      out->Set("sslrootcert", system);
    }
  }
  out->Set("client_encoding", "UTF8");
  out->Default("application_name", use.program);
  out->Default("connect_timeout", use.connectTimeoutS);
  out->Default("keepalives", "1");
  out->Default("keepalives_idle", use.keepalivesIdleS);
  out->Default("keepalives_interval", use.keepalivesIntervalS);
  out->Default("keepalives_count", use.keepalivesCount);
  out->Default("tcp_user_timeout", use.unansweredMs);
  return true;
}

std::string Conninfo::Get(const std::string& key) const {
  for (const auto& [k, v] : settings_)
    if (k == key) return v;
  return std::string();
}

void Conninfo::Set(const std::string& key, const std::string& value) {
  for (auto& [k, v] : settings_) {
    if (k == key) {
      v = value;
      return;
    }
  }
  settings_.emplace_back(key, value);
}

void Conninfo::Default(const std::string& key, const std::string& value) {
  if (Get(key).empty()) Set(key, value);
}

std::string ConninfoFor(const Conninfo& admin, const std::string& database, const std::string& user,
                        const std::string& password) {
  std::string out;
  for (const char* key : {"host", "hostaddr", "port"}) {
    const std::string value = admin.Get(key);
    if (!value.empty()) out += std::string(key) + "=" + Quoted(value) + " ";
  }
  out += "dbname=" + Quoted(database) + " user=" + Quoted(user) + " password=" + Quoted(password) +
         " sslmode=" + kVerifyFull;
  if (admin.OwnRoot()) out += " sslrootcert=" + Quoted(admin.Get("sslrootcert"));
  return out;
}

bool ReadConninfoFile(const std::string& path, const std::string& renew, std::string* text,
                      std::string* error) {
  const auto read = private_file_io::ReadPrivate(path, 4096, text, error);
  if (read != private_file_io::Read::kOk) {
    if (read == private_file_io::Read::kMissing) *error = "is not there";
    if (error->rfind("may be read by others", 0) == 0)
      *error += std::string(": ") + private_file_io::MakePrivateHint() + ", and " + renew +
                " if the password may have gone astray";
    return false;
  }
  while (!text->empty() && (text->back() == '\n' || text->back() == '\r' || text->back() == ' '))
    text->pop_back();
  return true;
}

}  // namespace ship

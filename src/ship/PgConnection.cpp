#include "ship/PgConnection.h"

#include <libpq-fe.h>

#include <cstdlib>

namespace ship {

namespace {

// libpq's messages end in a line break, sometimes two lines.
std::string OneLine(const char* text) {
  std::string s = text != nullptr ? text : "";
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  for (char& c : s)
    if (c == '\n' || c == '\t') c = ' ';
  return s;
}

}  // namespace

PgResult::~PgResult() { PQclear(result_); }

PgResult& PgResult::operator=(PgResult&& other) noexcept {
  if (this != &other) {
    PQclear(result_);
    result_ = std::exchange(other.result_, nullptr);
  }
  return *this;
}

bool PgResult::ok() const {
  const ExecStatusType s = PQresultStatus(result_);
  return result_ != nullptr && (s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK);
}

int PgResult::Rows() const { return result_ != nullptr ? PQntuples(result_) : 0; }

bool PgResult::IsNull(int row, int column) const {
  return row >= Rows() || PQgetisnull(result_, row, column) != 0;
}

std::string PgResult::Text(int row, int column) const {
  if (IsNull(row, column)) return std::string();
  return std::string(PQgetvalue(result_, row, column),
                     static_cast<std::size_t>(PQgetlength(result_, row, column)));
}

long long PgResult::Int(int row, int column) const {
  return IsNull(row, column) ? 0 : std::strtoll(PQgetvalue(result_, row, column), nullptr, 10);
}

std::string PgResult::Error() const {
  if (ok()) return std::string();
  if (result_ == nullptr) return "no answer from the server";
  return OneLine(PQresultErrorMessage(result_));
}

std::string PgResult::SqlState() const {
  const char* state = result_ != nullptr ? PQresultErrorField(result_, PG_DIAG_SQLSTATE) : nullptr;
  return state != nullptr ? state : "";
}

PgConnection::~PgConnection() { Close(); }

void PgConnection::Close() {
  if (conn_ != nullptr) PQfinish(conn_);
  conn_ = nullptr;
}

bool PgConnection::Connect(const Conninfo& info, std::string* error) {
  Close();
  std::vector<const char*> keywords, values;
  for (const auto& [key, value] : info.All()) {
    keywords.push_back(key.c_str());
    values.push_back(value.c_str());
  }
  keywords.push_back(nullptr);
  values.push_back(nullptr);
  conn_ = PQconnectdbParams(keywords.data(), values.data(), 0);
  if (conn_ == nullptr) {
    *error = "out of memory";
    return false;
  }
  if (PQstatus(conn_) != CONNECTION_OK) {
    *error = OneLine(PQerrorMessage(conn_));
    Close();
    return false;
  }
  // sslmode=verify-full already demands it; a connection that somehow has
  // no TLS (a socket path slipped through) is never used.
  if (PQsslInUse(conn_) != 1) {
    *error = "the connection is not encrypted (TLS): refused";
    Close();
    return false;
  }
  return true;
}

bool PgConnection::Good() const { return conn_ != nullptr && PQstatus(conn_) == CONNECTION_OK; }

PgResult PgConnection::Exec(const std::string& sql) {
  return PgResult(conn_ != nullptr ? PQexec(conn_, sql.c_str()) : nullptr);
}

PgResult PgConnection::Exec(const std::string& sql, const std::vector<PgParam>& params) {
  if (conn_ == nullptr) return PgResult();
  std::vector<const char*> values;
  for (const PgParam& p : params) values.push_back(p ? p->c_str() : nullptr);
  return PgResult(PQexecParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr,
                               values.data(), nullptr, nullptr, 0));
}

bool PgConnection::Run(const std::string& sql, std::string* error) {
  const PgResult r = Exec(sql);
  if (r.ok()) return true;
  *error = r.Error();
  if (error->empty()) *error = OneLine(conn_ != nullptr ? PQerrorMessage(conn_) : "not connected");
  return false;
}

std::string PgConnection::Server() const {
  if (conn_ == nullptr) return std::string();
  return std::string(PQhost(conn_)) + ":" + PQport(conn_) + "/" + PQdb(conn_);
}

int PgConnection::ServerVersion() const { return conn_ != nullptr ? PQserverVersion(conn_) : 0; }

std::string PgConnection::Identifier(const std::string& name) const {
  char* quoted = PQescapeIdentifier(conn_, name.c_str(), name.size());
  std::string out = quoted != nullptr ? quoted : "";
  PQfreemem(quoted);
  return out;
}

std::string PgConnection::Literal(const std::string& text) const {
  char* quoted = PQescapeLiteral(conn_, text.c_str(), text.size());
  std::string out = quoted != nullptr ? quoted : "";
  PQfreemem(quoted);
  return out;
}

std::string PgConnection::PasswordVerifier(const std::string& password,
                                           const std::string& role) const {
  char* verifier = PQencryptPasswordConn(conn_, password.c_str(), role.c_str(), "scram-sha-256");
  std::string out = verifier != nullptr ? verifier : "";
  PQfreemem(verifier);
  return out;
}

}  // namespace ship

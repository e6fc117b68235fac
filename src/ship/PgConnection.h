// PgConnection - one connection to the company's PostgreSQL through libpq,
// and the results of its statements: owned, closed and freed by these
// objects alone, so no path out of brenna-ship leaks a connection or a
// result. Statements take their parameters as text (arrays as PostgreSQL's
// array literals, ShipRows.h), never spliced into the SQL.
#ifndef BRENNA_SHIP_PGCONNECTION_H
#define BRENNA_SHIP_PGCONNECTION_H

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ship/Conninfo.h"

struct pg_conn;
struct pg_result;

namespace ship {

class PgResult {
 public:
  PgResult() = default;
  explicit PgResult(pg_result* result) : result_(result) {}
  ~PgResult();
  PgResult(PgResult&& other) noexcept : result_(std::exchange(other.result_, nullptr)) {}
  PgResult& operator=(PgResult&& other) noexcept;
  PgResult(const PgResult&) = delete;
  PgResult& operator=(const PgResult&) = delete;

  // The statement ran (a command, or rows).
  bool ok() const;
  int Rows() const;
  bool IsNull(int row, int column) const;
  std::string Text(int row, int column) const;
  long long Int(int row, int column) const;
  // The server's words and its SQLSTATE ("42501" permission denied);
  // empty when ok().
  std::string Error() const;
  std::string SqlState() const;

 private:
  pg_result* result_ = nullptr;
};

// A parameter: text, or SQL NULL.
using PgParam = std::optional<std::string>;

class PgConnection {
 public:
  PgConnection() = default;
  ~PgConnection();
  PgConnection(const PgConnection&) = delete;
  PgConnection& operator=(const PgConnection&) = delete;

  // Connects as `info` says, and only over TLS: a connection that ended up
  // without it is closed again. False with libpq's words in *error.
  bool Connect(const Conninfo& info, std::string* error);
  void Close();
  // Connected, and the connection not known to be broken.
  bool Good() const;

  PgResult Exec(const std::string& sql);
  PgResult Exec(const std::string& sql, const std::vector<PgParam>& params);
  // Runs a statement that must succeed; false with its words in *error.
  bool Run(const std::string& sql, std::string* error);

  // Whom and what it reached: "db.example.com:5432/brenna".
  std::string Server() const;
  // The server's version as libpq gives it (150004 for 15.4).
  int ServerVersion() const;
  // Names and texts made safe for SQL by the server's own rules.
  std::string Identifier(const std::string& name) const;
  std::string Literal(const std::string& text) const;
  // The SCRAM-SHA-256 verifier of a password for `role`, made here, so the
  // password itself never reaches the server; empty on failure.
  std::string PasswordVerifier(const std::string& password, const std::string& role) const;

  pg_conn* get() const { return conn_; }

 private:
  pg_conn* conn_ = nullptr;
};

}  // namespace ship

#endif  // BRENNA_SHIP_PGCONNECTION_H

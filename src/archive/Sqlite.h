// Sqlite - a small owner of an SQLite connection and its prepared
// statements, for the archive's writer and readers: closes what it opened,
// binds and reads columns by number, and tells SQLite's result codes apart
// the archive cares about (a full disk, a file that is no database).
#ifndef BRENNA_ARCHIVE_SQLITE_H
#define BRENNA_ARCHIVE_SQLITE_H

#include <cstdint>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace archive::sql {

class Db {
 public:
  Db() = default;
  ~Db();
  Db(const Db&) = delete;
  Db& operator=(const Db&) = delete;

  // sqlite3_open_v2 with `flags` (never following a link); the result code.
  // On failure the connection is closed again.
  int Open(const std::string& path, int flags);
  void Close();
  bool IsOpen() const { return db_ != nullptr; }
  sqlite3* get() const { return db_; }

  // Runs one or more statements without results; the result code.
  int Exec(const char* sql);
  // The text of the last error on this connection.
  std::string Error() const;
  std::int64_t LastInsertId() const;
  int Changes() const;
  // A PRAGMA (or other one-row query) answering one integer; `fallback`
  // when it fails.
  std::int64_t QueryInt(const char* sql, std::int64_t fallback = -1);

 private:
  sqlite3* db_ = nullptr;
};

// A write transaction for the length of a scope: BEGIN IMMEDIATE when made,
// rolled back when the scope is left without a successful Commit, so no
// path out of a writer (an early return, a throw) leaves it open.
class Transaction {
 public:
  explicit Transaction(Db& db);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  // The result code of BEGIN: nothing is to be written unless it is SQLITE_OK.
  int begun() const { return begun_; }
  bool ok() const { return begun_ == 0; }
  // COMMIT; the result code. Once it succeeded the scope's end does nothing;
  // when it failed the transaction is rolled back there.
  int Commit();

 private:
  Db& db_;
  int begun_;
  bool open_;
};

class Stmt {
 public:
  Stmt(Db& db, const char* sql);
  ~Stmt();
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;

  bool ok() const { return stmt_ != nullptr; }
  int prepareResult() const { return prepared_; }

  Stmt& Bind(int index, std::int64_t value);
  Stmt& BindText(int index, const std::string& text);
  Stmt& BindBlob(int index, const std::string& bytes);
  Stmt& BindNull(int index);
  // sqlite3_step: SQLITE_ROW, SQLITE_DONE or an error code.
  int Step();
  // Ready for new bindings and another run.
  void Reset();
  // sqlite3_stmt_status: a counter of what running it took.
  int Status(int op) const;

  std::int64_t Int(int column) const;
  bool IsNull(int column) const;
  // A column's bytes as they are stored (text or blob).
  std::string Bytes(int column) const;

 private:
  sqlite3_stmt* stmt_ = nullptr;
  int prepared_ = 0;
};

// The primary result code: what happened, without the extended detail.
int Primary(int rc);
// A full disk or quota: the write may succeed later.
bool IsFull(int rc);
// The file is no database, or not a sound one.
bool IsDamaged(int rc);
// Another connection holds the lock this needs (after the busy timeout).
bool IsBusy(int rc);
// sqlite3_errstr: the words for a result code.
std::string Describe(int rc);

}  // namespace archive::sql

#endif  // BRENNA_ARCHIVE_SQLITE_H

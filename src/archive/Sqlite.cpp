#include "archive/Sqlite.h"

#include <sqlite3.h>

#include "platform/SystemText.h"

namespace archive::sql {

Db::~Db() { Close(); }

int Db::Open(const std::string& path, int flags) {
  Close();
  // SQLite takes a UTF-8 name; a path here is GBK.
  const int rc =
      sqlite3_open_v2(Utf8FromSystem(path).c_str(), &db_, flags | SQLITE_OPEN_NOFOLLOW, nullptr);
  if (rc != SQLITE_OK) Close();
  return rc;
}

void Db::Close() {
  if (db_ == nullptr) return;
  // Statements are owned by Stmt objects that are gone by now; v2 closes
  // once any straggler is finalised.
  sqlite3_close_v2(db_);
  db_ = nullptr;
}

int Db::Exec(const char* sql) {
  if (db_ == nullptr) return SQLITE_MISUSE;
  return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
}

std::string Db::Error() const { return db_ != nullptr ? sqlite3_errmsg(db_) : "not open"; }

std::int64_t Db::LastInsertId() const {
  return db_ != nullptr ? sqlite3_last_insert_rowid(db_) : 0;
}

int Db::Changes() const { return db_ != nullptr ? sqlite3_changes(db_) : 0; }

std::int64_t Db::QueryInt(const char* sql, std::int64_t fallback) {
  Stmt stmt(*this, sql);
  if (!stmt.ok() || stmt.Step() != SQLITE_ROW) return fallback;
  return stmt.Int(0);
}

Transaction::Transaction(Db& db)
    : db_(db), begun_(db.Exec("BEGIN IMMEDIATE")), open_(begun_ == SQLITE_OK) {}

Transaction::~Transaction() {
  // SQLite may have rolled back by itself already (a full disk): then there
  // is nothing left to undo.
  if (open_ && db_.get() != nullptr && sqlite3_get_autocommit(db_.get()) == 0) db_.Exec("ROLLBACK");
}

int Transaction::Commit() {
  if (!open_) return begun_ != SQLITE_OK ? begun_ : SQLITE_MISUSE;
  const int rc = db_.Exec("COMMIT");
  if (rc == SQLITE_OK) open_ = false;
  return rc;
}

Stmt::Stmt(Db& db, const char* sql) {
  prepared_ =
      db.get() != nullptr ? sqlite3_prepare_v2(db.get(), sql, -1, &stmt_, nullptr) : SQLITE_MISUSE;
  if (prepared_ != SQLITE_OK) {
    sqlite3_finalize(stmt_);
    stmt_ = nullptr;
  }
}

Stmt::~Stmt() { sqlite3_finalize(stmt_); }

Stmt& Stmt::Bind(int index, std::int64_t value) {
  sqlite3_bind_int64(stmt_, index, value);
  return *this;
}

Stmt& Stmt::BindText(int index, const std::string& text) {
  sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  return *this;
}

Stmt& Stmt::BindBlob(int index, const std::string& bytes) {
  // A zero-length blob, not NULL, for an empty text.
  sqlite3_bind_blob(stmt_, index, bytes.empty() ? "" : bytes.data(), static_cast<int>(bytes.size()),
                    SQLITE_TRANSIENT);
  return *this;
}

Stmt& Stmt::BindNull(int index) {
  sqlite3_bind_null(stmt_, index);
  return *this;
}

int Stmt::Step() { return stmt_ != nullptr ? sqlite3_step(stmt_) : SQLITE_MISUSE; }

void Stmt::Reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

int Stmt::Status(int op) const { return stmt_ != nullptr ? sqlite3_stmt_status(stmt_, op, 0) : 0; }

std::int64_t Stmt::Int(int column) const { return sqlite3_column_int64(stmt_, column); }

bool Stmt::IsNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }

std::string Stmt::Bytes(int column) const {
  const void* data = sqlite3_column_blob(stmt_, column);
  const int size = sqlite3_column_bytes(stmt_, column);
  if (data == nullptr || size <= 0) return std::string();
  return std::string(static_cast<const char*>(data), static_cast<std::size_t>(size));
}

int Primary(int rc) { return rc & 0xff; }

bool IsFull(int rc) { return Primary(rc) == SQLITE_FULL; }

bool IsDamaged(int rc) { return Primary(rc) == SQLITE_CORRUPT || Primary(rc) == SQLITE_NOTADB; }

bool IsBusy(int rc) { return Primary(rc) == SQLITE_BUSY || Primary(rc) == SQLITE_LOCKED; }

std::string Describe(int rc) { return sqlite3_errstr(rc); }

}  // namespace archive::sql

#include "spool/sqlite_db.h"

#include <sqlite3.h>

namespace liron {

namespace {

void SetError(std::string* error, const std::string& text) {
  if (error) *error = text;
}

}  // namespace

TSqliteDb::~TSqliteDb() { Close(); }

bool TSqliteDb::Open(const std::string& path, std::string* error) {
  Close();
  sqlite3* db = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &db,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                                 nullptr);
  if (rc != SQLITE_OK) {
    SetError(error, path + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)));
    sqlite3_close(db);
    return false;
  }
  db_ = db;
  path_ = path;
  // A writer that finds the file busy (an inspecting sqlite3 shell) waits a little.
  sqlite3_busy_timeout(db_, 2000);
  return true;
}

bool TSqliteDb::UseWriteAheadLog(std::string* error) {
  std::string err;
  if (!Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", &err)) {
    SetError(error, path_ + ": " + err);
    return false;
  }
  // The WAL mode is not taken on a file system without shared memory; check that it holds.
  TSqliteStmt mode(*this, "PRAGMA journal_mode");
  if (!mode.Step() || mode.Text(0) != "wal") {
    SetError(error, path_ + ": the write-ahead log cannot be used here");
    return false;
  }
  return true;
}

void TSqliteDb::Close() {
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
}

bool TSqliteDb::Exec(const std::string& sql, std::string* error) {
  if (!db_) {
    SetError(error, "not open");
    return false;
  }
  char* msg = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &msg) == SQLITE_OK) return true;
  SetError(error, msg ? msg : sqlite3_errmsg(db_));
  sqlite3_free(msg);
  return false;
}

std::string TSqliteDb::LastError() const { return db_ ? sqlite3_errmsg(db_) : "not open"; }

int64_t TSqliteDb::LastInsertRowId() const { return db_ ? sqlite3_last_insert_rowid(db_) : 0; }

int TSqliteDb::Changes() const { return db_ ? sqlite3_changes(db_) : 0; }

void TSqliteDb::SetFullSync(bool full) {
  Exec(full ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=NORMAL", nullptr);
}

TSqliteStmt::TSqliteStmt(TSqliteDb& db, const char* sql) {
  if (!db.handle() || sqlite3_prepare_v2(db.handle(), sql, -1, &stmt_, nullptr) != SQLITE_OK) {
    stmt_ = nullptr;
    failed_ = true;
  }
}

TSqliteStmt::~TSqliteStmt() { sqlite3_finalize(stmt_); }

TSqliteStmt& TSqliteStmt::Bind(int i, int64_t v) {
  if (stmt_) sqlite3_bind_int64(stmt_, i, v);
  return *this;
}

TSqliteStmt& TSqliteStmt::Bind(int i, double v) {
  if (stmt_) sqlite3_bind_double(stmt_, i, v);
  return *this;
}

TSqliteStmt& TSqliteStmt::Bind(int i, const std::string& v) {
  if (stmt_) sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
  return *this;
}

TSqliteStmt& TSqliteStmt::BindNull(int i) {
  if (stmt_) sqlite3_bind_null(stmt_, i);
  return *this;
}

bool TSqliteStmt::Step() {
  if (!stmt_) return false;
  const int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc != SQLITE_DONE) failed_ = true;
  return false;
}

bool TSqliteStmt::Run() {
  Step();
  return !failed_;
}

void TSqliteStmt::Reset() {
  if (!stmt_) return;
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
  failed_ = false;
}

bool TSqliteStmt::IsNull(int col) const {
  return !stmt_ || sqlite3_column_type(stmt_, col) == SQLITE_NULL;
}

int64_t TSqliteStmt::Int(int col) const { return stmt_ ? sqlite3_column_int64(stmt_, col) : 0; }

double TSqliteStmt::Real(int col) const { return stmt_ ? sqlite3_column_double(stmt_, col) : 0; }

std::string TSqliteStmt::Text(int col) const {
  if (!stmt_) return {};
  const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col));
  return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(stmt_, col))) : std::string();
}

TSqliteTransaction::TSqliteTransaction(TSqliteDb& db) : db_(db) {
  begun_ = db_.Exec("BEGIN IMMEDIATE", nullptr);
}

TSqliteTransaction::~TSqliteTransaction() {
  if (begun_ && !done_) db_.Exec("ROLLBACK", nullptr);
}

bool TSqliteTransaction::Commit() {
  if (!begun_ || done_) return false;
  done_ = db_.Exec("COMMIT", nullptr);
  return done_;
}

}  // namespace liron

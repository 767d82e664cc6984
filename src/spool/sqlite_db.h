// A small owner of one SQLite database file, put in WAL mode, with statements prepared and
// stepped and their errors as results. What the local spool is built on.
#pragma once

#include <cstdint>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace liron {

class TSqliteDb {
 public:
  TSqliteDb() = default;
  ~TSqliteDb();
  TSqliteDb(const TSqliteDb&) = delete;
  TSqliteDb& operator=(const TSqliteDb&) = delete;

  // Opens (creating) the file as it is. False with "<path>: " and SQLite's text in *error.
  bool Open(const std::string& path, std::string* error);
  // Puts it in WAL mode with synchronous=NORMAL: a crash of the program loses nothing
  // committed; a loss of power can lose what was committed after the last full sync
  // (SetFullSync). False with "<path>: " and the reason in *error.
  bool UseWriteAheadLog(std::string* error);
  void Close();
  bool IsOpen() const { return db_ != nullptr; }

  // Runs statements without results (several, separated by ';').
  bool Exec(const std::string& sql, std::string* error);
  // The text of the last failure on this database.
  std::string LastError() const;
  int64_t LastInsertRowId() const;
  int Changes() const;
  // Forces what is committed onto the disk: the write-ahead log is synced at this commit.
  void SetFullSync(bool full);

  sqlite3* handle() const { return db_; }

 private:
  sqlite3* db_ = nullptr;
  std::string path_;
};

// One prepared statement; binds by position from 1, columns by position from 0.
class TSqliteStmt {
 public:
  TSqliteStmt(TSqliteDb& db, const char* sql);
  ~TSqliteStmt();
  TSqliteStmt(const TSqliteStmt&) = delete;
  TSqliteStmt& operator=(const TSqliteStmt&) = delete;

  bool Prepared() const { return stmt_ != nullptr; }
  TSqliteStmt& Bind(int i, int64_t v);
  TSqliteStmt& Bind(int i, double v);
  TSqliteStmt& Bind(int i, const std::string& v);
  TSqliteStmt& BindNull(int i);
  // True while a row is there; false at the end or on an error (then Failed()).
  bool Step();
  // Steps a statement without rows: true when it finished.
  bool Run();
  bool Failed() const { return failed_; }
  void Reset();

  bool IsNull(int col) const;
  int64_t Int(int col) const;
  double Real(int col) const;
  std::string Text(int col) const;

 private:
  sqlite3_stmt* stmt_ = nullptr;
  bool failed_ = false;
};

// BEGIN IMMEDIATE ... COMMIT; rolled back when not committed.
class TSqliteTransaction {
 public:
  explicit TSqliteTransaction(TSqliteDb& db);
  ~TSqliteTransaction();
  bool Begun() const { return begun_; }
  bool Commit();

 private:
  TSqliteDb& db_;
  bool begun_ = false;
  bool done_ = false;
};

}  // namespace liron

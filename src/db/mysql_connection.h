// TMySQLConnection: one client connection on MariaDB Connector/C with the service's parameter
// list (DriverName, HostName, Database, User_Name, Password, ...). The handle is guarded, so
// the control thread may open and close it while the GUI thread executes statements on it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "db/sql_value.h"
#include "platform/datetime.h"

struct st_mysql;  // MYSQL

namespace liron {

// The built-in account of the design-time parameters: used only while no INI names a Login.
extern const char kBuiltInLogin[];     // "root"
extern const char kBuiltInPassword[];  // "46271"

// The design-time parameter list both connections start with.
std::vector<std::string> DefaultConnParams();

// Splits a HostName: "host", "host:port" or an absolute Unix socket path (host "localhost"
// then). Port 0 means the client's default. False for an empty name or a bad port.
bool SplitHostName(const std::string& host_name, std::string* host, unsigned* port,
                   std::string* socket);

// Every thread that used the client library calls this before it ends, or the library's
// per-thread memory leaks.
void MySqlThreadEnd();

struct TSqlRows {
  std::vector<std::string> Columns;
  std::vector<std::vector<TSqlValue>> Rows;
  // The value of a named column (case-insensitive) in row r; nullptr when there is no such
  // row or column.
  const TSqlValue* Field(size_t r, const std::string& column) const;
};

// How a statement ended: the server's error number and text (Code 0 when there was no handle
// to send it on), and the rows it matched (an UPDATE counts the rows found, also those it left
// unchanged).
struct TSqlOutcome {
  unsigned Code = 0;
  std::string Error;
  uint64_t Matched = 0;
};

class TMySQLConnection {
 public:
  TMySQLConnection();
  ~TMySQLConnection();
  TMySQLConnection(const TMySQLConnection&) = delete;
  TMySQLConnection& operator=(const TMySQLConnection&) = delete;

  // The parameter lines "key=value", in order.
  std::vector<std::string> Params() const;
  void SetParams(const std::vector<std::string>& params);
  // Replaces the first line containing key (a plain substring test) by key=value, else appends.
  void SetConnParam(const std::string& key, const std::string& value);
  std::string Param(const std::string& key) const;  // value of the line "key=..."

  // Opens with the current parameters (HostName: host, host:port or an absolute socket path),
  // character set utf8mb4, connect/read/write time-outs of a few seconds, and a session without
  // NO_BACKSLASH_ESCAPES whatever the server's sql_mode. False with the client's error text
  // when it fails, also when that session setting fails. Opening an open connection reopens it.
  bool Open(std::string* error = nullptr);
  void Close();
  // Called on the opening thread after each opening, with the server's NOW() as it answered
  // just then (not called when it did not answer).
  using OpenedHook = std::function<void(TDateTime server_now)>;
  void SetOpenedHook(OpenedHook hook);
  // The real state: false once the server went away (a failed statement with 2006/2013 or a
  // failed ping closes the handle).
  bool Connected();
  // Whether a handle is held, without asking the server: what the queue timers check every
  // 100 ms. A statement that finds the link lost drops the handle. Never waits, not even for
  // a statement in progress on another thread.
  bool IsOpen() const;

  // Executes a statement that returns no rows; *matched (when given) gets the rows it matched,
  // changed or not.
  bool Execute(const std::string& sql, std::string* error = nullptr, uint64_t* matched = nullptr);
  // The same, telling the error number and the rows matched.
  bool Execute(const std::string& sql, TSqlOutcome& outcome);
  // Executes a query and collects every row (a statement without a result set gives none).
  bool Query(const std::string& sql, TSqlRows* rows, std::string* error = nullptr);

 private:
  void DropLocked();
  bool FailLocked(std::string* error, unsigned* code = nullptr);

  mutable std::mutex mu_;  // guards handle_; held while a statement runs
  mutable std::mutex params_mu_;  // guards params_ and opened_hook_
  std::vector<std::string> params_;
  OpenedHook opened_hook_;
  st_mysql* handle_ = nullptr;
  std::atomic<bool> open_{false};  // handle_ != nullptr, readable without mu_
};

}  // namespace liron

// A database server of a test's own (scripts/dbfixture in a folder of its own, sql/schema.sql
// loaded), for what must not touch the shared one: a server that takes only TLS, the accounts
// and the trigger of sql/accounts.sql. Stopped, and its folder removed, when it goes.
#pragma once

#include <string>

#include "db/mysql_connection.h"
#include "support/temp_dir.h"

namespace liron::test {

class PrivateServer {
 public:
  enum class Transport { kPlain, kTlsOnly };
  explicit PrivateServer(Transport transport = Transport::kPlain);
  ~PrivateServer();
  PrivateServer(const PrivateServer&) = delete;
  PrivateServer& operator=(const PrivateServer&) = delete;

  bool Ready() const { return ready_; }
  // A line of the fixture's env file: SOCKET, PORT, USER, PASSWORD.
  std::string Value(const std::string& key) const;
  // A file of its folder, for example "tls/ca.pem".
  std::string File(const std::string& name) const { return dir_.File(name); }
  // Runs an SQL file of the source tree (relative to it) as root; true when all of it ran.
  bool RunSqlFile(const std::string& source_path) const;
  // Points conn at the server's socket as root.
  void ConfigureRoot(TMySQLConnection& conn) const;

 private:
  TempDir dir_;
  std::string fixture_;
  std::string env_;
  bool ready_ = false;
};

}  // namespace liron::test

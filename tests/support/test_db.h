// The private MariaDB server of the tests, for every test folder that needs the database.
//
// The server is started once per test run by the CTest fixture "db" (scripts/dbfixture start
// <build>/testdb); a test program finds it through the environment variable LIRON_TEST_DB,
// or in <build>/testdb when run by hand. When no server answers there, the first TestDb::Get()
// starts one itself and stops it when the program ends.
//
// A test folder that touches the database registers its program with
//   liron_test_dir(<folder> LIBS ... PROPERTIES ${LIRON_DB_TEST_PROPERTIES})
// which requires the fixture and serialises the programs on the one server (RESOURCE_LOCK).
//
// Typical use:
//   class MyTest : public liron::test::DbTest {};       // empties the seven tables first
//   TEST_F(MyTest, X) {
//     liron::TMySQLConnection conn;
//     ASSERT_TRUE(db().Open(conn));                      // HostName, User_Name, Password set
//     db().Exec("insert into setup values ('MIN_PLS', 1.2, '')");
//     EXPECT_EQ(db().Scalar("select count(*) from setup"), "1");
//   }
// The server can be stopped and started again (same data, socket and port) with
// StopServer() / StartServer(), for tests of lost connections.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "db/mysql_connection.h"

namespace liron::test {

struct TestDbInfo {
  std::string Dir;       // the fixture's folder
  std::string Socket;    // absolute socket path, usable as Comp / HostName
  int Port = 0;          // TCP port on 127.0.0.1
  std::string User;      // root
  std::string Password;
};

class TestDb {
 public:
  // The process-wide helper; finds or starts the server on first use.
  static TestDb& Get();

  bool Ready() const { return ready_; }
  const std::string& Error() const { return error_; }
  const TestDbInfo& Info() const { return info_; }

  std::string Comp() const { return info_.Socket; }  // the socket path
  std::string CompTcp() const { return "127.0.0.1:" + std::to_string(info_.Port); }
  const std::string& User() const { return info_.User; }
  const std::string& Password() const { return info_.Password; }

  // Points a connection at the server (HostName = socket, User_Name, Password); the database
  // stays liron36. Does not open it.
  void Configure(TMySQLConnection& conn) const;
  // Configures and opens.
  bool Open(TMySQLConnection& conn, std::string* error = nullptr) const;

  // Statements on the helper's own connection (reopened when the server went away). A failure
  // is recorded as a test failure (ADD_FAILURE) and gives false / an empty result.
  bool Exec(const std::string& sql);
  TSqlRows Query(const std::string& sql);
  // The first column of the first row as text; "NULL" for NULL, "" when there is no row.
  std::string Scalar(const std::string& sql);
  int64_t Count(const std::string& table);  // select count(*) from table

  // Empties the seven tables of the service.
  bool ResetTables();
  // Drops the database and creates it again from sql/schema.sql (after a test changed columns).
  bool RecreateSchema();
  // Loads sql/demo-plan.sql.
  bool LoadDemoPlan();

  // Stops the server by its pid and starts it again on the same data, socket and port.
  bool StopServer();
  bool StartServer();

  ~TestDb();

 private:
  TestDb();
  bool RunFixture(const std::string& command);
  bool RunSqlFile(const std::string& path);
  bool EnsureAdmin();

  TestDbInfo info_;
  bool ready_ = false;
  bool started_here_ = false;
  std::string error_;
  TMySQLConnection admin_;
};

// Base of the tests that use the database: fails the test when there is no server, and
// empties the tables before each test.
class DbTest : public ::testing::Test {
 protected:
  void SetUp() override;
  static TestDb& db() { return TestDb::Get(); }
};

}  // namespace liron::test

#include "support/test_db.h"

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <mutex>

namespace liron::test {

namespace {

const char kTables[][16] = {"`signal`",   "kalibr",         "setup",      "last_state",
                            "pu_data",    "control_vector", "control_log"};

std::string FixtureDir() {
  if (const char* dir = std::getenv("LIRON_TEST_DB"); dir && *dir) return dir;
  return std::string(LIRON_BINARY_DIR) + "/testdb";
}

bool ReadEnvFile(const std::string& dir, TestDbInfo* info) {
  std::ifstream f(dir + "/env");
  if (!f) return false;
  info->Dir = dir;
  std::string line;
  while (std::getline(f, line)) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "SOCKET") info->Socket = value;
    else if (key == "PORT") info->Port = std::atoi(value.c_str());
    else if (key == "USER") info->User = value;
    else if (key == "PASSWORD") info->Password = value;
  }
  return !info->Socket.empty() && info->Port > 0 && !info->User.empty();
}

bool RunShell(const std::string& command) {
  const int rc = std::system(command.c_str());
  return rc != -1 && WIFEXITED(rc) && WEXITSTATUS(rc) == 0;
}

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

}  // namespace

TestDb& TestDb::Get() {
  static TestDb db;
  return db;
}

TestDb::TestDb() {
  const std::string dir = FixtureDir();
  if (!RunFixture("status")) {
    // Run by hand, without the CTest fixture: bring up a server of our own.
    if (!RunFixture("start")) {
      error_ = "could not start the test server in " + dir + " (see its server.log)";
      return;
    }
    started_here_ = true;
  }
  if (!ReadEnvFile(dir, &info_)) {
    error_ = "no usable " + dir + "/env";
    return;
  }
  std::string err;
  if (!Open(admin_, &err)) {
    error_ = "cannot connect to the test server: " + err;
    return;
  }
  ready_ = true;
}

TestDb::~TestDb() {
  admin_.Close();
  if (started_here_) RunFixture("stop");
}

bool TestDb::RunFixture(const std::string& command) {
  return RunShell(Quoted(std::string(LIRON_SOURCE_DIR) + "/scripts/dbfixture") + " " + command +
                  " " + Quoted(FixtureDir()) + " >/dev/null");
}

void TestDb::Configure(TMySQLConnection& conn) const {
  conn.SetConnParam("HostName", info_.Socket);
  conn.SetConnParam("User_Name", info_.User);
  conn.SetConnParam("Password", info_.Password);
}

bool TestDb::Open(TMySQLConnection& conn, std::string* error) const {
  Configure(conn);
  return conn.Open(error);
}

bool TestDb::EnsureAdmin() {
  if (admin_.IsOpen()) return true;
  std::string err;
  if (Open(admin_, &err)) return true;
  ADD_FAILURE() << "test server: " << err;
  return false;
}

bool TestDb::Exec(const std::string& sql) {
  if (!EnsureAdmin()) return false;
  std::string err;
  if (admin_.Execute(sql, &err)) return true;
  // The server may have been restarted under the handle: one more try on a fresh link.
  if (!admin_.IsOpen() && EnsureAdmin() && admin_.Execute(sql, &err)) return true;
  ADD_FAILURE() << sql << ": " << err;
  return false;
}

TSqlRows TestDb::Query(const std::string& sql) {
  TSqlRows rows;
  if (!EnsureAdmin()) return rows;
  std::string err;
  if (admin_.Query(sql, &rows, &err)) return rows;
  if (!admin_.IsOpen() && EnsureAdmin() && admin_.Query(sql, &rows, &err)) return rows;
  ADD_FAILURE() << sql << ": " << err;
  return rows;
}

std::string TestDb::Scalar(const std::string& sql) {
  const TSqlRows rows = Query(sql);
  if (rows.Rows.empty() || rows.Rows[0].empty()) return "";
  const TSqlValue& v = rows.Rows[0][0];
  return v.Null ? "NULL" : v.Text;
}

int64_t TestDb::Count(const std::string& table) {
  int64_t n = -1;
  TSqlValue::Of(Scalar("select count(*) from " + table)).AsInt(&n);
  return n;
}

bool TestDb::ResetTables() {
  bool ok = true;
  for (const char* t : kTables) ok = Exec(std::string("truncate table ") + t) && ok;
  return ok;
}

bool TestDb::RunSqlFile(const std::string& path) {
  // The fixture's option file holds the password: none on the command line.
  const bool ok = RunShell("mariadb --defaults-file=" + Quoted(info_.Dir + "/client.cnf") +
                           " < " + Quoted(path));
  if (!ok) ADD_FAILURE() << "loading " << path << " failed";
  return ok;
}

bool TestDb::RecreateSchema() {
  if (!Exec("drop database if exists liron36")) return false;
  const bool ok = RunSqlFile(std::string(LIRON_SOURCE_DIR) + "/sql/schema.sql");
  admin_.Close();  // its default database was dropped under it
  return ok && EnsureAdmin();
}

bool TestDb::LoadDemoPlan() {
  return RunSqlFile(std::string(LIRON_SOURCE_DIR) + "/sql/demo-plan.sql");
}

bool TestDb::StopServer() {
  admin_.Close();
  return RunFixture("stop");
}

bool TestDb::StartServer() { return RunFixture("resume") && EnsureAdmin(); }

void DbTest::SetUp() {
  ASSERT_TRUE(db().Ready()) << db().Error();
  ASSERT_TRUE(db().ResetTables());
}

}  // namespace liron::test

#include "support/private_server.h"

#include <cstdlib>

namespace liron::test {

PrivateServer::PrivateServer(Transport transport)
    : fixture_(std::string(LIRON_SOURCE_DIR) + "/scripts/dbfixture ") {
  const char* command = transport == Transport::kTlsOnly ? "start-tls " : "start ";
  ready_ = std::system((fixture_ + command + dir_.path() + " >/dev/null").c_str()) == 0;
  env_ = ReadFileBytes(dir_.File("env"));
}

PrivateServer::~PrivateServer() { std::system((fixture_ + "stop " + dir_.path()).c_str()); }

std::string PrivateServer::Value(const std::string& key) const {
  const size_t at = env_.find(key + "=");
  if (at == std::string::npos) return "";
  const size_t from = at + key.size() + 1;
  return env_.substr(from, env_.find('\n', from) - from);
}

bool PrivateServer::RunSqlFile(const std::string& source_path) const {
  const std::string command = "mariadb --defaults-file='" + dir_.File("client.cnf") + "' < '" +
                              LIRON_SOURCE_DIR + "/" + source_path + "'";
  return std::system(command.c_str()) == 0;
}

void PrivateServer::ConfigureRoot(TMySQLConnection& conn) const {
  conn.SetConnParam("HostName", Value("SOCKET"));
  conn.SetConnParam("User_Name", "root");
  conn.SetConnParam("Password", Value("PASSWORD"));
}

}  // namespace liron::test

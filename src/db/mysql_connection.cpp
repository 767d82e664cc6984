#include "db/mysql_connection.h"

#include <mysql.h>
#include <errmsg.h>
#include <string.h>
#include <strings.h>

#include <cstdlib>
#include <mutex>

#include "platform/datetime.h"

namespace liron {

namespace {

// Time-outs of every connection: a dead server must not hold a timer handler for minutes.
constexpr unsigned kConnectTimeoutSec = 5;
constexpr unsigned kReadTimeoutSec = 10;
constexpr unsigned kWriteTimeoutSec = 10;

// Run by the client at every connect, before the connection is handed out. A server set up
// with NO_BACKSLASH_ESCAPES (part of the ANSI modes) would read a backslash in a literal as a
// plain letter; the session drops the mode, so every literal reads the same on every server.
// A failing command fails the connect with its error.
constexpr char kSessionInit[] =
    "SET SESSION sql_mode=REPLACE(@@SESSION.sql_mode,'NO_BACKSLASH_ESCAPES','')";

std::once_flag g_library_once;

void LibraryInit() {
  // mysql_library_init is not thread-safe; the first connection of any thread runs it once.
  std::call_once(g_library_once, [] { mysql_library_init(0, nullptr, nullptr); });
}

// Errors after which the link to the server is gone and the handle is useless.
bool LinkLost(unsigned err) {
  return err == CR_SERVER_GONE_ERROR || err == CR_SERVER_LOST || err == CR_SERVER_LOST_EXTENDED ||
         err == CR_CONNECTION_ERROR || err == CR_CONN_HOST_ERROR || err == CR_COMMANDS_OUT_OF_SYNC;
}

// The server's NOW() on a fresh handle; false when it did not say (the opening stands).
bool ServerNow(MYSQL* h, TDateTime* now) {
  if (mysql_query(h, "SELECT NOW()") != 0) return false;
  MYSQL_RES* res = mysql_store_result(h);
  if (!res) return false;
  MYSQL_ROW row = mysql_fetch_row(res);
  const bool ok = row && row[0] && ParseSqlDateTime(row[0], now);
  mysql_free_result(res);
  return ok;
}

std::string ErrorText(MYSQL* h) {
  return std::to_string(mysql_errno(h)) + ": " + mysql_error(h);
}

void SetError(std::string* error, const std::string& text) {
  if (error) *error = text;
}

// TLS by the connection's SSL_ parameters (over TCP only: a socket of this machine needs
// none). False with the reason for a mode that is none of off, required and verify: a typo
// must not connect in clear text.
bool SetTls(MYSQL* h, const std::string& mode, const std::string& ca, const std::string& cert,
            const std::string& key, std::string* error) {
  if (mode.empty() || strcasecmp(mode.c_str(), "off") == 0) return true;
  const bool verify = strcasecmp(mode.c_str(), "verify") == 0;
  if (!verify && strcasecmp(mode.c_str(), "required") != 0) {
    SetError(error, "SSL_Mode \"" + mode + "\" is none of off, required, verify");
    return false;
  }
  my_bool enforce = 1, check = verify ? 1 : 0;
  mysql_optionsv(h, MYSQL_OPT_SSL_ENFORCE, &enforce);
  mysql_optionsv(h, MYSQL_OPT_SSL_VERIFY_SERVER_CERT, &check);
  if (!ca.empty()) mysql_optionsv(h, MYSQL_OPT_SSL_CA, ca.c_str());
  if (!cert.empty()) mysql_optionsv(h, MYSQL_OPT_SSL_CERT, cert.c_str());
  if (!key.empty()) mysql_optionsv(h, MYSQL_OPT_SSL_KEY, key.c_str());
  return true;
}

}  // namespace

const TSqlValue* TSqlRows::Field(size_t r, const std::string& column) const {
  if (r >= Rows.size()) return nullptr;
  for (size_t c = 0; c < Columns.size(); ++c)
    if (strcasecmp(Columns[c].c_str(), column.c_str()) == 0)
      return c < Rows[r].size() ? &Rows[r][c] : nullptr;
  return nullptr;
}

void MySqlThreadEnd() { mysql_thread_end(); }

const char kBuiltInLogin[] = "root";
const char kBuiltInPassword[] = "46271";

std::vector<std::string> DefaultConnParams() {
  return {"DriverName=MySQL",
          "HostName=127.0.0.1",
          "Database=liron36",
          std::string("User_Name=") + kBuiltInLogin,
          std::string("Password=") + kBuiltInPassword,
          "BlobSize=-1",
          "ErrorResourceFile=",
          "LocaleCode=0000"};
}

bool SplitHostName(const std::string& host_name, std::string* host, unsigned* port,
                   std::string* socket) {
  host->clear();
  socket->clear();
  *port = 0;
  if (host_name.empty()) return false;
  if (host_name[0] == '/') {
    *host = "localhost";
    *socket = host_name;
    return true;
  }
  const size_t colon = host_name.rfind(':');
  // One colon is host:port; an IPv6 address has several and no port part here.
  if (colon != std::string::npos && host_name.find(':') == colon) {
    const std::string digits = host_name.substr(colon + 1);
    if (digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
      return false;
    const unsigned long p = std::strtoul(digits.c_str(), nullptr, 10);
    if (p == 0 || p > 65535 || colon == 0) return false;
    *host = host_name.substr(0, colon);
    *port = static_cast<unsigned>(p);
    return true;
  }
  *host = host_name;
  return true;
}

TMySQLConnection::TMySQLConnection() : params_(DefaultConnParams()) {}

TMySQLConnection::~TMySQLConnection() { Close(); }

std::vector<std::string> TMySQLConnection::Params() const {
  std::lock_guard<std::mutex> l(params_mu_);
  return params_;
}

void TMySQLConnection::SetParams(const std::vector<std::string>& params) {
  std::lock_guard<std::mutex> l(params_mu_);
  params_ = params;
}

void TMySQLConnection::SetConnParam(const std::string& key, const std::string& value) {
  std::lock_guard<std::mutex> l(params_mu_);
  for (auto& line : params_) {
    if (line.find(key) != std::string::npos) {
      line = key + "=" + value;
      return;
    }
  }
  params_.push_back(key + "=" + value);
}

std::string TMySQLConnection::Param(const std::string& key) const {
  std::lock_guard<std::mutex> l(params_mu_);
  const std::string prefix = key + "=";
  for (const auto& line : params_)
    if (line.compare(0, prefix.size(), prefix) == 0) return line.substr(prefix.size());
  return "";
}

bool TMySQLConnection::Open(std::string* error) {
  LibraryInit();
  std::string host, socket;
  unsigned port = 0;
  const std::string host_name = Param("HostName");
  if (!SplitHostName(host_name, &host, &port, &socket)) {
    SetError(error, "bad HostName \"" + host_name + "\"");
    return false;
  }
  const std::string user = Param("User_Name");
  const std::string password = Param("Password");
  const std::string database = Param("Database");

  // Connecting takes up to the connect time-out; it happens outside the lock so that the
  // thread executing statements on the old handle is not held up meanwhile.
  MYSQL* h = mysql_init(nullptr);
  if (!h) {
    SetError(error, "out of memory");
    return false;
  }
  mysql_optionsv(h, MYSQL_SET_CHARSET_NAME, "utf8mb4");
  mysql_optionsv(h, MYSQL_OPT_CONNECT_TIMEOUT, &kConnectTimeoutSec);
  mysql_optionsv(h, MYSQL_OPT_READ_TIMEOUT, &kReadTimeoutSec);
  mysql_optionsv(h, MYSQL_OPT_WRITE_TIMEOUT, &kWriteTimeoutSec);
  mysql_optionsv(h, MYSQL_INIT_COMMAND, kSessionInit);
  // The client takes "localhost" for its default socket unless told otherwise: a port given
  // with any host name means TCP to that port.
  if (!socket.empty() || port != 0) {
    const unsigned protocol = socket.empty() ? MYSQL_PROTOCOL_TCP : MYSQL_PROTOCOL_SOCKET;
    mysql_optionsv(h, MYSQL_OPT_PROTOCOL, &protocol);
  }
  if (socket.empty() && !SetTls(h, Param("SSL_Mode"), Param("SSL_CA"), Param("SSL_Cert"),
                                Param("SSL_Key"), error)) {
    mysql_close(h);
    return false;
  }
  if (!mysql_real_connect(h, host.c_str(), user.c_str(), password.c_str(),
                          database.empty() ? nullptr : database.c_str(), port,
                          socket.empty() ? nullptr : socket.c_str(), CLIENT_FOUND_ROWS)) {
    SetError(error, ErrorText(h));
    mysql_close(h);
    return false;
  }
  OpenedHook hook;
  {
    std::lock_guard<std::mutex> l(params_mu_);
    hook = opened_hook_;
  }
  // The server's time is asked only when someone compares it with the station's.
  TDateTime server_now = 0;
  const bool told_time = hook && ServerNow(h, &server_now);
  MYSQL* old;
  {
    std::lock_guard<std::mutex> l(mu_);
    old = handle_;
    handle_ = h;
    open_ = true;
  }
  if (old) mysql_close(old);
  if (told_time) hook(server_now);
  return true;
}

void TMySQLConnection::SetOpenedHook(OpenedHook hook) {
  std::lock_guard<std::mutex> l(params_mu_);
  opened_hook_ = std::move(hook);
}

void TMySQLConnection::Close() {
  MYSQL* old;
  {
    std::lock_guard<std::mutex> l(mu_);
    old = handle_;
    handle_ = nullptr;
    open_ = false;
  }
  if (old) mysql_close(old);
}

bool TMySQLConnection::IsOpen() const { return open_.load(); }

bool TMySQLConnection::Connected() {
  std::lock_guard<std::mutex> l(mu_);
  if (!handle_) return false;
  if (mysql_ping(handle_) == 0) return true;
  DropLocked();
  return false;
}

void TMySQLConnection::DropLocked() {
  mysql_close(handle_);
  handle_ = nullptr;
  open_ = false;
}

bool TMySQLConnection::FailLocked(std::string* error, unsigned* code) {
  const unsigned err = mysql_errno(handle_);
  if (code) *code = err;
  SetError(error, ErrorText(handle_));
  if (LinkLost(err)) DropLocked();
  return false;
}

bool TMySQLConnection::Execute(const std::string& sql, std::string* error, uint64_t* matched) {
  TSqlOutcome outcome;
  const bool ok = Execute(sql, outcome);
  if (!ok) SetError(error, outcome.Error);
  if (ok && matched) *matched = outcome.Matched;
  return ok;
}

bool TMySQLConnection::Execute(const std::string& sql, TSqlOutcome& outcome) {
  outcome = TSqlOutcome{};
  std::lock_guard<std::mutex> l(mu_);
  if (!handle_) {
    outcome.Error = "not connected";
    return false;
  }
  if (mysql_real_query(handle_, sql.data(), sql.size()) != 0)
    return FailLocked(&outcome.Error, &outcome.Code);
  // A statement that answered rows anyway: read them off the line so the next one can go.
  if (mysql_field_count(handle_) > 0) {
    MYSQL_RES* res = mysql_store_result(handle_);
    if (!res) return FailLocked(&outcome.Error, &outcome.Code);
    mysql_free_result(res);
    return true;
  }
  // The connection asks for found rows (CLIENT_FOUND_ROWS): an UPDATE counts the rows it
  // matched, so a row written with the values it held is told from a row that is not there.
  outcome.Matched = mysql_affected_rows(handle_);
  return true;
}

bool TMySQLConnection::Query(const std::string& sql, TSqlRows* rows, std::string* error) {
  rows->Columns.clear();
  rows->Rows.clear();
  std::lock_guard<std::mutex> l(mu_);
  if (!handle_) {
    SetError(error, "not connected");
    return false;
  }
  if (mysql_real_query(handle_, sql.data(), sql.size()) != 0) return FailLocked(error);
  if (mysql_field_count(handle_) == 0) return true;  // no result set: no columns, no rows
  MYSQL_RES* res = mysql_store_result(handle_);
  if (!res) return FailLocked(error);
  const unsigned n = mysql_num_fields(res);
  MYSQL_FIELD* fields = mysql_fetch_fields(res);
  rows->Columns.reserve(n);
  for (unsigned c = 0; c < n; ++c) rows->Columns.emplace_back(fields[c].name);
  rows->Rows.reserve(mysql_num_rows(res));
  while (MYSQL_ROW row = mysql_fetch_row(res)) {
    unsigned long* lengths = mysql_fetch_lengths(res);
    std::vector<TSqlValue> values(n);
    for (unsigned c = 0; c < n; ++c)
      if (row[c]) values[c] = TSqlValue::Of(std::string(row[c], lengths[c]));
    rows->Rows.push_back(std::move(values));
  }
  mysql_free_result(res);
  return true;
}

}  // namespace liron

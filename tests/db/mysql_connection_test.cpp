#include "db/mysql_connection.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "db/clock_check.h"
#include "platform/fake_clock.h"
#include "support/private_server.h"
#include "support/test_db.h"

namespace liron {
namespace {

using test::PrivateServer;

TEST(SetConnParam, DesignTimeList) {
  TMySQLConnection c;
  const std::vector<std::string> initial = c.Params();
  ASSERT_EQ(initial.size(), 8u);
  EXPECT_EQ(initial[0], "DriverName=MySQL");
  EXPECT_EQ(initial[2], "Database=liron36");
  EXPECT_EQ(initial[7], "LocaleCode=0000");

  c.SetConnParam("HostName", "db.plant");
  std::vector<std::string> p = c.Params();
  ASSERT_EQ(p.size(), 8u);
  EXPECT_EQ(p[1], "HostName=db.plant");
  EXPECT_EQ(c.Param("HostName"), "db.plant");

  c.SetConnParam("Charset", "utf8mb4");
  p = c.Params();
  ASSERT_EQ(p.size(), 9u);
  EXPECT_EQ(p[8], "Charset=utf8mb4");

  // A plain substring test: "0000" stands only in LocaleCode's value, and that line goes.
  c.SetConnParam("0000", "x");
  p = c.Params();
  ASSERT_EQ(p.size(), 9u);
  EXPECT_EQ(p[7], "0000=x");
  // "Name" first occurs in DriverName.
  c.SetConnParam("Name", "y");
  EXPECT_EQ(c.Params()[0], "Name=y");
}

TEST(SplitHostName, HostPortSocket) {
  std::string host, socket;
  unsigned port = 1;
  ASSERT_TRUE(SplitHostName("127.0.0.1", &host, &port, &socket));
  EXPECT_EQ(host, "127.0.0.1");
  EXPECT_EQ(port, 0u);
  EXPECT_EQ(socket, "");
  ASSERT_TRUE(SplitHostName("db.plant:3307", &host, &port, &socket));
  EXPECT_EQ(host, "db.plant");
  EXPECT_EQ(port, 3307u);
  ASSERT_TRUE(SplitHostName("/run/mysqld/mysqld.sock", &host, &port, &socket));
  EXPECT_EQ(host, "localhost");
  EXPECT_EQ(socket, "/run/mysqld/mysqld.sock");
  ASSERT_TRUE(SplitHostName("::1", &host, &port, &socket));
  EXPECT_EQ(host, "::1");
  EXPECT_EQ(port, 0u);
  EXPECT_FALSE(SplitHostName("", &host, &port, &socket));
  EXPECT_FALSE(SplitHostName("host:", &host, &port, &socket));
  EXPECT_FALSE(SplitHostName("host:70000", &host, &port, &socket));
  EXPECT_FALSE(SplitHostName("host:33a", &host, &port, &socket));
}

class Connection : public test::DbTest {};

TEST_F(Connection, OpensBySocketAndByTcpPort) {
  TMySQLConnection by_socket;
  std::string err;
  ASSERT_TRUE(db().Open(by_socket, &err)) << err;
  EXPECT_TRUE(by_socket.Connected());

  // "localhost" with a port is TCP to that port too, not the client's default socket.
  const std::string port = db().CompTcp().substr(db().CompTcp().find(':'));
  for (const std::string& comp : {db().CompTcp(), "localhost" + port}) {
    SCOPED_TRACE(comp);
    TMySQLConnection by_port;
    db().Configure(by_port);
    by_port.SetConnParam("HostName", comp);
    ASSERT_TRUE(by_port.Open(&err)) << err;
    TSqlRows rows;
    ASSERT_TRUE(by_port.Query("select database() as Rez, @@character_set_connection cs, host from "
                              "information_schema.processlist where id = connection_id()",
                              &rows, &err))
        << err;
    EXPECT_EQ(rows.Field(0, "rez")->Text, "liron36");
    EXPECT_EQ(rows.Field(0, "CS")->Text, "utf8mb4");
    EXPECT_EQ(rows.Field(0, "host")->Text.rfind("127.0.0.1:", 0), 0u) << rows.Field(0, "host")->Text;
  }
}

// Each opening compares the station's clock with the server's; the journal hears of a
// difference above 60 s once per episode.
TEST_F(Connection, ClockCheckJournalsOncePerEpisode) {
  FakeClock clock(SystemClock().Now());
  std::vector<std::string> journal;
  TClockCheck check(clock, [&journal](const std::string& t) { journal.push_back(t); });
  TMySQLConnection c;
  db().Configure(c);
  c.SetOpenedHook([&check](TDateTime server_now) { check.Compare(server_now); });
  const TDateTime hour = 1.0 / 24;
  struct Step {
    TDateTime station_ahead;
    size_t journalled;
  } steps[] = {{0, 0}, {hour, 1}, {hour, 1}, {0, 1}, {-hour, 2}, {-hour, 2}};
  for (const Step& s : steps) {
    clock.SetNow(SystemClock().Now() + s.station_ahead);
    std::string err;
    ASSERT_TRUE(c.Open(&err)) << err;
    EXPECT_EQ(journal.size(), s.journalled) << s.station_ahead;
    // The server's time as the check knows it does not follow the station's clock.
    ASSERT_TRUE(check.ServerNow().has_value());
    EXPECT_NEAR(*check.ServerNow(), SystemClock().Now(), 5.0 / 86400);
  }
  clock.SetNow(SystemClock().Now() + 3 * hour);
  EXPECT_NEAR(*check.ServerNow(), SystemClock().Now(), 5.0 / 86400);
  EXPECT_EQ(journal[0].rfind("Часы станции расходятся с часами MySQL сервера на 360", 0), 0u)
      << journal[0];
}

// A server of its own that takes TCP connections only with TLS, its certificate made for
// localhost and 127.0.0.1 by the CA in tls/ca.pem.
TEST(TlsConnection, EachModeAgainstAServerThatRequiresTls) {
  const PrivateServer server(PrivateServer::Transport::kTlsOnly);
  ASSERT_TRUE(server.Ready());
  const std::string port = server.Value("PORT");
  const std::string ca = server.File("tls/ca.pem"), other = server.File("tls/other-ca.pem");
  struct Case {
    const char* host;
    const char* mode;
    std::string ca;
    bool opens;
    const char* says;  // part of the error text
  } cases[] = {
      {"127.0.0.1", "off", "", false, ""},  // refused: clear text (the server says 1045)
      {"127.0.0.1", "required", "", true, ""},
      {"127.0.0.1", "verify", ca, true, ""},
      {"localhost", "verify", ca, true, ""},
      {"127.0.0.1", "verify", other, false, ""},  // the client's own text
      {"127.0.0.1", "verfiy", ca, false, "SSL_Mode \"verfiy\" is none of off, required, verify"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.host) + " " + c.mode + " " + c.ca);
    TMySQLConnection conn;
    server.ConfigureRoot(conn);
    conn.SetConnParam("HostName", c.host + (":" + port));
    conn.SetConnParam("SSL_Mode", c.mode);
    conn.SetConnParam("SSL_CA", c.ca);
    std::string err;
    EXPECT_EQ(conn.Open(&err), c.opens) << err;
    if (!c.opens) {
      EXPECT_FALSE(err.empty());
      EXPECT_NE(err.find(c.says), std::string::npos) << err;
      continue;
    }
    TSqlRows rows;
    ASSERT_TRUE(conn.Query("show status like 'Ssl_cipher'", &rows, &err)) << err;
    EXPECT_NE(rows.Field(0, "Value")->Text, "");
  }
  // The socket of this machine needs no TLS: the mode is not applied to it.
  TMySQLConnection local;
  server.ConfigureRoot(local);
  local.SetConnParam("SSL_Mode", "verify");
  local.SetConnParam("SSL_CA", other);
  std::string err;
  EXPECT_TRUE(local.Open(&err)) << err;
}

TEST_F(Connection, WrongPasswordFailsWithTheServersText) {
  TMySQLConnection c;
  db().Configure(c);
  c.SetConnParam("Password", "wrong");
  std::string err;
  EXPECT_FALSE(c.Open(&err));
  EXPECT_NE(err.find("1045"), std::string::npos) << err;
  EXPECT_FALSE(c.IsOpen());
  EXPECT_FALSE(c.Connected());
  EXPECT_FALSE(c.Execute("select 1", &err));
}

TEST_F(Connection, RowsByNameNullApartFromEmpty) {
  TMySQLConnection c;
  ASSERT_TRUE(db().Open(c));
  ASSERT_TRUE(c.Execute("insert into setup (ConstName, ConstVal, Comment) values "
                        "('A', 1.5, ''), ('B', NULL, NULL), ('В', -2, 'Уровень')"));
  TSqlRows rows;
  std::string err;
  ASSERT_TRUE(c.Query("select * from setup order by ConstName", &rows, &err)) << err;
  ASSERT_EQ(rows.Rows.size(), 3u);
  ASSERT_EQ(rows.Columns.size(), 3u);
  double v = 0;
  ASSERT_TRUE(rows.Field(0, "ConstVal")->AsDouble(&v));
  EXPECT_EQ(v, 1.5);
  EXPECT_FALSE(rows.Field(0, "Comment")->Null);
  EXPECT_EQ(rows.Field(0, "Comment")->Text, "");
  EXPECT_TRUE(rows.Field(1, "ConstVal")->Null);
  EXPECT_TRUE(rows.Field(1, "Comment")->Null);
  EXPECT_EQ(rows.Field(2, "ConstName")->Text, "В");  // Cyrillic comes back as it went in
  EXPECT_EQ(rows.Field(2, "Comment")->Text, "Уровень");
  EXPECT_EQ(rows.Field(3, "ConstName"), nullptr);
  EXPECT_EQ(rows.Field(0, "NoSuchColumn"), nullptr);

  // A statement the server rejects: false with its text, the connection stays usable.
  EXPECT_FALSE(c.Execute("insert into no_such_table values (1)", &err));
  EXPECT_NE(err.find("1146"), std::string::npos) << err;
  EXPECT_TRUE(c.IsOpen());
  EXPECT_TRUE(c.Connected());
  // "signal" is reserved: only the quoted name works.
  EXPECT_FALSE(c.Query("select count(*) Rez from signal", &rows));
  EXPECT_TRUE(c.Query("select count(*) Rez from `signal`", &rows));
}

TEST_F(Connection, OpenAndCloseWhileAnotherThreadExecutes) {
  TMySQLConnection c;
  ASSERT_TRUE(db().Open(c));
  std::atomic<bool> stop{false};
  std::atomic<int> ok{0};
  std::thread gui([&] {
    while (!stop) {
      TSqlRows rows;
      if (c.Query("select 1 as Rez", &rows)) ++ok;
    }
    MySqlThreadEnd();
  });
  // At least 20 reopenings, and on until the other thread got some answers in between.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  for (int i = 0; i < 20 || (ok < 5 && std::chrono::steady_clock::now() < deadline); ++i) {
    c.Close();
    ASSERT_TRUE(c.Open());
    std::this_thread::yield();
  }
  stop = true;
  gui.join();
  EXPECT_GT(ok.load(), 0);
  EXPECT_TRUE(c.Connected());
}

}  // namespace
}  // namespace liron

#include "plant_setup.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "db/config_file.h"
#include "platform/codec.h"
#include "support/test_db.h"

namespace liron::test {

bool TestPlant::Start(std::string* error) {
  TestDb& db = TestDb::Get();
  if (!db.Ready()) {
    *error = "no database: " + db.Error();
    return false;
  }
  if (!db.ResetTables() || !db.LoadDemoPlan()) {
    *error = "cannot load the demo plan";
    return false;
  }
  // A one-to-one scale for the totaliser, so the minute's G_1T1 reads in counter hundredths.
  db.Exec("delete from kalibr where SignalName='G_1T1'");
  db.Exec("insert into kalibr (SignalName, AVal, FVal) values ('G_1T1', 0, 0), ('G_1T1', 100, 100)");

  WriteFileBytes(home.File("jumo.conf"),
                 "slave 1\nfloat 53 50 order=CDAB\nfloat 71 60 order=CDAB\nfloat 8 0 order=CDAB\n"
                 "slave 2\nfloat 53 45 order=CDAB\nfloat 71 40 order=CDAB\nfloat 8 0 order=CDAB\n");
  WriteFileBytes(home.File("v120.conf"),
                 "unit 1\n1 totaliser 52 1000 step=250\n1 word 111 2000\n1 bit 10 1\n");
  jumo_log = home.File("jumo.log");
  v120_log = home.File("v120.log");
  if (!jumo.Start(LIRON_JUMO_SIM,
                  {"--config", home.File("jumo.conf"), "--pty", home.File("jumo"), "--log", jumo_log},
                  home.File("jumo"), home.File("jumo.out"), 5000, error))
    return false;
  if (!v120.Start(LIRON_V120_SIM,
                  {"--config", home.File("v120.conf"), "--link", home.File("v120"), "--log", v120_log,
                   "--speed", "9600"},
                  home.File("v120"), home.File("v120.out"), 5000, error))
    return false;

  settings.ModBUS_PortName = home.File("jumo");
  settings.ModBUS_PortSpeed = 19200;
  settings.V120_PortName = home.File("v120");
  settings.V120_PortSpeed = 9600;
  settings.AutoStart = true;
  settings.Comp = db.Comp();
  settings.Login = db.User();
  settings.Password = db.Password();
  return WriteIni(error);
}

bool TestPlant::WriteIni(std::string* error) {
  WriteFileBytes(Ini(), "[MySQL]\r\nServiceName=\r\nStartTime=0\r\n");
  return WriteConfig(Ini(), settings, error);
}

std::string TestPlant::EventLog() const {
  std::string all;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(home.File("LOG"), ec))
    all += Cp1251ToUtf8(ReadFileBytes(e.path().string()));
  return all;
}

int CountLines(const std::string& path, const std::string& text) {
  std::ifstream in(path);
  std::string line;
  int n = 0;
  while (std::getline(in, line)) n += line.find(text) != std::string::npos;
  return n;
}

}  // namespace liron::test

#include "plant_setup.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "db/config_file.h"
#include "platform/codec.h"
#include "support/test_db.h"

namespace liron::test {

bool TestPlant::Start(std::string* error) {
  if (!LoadPlan(error)) return false;
  TestDb& db = TestDb::Get();
  if (!db.Ready()) {
    *error = "no database: " + db.Error();
    return false;
  }
  if (control_files) {
    jumo_control = home.File("jumo.control");
    v120_control = home.File("v120.control");
    WriteFileBytes(jumo_control, "");
    WriteFileBytes(v120_control, "");
  }

  WriteFileBytes(home.File("jumo.conf"),
                 "slave 1\nfloat 53 50 order=CDAB\nfloat 71 60 order=CDAB\nfloat 8 0 order=CDAB\n"
                 "slave 2\nfloat 53 45 order=CDAB\nfloat 71 40 order=CDAB\nfloat 8 0 order=CDAB\n");
  WriteFileBytes(home.File("v120.conf"),
                 "unit 1\n1 totaliser 52 1000 step=250\n1 word 111 2000\n1 bit 10 1\n");
  jumo_log = home.File("jumo.log");
  v120_log = home.File("v120.log");
  std::vector<std::string> jumo_args = {"--config", home.File("jumo.conf"), "--pty",
                                        home.File("jumo"), "--log", jumo_log};
  std::vector<std::string> v120_args = {"--config", home.File("v120.conf"), "--link",
                                        home.File("v120"), "--log", v120_log, "--speed", "9600"};
  if (control_files) {
    jumo_args.insert(jumo_args.end(), {"--control", jumo_control});
    v120_args.insert(v120_args.end(), {"--control", v120_control});
  }
  if (!jumo.Start(LIRON_JUMO_SIM, jumo_args, home.File("jumo"), home.File("jumo.out"), 5000, error))
    return false;
  if (!v120.Start(LIRON_V120_SIM, v120_args, home.File("v120"), home.File("v120.out"), 5000, error))
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

bool TestPlant::LoadPlan(std::string* error) {
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
  return true;
}

bool TestPlant::WriteIni(std::string* error) {
  WriteFileBytes(Ini(), "[MySQL]\r\nServiceName=\r\nStartTime=0\r\n");
  return WriteConfig(Ini(), settings, error);
}

bool TestPlant::StartDaemon(ChildProcess* daemon, const std::string& output_name) const {
  return daemon->Start({LIRON_PROGRAM, "--headless", "--home", home.path()}, home.File(output_name));
}

std::string TestPlant::EventLog() const {
  std::string all;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(home.File("LOG"), ec))
    all += Cp1251ToUtf8(ReadFileBytes(e.path().string()));
  return all;
}

std::vector<std::string> TestPlant::EventTexts() const {
  std::vector<std::string> files;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(home.File("LOG"), ec))
    files.push_back(e.path().string());
  std::sort(files.begin(), files.end());  // yyyy_mm_dd.log: the days in order
  std::vector<std::string> texts;
  for (const std::string& f : files) {
    std::istringstream in(Cp1251ToUtf8(ReadFileBytes(f)));
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      size_t p = 0;
      for (int bar = 0; bar < 3 && p != std::string::npos; ++bar) {
        p = line.find(" | ", p);
        if (p != std::string::npos) p += 3;
      }
      if (p != std::string::npos) texts.push_back(line.substr(p));
    }
  }
  return texts;
}

int CountEvents(const std::vector<std::string>& texts, const std::string& text) {
  return static_cast<int>(std::count(texts.begin(), texts.end(), text));
}

double CpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat;
  if (!std::getline(in, stat)) return -1;
  // The fields after the command name, which stands in parentheses and may hold blanks.
  const size_t close = stat.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(stat.substr(close + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::stoull(field);
    if (i == 15) stime = std::stoull(field);
  }
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double StateRecordAge() {
  const std::string age =
      TestDb::Get().Scalar("select timestampdiff(second, RecMoment, now()) from last_state");
  return age.empty() || age == "NULL" ? 1e9 : std::stod(age);
}

std::string RunningCopies() {
  std::string out;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator("/proc", ec)) {
    const std::string pid = e.path().filename().string();
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string comm = ReadFileBytes("/proc/" + pid + "/comm");
    if (comm.rfind("liron36", 0) != 0) continue;
    std::string cmdline = ReadFileBytes("/proc/" + pid + "/cmdline");
    std::replace(cmdline.begin(), cmdline.end(), '\0', ' ');
    out += pid + " " + cmdline + "\n";
  }
  return out.empty() ? "" : "liron36 processes:\n" + out;
}

CwdGuard::CwdGuard() {
  std::error_code ec;
  dir_ = std::filesystem::current_path(ec).string();
}

CwdGuard::~CwdGuard() {
  if (!dir_.empty() && chdir(dir_.c_str()) != 0) std::perror("chdir");
}

pid_t DbServerPid(std::string* error) {
  const TestDbInfo& info = TestDb::Get().Info();
  std::string text = ReadFileBytes(info.Dir + "/server.pid");
  const pid_t pid = static_cast<pid_t>(std::atol(text.c_str()));
  if (pid <= 0) {
    *error = "no server pid in " + info.Dir;
    return -1;
  }
  // Only the server of this folder: its command line names the data folder.
  std::string cmdline = ReadFileBytes("/proc/" + std::to_string(pid) + "/cmdline");
  std::replace(cmdline.begin(), cmdline.end(), '\0', ' ');
  if (cmdline.find("--datadir=" + info.Dir + "/data") == std::string::npos) {
    *error = "pid " + std::to_string(pid) + " is not the test server: " + cmdline;
    return -1;
  }
  return pid;
}

bool KillDbServer(std::string* error) {
  const pid_t pid = DbServerPid(error);
  if (pid <= 0) return false;
  if (kill(pid, SIGKILL) != 0) {
    *error = "kill failed";
    return false;
  }
  // Gone, or a zombie its new parent has not reaped yet.
  auto gone = [&] {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    if (!std::getline(in, stat)) return true;
    const size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'Z';
  };
  if (!PollUntil(gone, 10)) {
    *error = "the server did not end";
    return false;
  }
  return true;
}

std::vector<long long> Totals(const std::string& v120_log) {
  std::ifstream in(v120_log);
  std::vector<long long> out;
  std::string line;
  const std::regex re("^total 1 52 (-?[0-9]+)");
  std::smatch m;
  while (std::getline(in, line))
    if (std::regex_search(line, m, re)) out.push_back(std::stoll(m[1]));
  return out;
}

int CountLines(const std::string& path, const std::string& text) {
  std::ifstream in(path);
  std::string line;
  int n = 0;
  while (std::getline(in, line)) n += line.find(text) != std::string::npos;
  return n;
}

}  // namespace liron::test

// The INI reading under arbitrary file bytes: IniFile::LoadText and its readers, and the
// service's own ReadConfig / WriteConfig / ReadStartupKeys on a file holding those bytes.
//
// Checked beyond "no crash": settings read from any file, written back into it and read again
// are the same settings (the password deciphers to what was enciphered, keys the write leaves
// alone keep their values), except where the file held Windows-1251 byte 0x98, which has no
// character and reads as U+FFFD, written back as '?'.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "db/config_file.h"
#include "db/ini_file.h"

namespace {

const std::string& IniPath() {
  static const std::string path = [] {
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm/ini-fuzz-XXXXXX" : "/tmp/ini-fuzz-XXXXXX";
    std::string dir = base;
    if (!mkdtemp(dir.data())) std::abort();
    return dir + "/liron36.INI";
  }();
  return path;
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (size && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
}

bool HasReplacement(const liron::TSettings& s) {
  static const std::string kFffd = "\xEF\xBF\xBD";
  for (const std::string* t : {&s.ModBUS_PortName, &s.V120_PortName, &s.Comp, &s.Login, &s.Password})
    if (t->find(kFffd) != std::string::npos) return true;
  return false;
}

bool Same(const liron::TSettings& a, const liron::TSettings& b) {
  return a.MaxWriteCount == b.MaxWriteCount && a.ModBUS_PortName == b.ModBUS_PortName &&
         a.ModBUS_PortSpeed == b.ModBUS_PortSpeed && a.V120_PortName == b.V120_PortName &&
         a.V120_PortSpeed == b.V120_PortSpeed && a.AverageLen == b.AverageLen &&
         a.AutoStart == b.AutoStart && a.AutoHide == b.AutoHide && a.ShowEmulTab == b.ShowEmulTab &&
         a.SaveLogFlag == b.SaveLogFlag && a.AutoCleanFlag == b.AutoCleanFlag &&
         a.DatabaseSize == b.DatabaseSize && a.Version == b.Version && a.Comp == b.Comp &&
         a.Login == b.Login && a.Password == b.Password;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 16384) return 0;
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  // The reader itself, on sections and keys the service uses.
  liron::IniFile ini;
  ini.LoadText(bytes);
  for (const char* section : {"main", "MySQL", "timeouts"}) {
    for (const char* key : {"ModBUS_PortName", "AverageLen", "AutoStart", "Password", "RMult",
                            "ServiceName", "StartTime"}) {
      (void)ini.HasKey(section, key);
      (void)ini.ReadString(section, key, "");
      int32_t n = ini.ReadInteger(section, key, 7);
      (void)n;
      (void)ini.ReadBool(section, key, true);
    }
  }
  // Writing keeps the file one key per line: what was written reads back as written.
  ini.WriteString("main", "ModBUS_PortName", bytes.substr(0, 40));
  liron::IniFile again;
  again.LoadText(ini.Text());
  (void)again.ReadString("main", "ModBUS_PortName", "");

  // The configuration file of the service.
  const std::string& path = IniPath();
  WriteFile(path, data, size);
  (void)liron::ReadStartupKeys(path);
  liron::TSettings first;
  std::string error;
  (void)liron::ReadConfig(path, first, &error);
  if (!liron::WriteConfig(path, first, &error)) {
    std::fprintf(stderr, "WriteConfig: %s\n", error.c_str());
    __builtin_trap();
  }
  liron::TSettings second;
  const bool ok = liron::ReadConfig(path, second, &error);
  if (!HasReplacement(first) && (!ok || !Same(first, second))) {
    std::fprintf(stderr, "settings changed on their way through the file (%s)\n", error.c_str());
    __builtin_trap();
  }
  return 0;
}

#include "platform/process_list.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <memory>

#include "platform/codec.h"

namespace liron {
namespace {

std::string ReadLink(const std::string& link) {
  errno = 0;
  char buf[4096];
  ssize_t n = ::readlink(link.c_str(), buf, sizeof buf);
  if (n <= 0 || static_cast<size_t>(n) >= sizeof buf) return {};
  std::string path(buf, static_cast<size_t>(n));
  // The kernel marks the link of a program whose file was removed or replaced while it ran.
  const std::string deleted = " (deleted)";
  if (path.size() > deleted.size() &&
      path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
    path.resize(path.size() - deleted.size());
  return path;
}

// argv[0] of a process, from /proc/<pid>/cmdline (readable for every user's processes).
std::string FirstArgument(const std::string& pid) {
  int fd = ::open(("/proc/" + pid + "/cmdline").c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  char buf[4096];
  ssize_t n = ::read(fd, buf, sizeof buf);
  ::close(fd);
  if (n <= 0) return {};
  return std::string(buf, strnlen(buf, static_cast<size_t>(n)));
}

std::string FileNameOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string UpperFileName(const std::string& utf8) {
  std::string bytes = Utf8ToCp1251(utf8);
  for (char& ch : bytes) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 'a' + 'A');
    else if (c >= 0xE0) c = static_cast<unsigned char>(c - 0x20);  // а..я -> А..Я
    else if (c == 0xB8) c = 0xA8;                                  // ё -> Ё
    else if (c == 0xB3) c = 0xB2;                                  // і -> І
    else if (c == 0xBF) c = 0xAF;                                  // ї -> Ї
    else if (c == 0xBA) c = 0xAA;                                  // є -> Є
    else if (c == 0xA2) c = 0xA1;                                  // ў -> Ў
    else if (c == 0xB4) c = 0xA5;                                  // ґ -> Ґ
    else if (c == 0xBC) c = 0xA3;                                  // ј -> Ј
    else if (c == 0xBE) c = 0xBD;                                  // ѕ -> Ѕ
    else if (c == 0x90) c = 0x80;                                  // ђ -> Ђ
    else if (c == 0x83) c = 0x81;                                  // ѓ -> Ѓ
    else if (c >= 0x9A && c <= 0x9F && c != 0x9B) c = static_cast<unsigned char>(c - 0x10);  // љ њ ќ ћ џ
    ch = static_cast<char>(c);
  }
  return Cp1251ToUtf8(bytes);
}

int CountRunningCopies(const std::string& exe_path) {
  std::unique_ptr<DIR, int (*)(DIR*)> proc(::opendir("/proc"), ::closedir);
  if (!proc) return 0;
  const std::string own_name = UpperFileName(FileNameOf(exe_path));
  int count = 0;
  while (dirent* e = ::readdir(proc.get())) {
    std::string pid = e->d_name;
    if (pid.empty() || !std::isdigit(static_cast<unsigned char>(pid[0]))) continue;
    std::string exe = ReadLink("/proc/" + pid + "/exe");
    if (exe.empty() && errno == EACCES) exe = FirstArgument(pid);
    if (exe.empty()) continue;  // a kernel thread, a zombie, or a process gone meanwhile
    if (exe == exe_path || UpperFileName(FileNameOf(exe)) == own_name) ++count;
  }
  return count;
}

std::string OwnExecutablePath() { return ReadLink("/proc/self/exe"); }

}  // namespace liron

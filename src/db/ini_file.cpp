#include "db/ini_file.h"

// Values stay bytes inside SimpleIni; this file converts them. The Debian header carries its
// template code only where SI_IMPLEMENTATION is defined, which is here alone.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <cerrno>
#include <cstring>
#include <strings.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/codec.h"

namespace liron {
namespace {

constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";

std::string SystemError(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

// A value is one line of the file; a line break inside it would start a new key or section.
std::string OneLine(std::string bytes) {
  for (char& c : bytes)
    if (c == '\r' || c == '\n') c = ' ';
  return bytes;
}

// SimpleIni ends lines with "\n" and leaves two blank lines between sections; a Windows station
// writes "\r\n" and at most one.
std::string WindowsLines(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  int blank_run = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    start = end + 1;
    blank_run = line.empty() ? blank_run + 1 : 0;
    if (blank_run > 1) continue;
    out += line;
    out += "\r\n";
  }
  return out;
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

struct IniFile::Impl {
  // CSimpleIniA matches names without regard to case; duplicate keys are kept so that the
  // first one can win, as on Windows.
  CSimpleIniA ini{false, true, false};
};

IniFile::IniFile() : impl_(std::make_unique<Impl>()) { impl_->ini.SetSpaces(false); }
IniFile::~IniFile() = default;

bool IniFile::Load(const std::string& path, std::string* error) {
  impl_->ini.Reset();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return true;
    if (error) *error = SystemError("cannot open", path);
    return false;
  }
  std::string bytes;
  char buf[4096];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      if (error) *error = SystemError("cannot read", path);
      ::close(fd);
      return false;
    }
    bytes.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  LoadText(bytes);
  return true;
}

void IniFile::LoadText(const std::string& bytes) {
  impl_->ini.Reset();
  std::string text = bytes;
  if (text.rfind(kUtf8Mark, 0) == 0) text = Utf8ToCp1251(text.substr(3));
  impl_->ini.LoadData(text);
}

bool IniFile::HasKey(const std::string& section, const std::string& key) const {
  return impl_->ini.GetValue(Utf8ToCp1251(section).c_str(), Utf8ToCp1251(key).c_str(),
                             nullptr) != nullptr;
}

std::string IniFile::ReadString(const std::string& section, const std::string& key,
                                const std::string& def) const {
  const char* v =
      impl_->ini.GetValue(Utf8ToCp1251(section).c_str(), Utf8ToCp1251(key).c_str(), nullptr);
  return v ? Cp1251ToUtf8(v) : def;
}

int32_t IniFile::ReadInteger(const std::string& section, const std::string& key,
                             int32_t def) const {
  const char* v =
      impl_->ini.GetValue(Utf8ToCp1251(section).c_str(), Utf8ToCp1251(key).c_str(), nullptr);
  int32_t n;
  if (v && ParseIniInteger(v, &n)) return n;
  return def;
}

bool IniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void IniFile::WriteString(const std::string& section, const std::string& key,
                          const std::string& value) {
  const std::string sec = OneLine(Utf8ToCp1251(section));
  std::string name = OneLine(Utf8ToCp1251(key));
  // An existing key keeps its spelling in the file.
  CSimpleIniA::TNamesDepend keys;
  if (impl_->ini.GetAllKeys(sec.c_str(), keys)) {
    for (const auto& k : keys) {
      if (::strcasecmp(k.pItem, name.c_str()) == 0) {
        name = k.pItem;  // a copy: replacing the key frees the stored name
        break;
      }
    }
  }
  impl_->ini.SetValue(sec.c_str(), name.c_str(), OneLine(Utf8ToCp1251(value)).c_str(), nullptr,
                      true);
}

void IniFile::WriteInteger(const std::string& section, const std::string& key, int32_t value) {
  WriteString(section, key, std::to_string(value));
}

void IniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

std::string IniFile::Text() const {
  std::string out;
  impl_->ini.Save(out, false);
  out = WindowsLines(out);
  // A Windows-1251 file whose first name begins with "п»ї" starts with the very bytes of the
  // UTF-8 mark and would read back as UTF-8, its other letters turned to '?'. A blank first
  // line keeps it Windows-1251; it is dropped when the file is read.
  if (out.rfind(kUtf8Mark, 0) == 0) out.insert(0, "\r\n");
  return out;
}

bool IniFile::Save(const std::string& path, std::string* error) const {
  const std::string bytes = Text();
  std::string tmp = path + ".XXXXXX";
  int fd = ::mkstemp(tmp.data());
  if (fd < 0) {
    if (error) *error = SystemError("cannot create a temporary file beside", path);
    return false;
  }
  auto fail = [&](const std::string& what) {
    if (error) *error = what + ": " + std::strerror(errno);
    if (fd >= 0) ::close(fd);
    ::unlink(tmp.c_str());
    return false;
  };
  if (::fchmod(fd, 0600) != 0) return fail("cannot set the mode of " + tmp);
  if (!WriteAll(fd, bytes)) return fail("cannot write " + tmp);
  if (::fsync(fd) != 0) return fail("cannot flush " + tmp);
  int rc = ::close(fd);
  fd = -1;
  if (rc != 0) return fail("cannot close " + tmp);
  if (::rename(tmp.c_str(), path.c_str()) != 0) return fail("cannot rename " + tmp + " to " + path);
  // Make the rename itself durable; a failure here loses nothing already written.
  int dir = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

bool ParseIniInteger(const std::string& text, int32_t* value) {
  size_t i = 0, end = text.size();
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (i < end && blank(text[i])) ++i;
  while (end > i && blank(text[end - 1])) --end;
  bool negative = false;
  if (i < end && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (end - i > 2 && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= end) return false;
  int64_t n = 0;
  for (; i < end; ++i) {
    char c = text[i];
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return false;
    n = n * base + d;
    if (n > int64_t{1} << 31) return false;
  }
  if (negative) n = -n;
  if (n > INT32_MAX || n < INT32_MIN) return false;
  *value = static_cast<int32_t>(n);
  return true;
}

}  // namespace liron

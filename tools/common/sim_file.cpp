#include "sim_file.h"

#include <sys/stat.h>

#include <fstream>
#include <sstream>

namespace liron::simtools {

bool ReadText(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream ss;
  ss << in.rdbuf();
  *text = ss.str();
  return true;
}

bool FileWatch::Stamp::operator==(const Stamp& o) const {
  return seen == o.seen && exists == o.exists && ino == o.ino && size == o.size &&
         mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec;
}

FileWatch::Stamp FileWatch::Look() const {
  Stamp s;
  s.seen = true;
  struct stat st {};
  if (stat(path_.c_str(), &st) != 0) return s;
  s.exists = true;
  s.ino = st.st_ino;
  s.size = st.st_size;
  s.mtime = st.st_mtim;
  return s;
}

bool FileWatch::Changed() {
  if (path_.empty()) return false;
  const Stamp now = Look();
  if (now == stamp_) return false;
  stamp_ = now;
  return true;
}

void FileWatch::Seen() {
  if (!path_.empty()) stamp_ = Look();
}

}  // namespace liron::simtools

// The simulators' files: read whole (the config), and watched for a change (the control file,
// which the tests rewrite while the simulator runs, whole and with a rename).
#pragma once

#include <sys/types.h>
#include <time.h>

#include <string>

namespace liron::simtools {

// The whole of the file at path into *text; false when it cannot be opened.
bool ReadText(const std::string& path, std::string* text);

// Notices when the file at a path has been created, removed, rewritten or replaced: its
// identity (inode), size or time stamp differ from the last look.
class FileWatch {
 public:
  // Nothing seen yet: the first Changed() of a named path is true, the file there or not.
  explicit FileWatch(std::string path) : path_(std::move(path)) {}

  // True when the file differs from the last look (and takes it as seen); never for an empty
  // path.
  bool Changed();
  // Takes the file as it is now as seen, for a caller that has just read it.
  void Seen();
  // Whether the file was there at the last look.
  bool Exists() const { return stamp_.exists; }
  const std::string& path() const { return path_; }

 private:
  struct Stamp {
    bool seen = false;  // false until the first look
    bool exists = false;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{};
    bool operator==(const Stamp& o) const;
  };
  Stamp Look() const;

  std::string path_;
  Stamp stamp_;
};

}  // namespace liron::simtools

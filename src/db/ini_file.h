// INI file access in the manner of the Windows private-profile functions, on SimpleIni.
//
// Section and key names are matched without regard to letter case. Integers are decimal, or
// hexadecimal after a leading "0x"; a value that is not a valid 32-bit integer, or a missing
// key, gives the caller's default. Booleans are integers, any non-zero value meaning true, and
// are written as 1 or 0. When a key stands twice in a section the first one counts.
//
// Character set: a station moved over from Windows brings its INI file along, written in
// Windows-1251 with CRLF line ends. So the file is kept in that form: values are Windows-1251
// bytes on disk and UTF-8 inside (converted on every read and write), lines are written with
// CRLF, and either line end is read. A file that begins with the UTF-8 byte-order mark is read
// as UTF-8; it is written back as Windows-1251 without the mark. A character that has no
// Windows-1251 code is written as '?'.
//
// The file holds the database password, so Save writes it with mode 0600: into a temporary
// file in the same folder, flushed to disk, then renamed over the old one. The mode holds also
// when the file existed with a wider one, and a crash never leaves half a file behind.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace liron {

class IniFile {
 public:
  IniFile();
  ~IniFile();
  IniFile(const IniFile&) = delete;
  IniFile& operator=(const IniFile&) = delete;

  // Reads the file. A missing file is an empty one (true); a file that exists but cannot be
  // read is false with the reason in *error, and the contents stay empty.
  bool Load(const std::string& path, std::string* error);
  // Parses INI text given as the bytes of a file.
  void LoadText(const std::string& bytes);

  bool HasKey(const std::string& section, const std::string& key) const;
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& def) const;
  int32_t ReadInteger(const std::string& section, const std::string& key, int32_t def) const;
  bool ReadBool(const std::string& section, const std::string& key, bool def) const;

  // Sets a key, replacing every existing copy of it; a new key goes to the end of its section,
  // a new section to the end of the file. Other keys and comments stay as they were.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, int32_t value);
  void WriteBool(const std::string& section, const std::string& key, bool value);

  // The file's bytes as Save writes them (Windows-1251, CRLF).
  std::string Text() const;
  // Writes the file as described above; false with the reason in *error.
  bool Save(const std::string& path, std::string* error) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// A valid INI integer: optional blanks around, an optional sign, then decimal digits or "0x"
// and hexadecimal digits, within the 32-bit signed range.
bool ParseIniInteger(const std::string& text, int32_t* value);

}  // namespace liron

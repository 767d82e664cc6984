#include "spool/spool_file.h"

#include "spool/spool_format.h"

namespace liron {

bool TSpoolFile::Open(const std::string& path, std::string* error) {
  std::lock_guard<std::mutex> l(mu_);
  if (!db_.Open(path, error)) return false;
  // The version is read before anything is written: a file this build does not know stays as
  // it is.
  int version = 0;
  std::string why;
  bool ok = ReadSpoolFormat(db_, &version, &why);
  if (!ok) why = path + ": " + why;
  ok = ok && db_.UseWriteAheadLog(&why) && MigrateSpool(db_, version, &why);
  if (ok) return true;
  if (error) *error = why;
  db_.Close();
  return false;
}

void TSpoolFile::Close() {
  std::lock_guard<std::mutex> l(mu_);
  db_.Close();
}

bool TSpoolFile::IsOpen() const {
  std::lock_guard<std::mutex> l(mu_);
  return db_.IsOpen();
}

std::string TSpoolFile::LastError() const {
  std::lock_guard<std::mutex> l(mu_);
  return last_error_;
}

bool TSpoolFile::Held::Fail() {
  file_.last_error_ = file_.db_.LastError();
  return false;
}

std::string TSpoolFile::Held::MetaText(const char* name) {
  TSqliteStmt s(Db(), "SELECT value FROM meta WHERE name=?");
  s.Bind(1, std::string(name));
  return s.Step() ? s.Text(0) : std::string();
}

double TSpoolFile::Held::MetaReal(const char* name) {
  TSqliteStmt s(Db(), "SELECT value FROM meta WHERE name=?");
  s.Bind(1, std::string(name));
  return s.Step() ? s.Real(0) : 0.0;
}

bool TSpoolFile::Held::SetMeta(const char* name, const std::string& text) {
  TSqliteStmt s(Db(), "INSERT OR REPLACE INTO meta (name, value) VALUES (?, ?)");
  return s.Bind(1, std::string(name)).Bind(2, text).Run();
}

bool TSpoolFile::Held::SetMeta(const char* name, double value) {
  TSqliteStmt s(Db(), "INSERT OR REPLACE INTO meta (name, value) VALUES (?, ?)");
  return s.Bind(1, std::string(name)).Bind(2, value).Run();
}

}  // namespace liron

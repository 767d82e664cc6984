// The one SQLite file of the local spool (spool.db in the home folder, WAL mode) and the one
// lock over it. The outbox, the seeds and the plan copy each work on the file through a Held:
// the lock taken for one method of theirs, so that every method may be called from any thread
// and none waits on the database server.
#pragma once

#include <mutex>
#include <string>

#include "spool/sqlite_db.h"

namespace liron {

class TSpoolFile {
 public:
  TSpoolFile() = default;
  TSpoolFile(const TSpoolFile&) = delete;
  TSpoolFile& operator=(const TSpoolFile&) = delete;

  // Opens or creates the file and brings it to the format of this build (spool_format.h). A
  // file of a format this build does not know is left untouched. False with the reason in
  // *error.
  bool Open(const std::string& path, std::string* error);
  void Close();
  bool IsOpen() const;
  // The reason the last store method failed.
  std::string LastError() const;

  // The file with its lock held, for the length of one store method.
  class Held {
   public:
    explicit Held(TSpoolFile& file) : lock_(file.mu_), file_(file) {}
    TSqliteDb& Db() { return file_.db_; }
    // Keeps the database's last failure as LastError(); false, to be returned.
    bool Fail();

    // The table meta: one value by name, shared by the stores.
    std::string MetaText(const char* name);
    double MetaReal(const char* name);  // 0 when there is none
    bool SetMeta(const char* name, const std::string& text);
    bool SetMeta(const char* name, double value);

   private:
    std::lock_guard<std::mutex> lock_;
    TSpoolFile& file_;
  };

 private:
  mutable std::mutex mu_;
  TSqliteDb db_;            // guarded by mu_
  std::string last_error_;  // guarded by mu_
};

}  // namespace liron

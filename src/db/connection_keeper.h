// TConnectionKeeper: makes sure a connection is open without making its caller (the event
// loop) wait for the server. Asking a frozen server waits for the read time-out, and opening
// against an address that does not answer for the connect time-out: both happen on a thread of
// the keeper's own, and the caller waits at most as long as it chose.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "db/mysql_connection.h"

namespace liron {

class TConnectionKeeper {
 public:
  enum class Check { Open, Busy, Failed };

  explicit TConnectionKeeper(TMySQLConnection& conn);
  ~TConnectionKeeper();  // stops trying and waits for the attempt in progress
  TConnectionKeeper(const TConnectionKeeper&) = delete;
  TConnectionKeeper& operator=(const TConnectionKeeper&) = delete;

  // Asks the server whether the connection still stands and reopens it once when the server
  // dropped it (idle time-out, restart, KILL). Waits at most wait_ms: Busy when the check, or
  // the opening of KeepOpening, goes on after that; Failed with the client's error text.
  Check Ensure(uint32_t wait_ms, std::string* error);

  // The same check without waiting for it: false while a check or an opening is in progress.
  // LastCheck tells how it ended once it has.
  bool StartCheck();
  struct Result {
    uint64_t Finished = 0;  // checks ended so far: a new one has ended when this moves on
    bool Ok = false;        // the connection stood, or was reopened
    std::string Error;      // the client's text when it could not be opened
  };
  Result LastCheck() const;

  // Start-up: tries to open the connection `attempts` times gap_ms apart, then every retry_ms
  // until it opens or the keeper ends. Returns at once.
  void KeepOpening(int attempts, uint32_t gap_ms, uint32_t retry_ms);

  struct Opening {
    bool Running = false;       // KeepOpening goes on trying
    bool Opened = false;        // KeepOpening has opened the connection
    int Failures = 0;           // its failed attempts so far
    std::string Error;          // the client's text of the last failure
  };
  Opening OpeningState() const;
  bool Busy() const;  // a check or an opening is in progress
  void Reap();        // joins the keeper's thread once its work is done

 private:
  // Starts job on the keeper's thread once the previous one has ended; false while it runs.
  template <typename Job>
  bool StartLocked(Job job);
  // Sleeps ms unless the keeper ends meanwhile; false when it ends.
  bool Pause(uint32_t ms);
  bool StartCheckLocked();

  TMySQLConnection& conn_;
  mutable std::mutex mu_;
  std::condition_variable cv_;
  bool busy_ = false;
  bool ending_ = false;
  bool check_ok_ = false;
  std::string check_error_;
  uint64_t checks_finished_ = 0;
  Opening opening_;
  std::thread thread_;
};

}  // namespace liron

// TPlanCopyStore: the copy of the plan in the spool's file, the signal rows with their
// calibration points and the setup constants of the last successful load, for a start while
// the server is away.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "image/signal_set.h"
#include "platform/clock.h"
#include "platform/event_fifo.h"
#include "spool/spool_file.h"

namespace liron {

struct TPlanCopy {
  std::vector<TSignalSet> Signals;
  std::vector<std::pair<std::string, double>> Setup;
  TDateTime Saved = 0;
};
bool SamePlan(const TPlanCopy& a, const TPlanCopy& b);

enum class TPlanCopyRead {
  kLoaded,
  kNone,        // no copy was ever saved
  kUnreadable,  // a copy is there but cannot be read
};

class TPlanCopyStore {
 public:
  TPlanCopyStore(TSpoolFile& file, TEventFIFO& events) : file_(file), events_(events) {}
  TPlanCopyStore(const TPlanCopyStore&) = delete;
  TPlanCopyStore& operator=(const TPlanCopyStore&) = delete;

  // Replaces the copy; false with the reason in *error.
  bool Save(const TPlanCopy& plan, std::string* error);
  // Fills *plan only when kLoaded; *error says why when kUnreadable. A row whose name is no
  // plain identifier is left out, with the event of the server's load (AcceptSignalName).
  TPlanCopyRead Load(TPlanCopy* plan, std::string* error);

 private:
  TSpoolFile& file_;
  TEventFIFO& events_;
};

}  // namespace liron

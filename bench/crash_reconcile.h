// The reconciliation after a crash-point run of the daemon: what reached the server, checked
// against the minutes of the run and against the counter readings the V-120 simulator handed
// out. Each check prints its numbers on a line of its own.
#pragma once

#include <string>
#include <vector>

namespace liron::crash {

struct ReconcileInput {
  // G_1T1 units booked per counter unit: the totaliser's gain times the V-120 link's scale.
  double CounterFactor = 0;
  // The totaliser readings v120-sim handed out, in order (Totals of its log).
  std::vector<long long> Handed;
  // Seconds since last_state.RecMoment, taken as the daemon ended.
  double StateAge = 1e9;
  // Records left in the spool after the end, and statements it set aside; -1: not readable.
  long long SpoolRecords = -1, SpoolSetAside = -1;
};

// What the checks found, for the summary line.
struct ReconcileResult {
  long long MinutesExpected = 0, MinutesPresent = 0, MinutesMissing = 0, MinutesDoubled = 0;
  long long OffMinuteRows = 0;
  double Booked = 0, FromCounter = 0;          // rows 2..n against their I_1T1
  double BookedAll = 0, FromFirstReading = 0;  // all rows against the readings handed out
  long long JournalRows = 0, JournalDuplicates = 0;
  std::vector<std::string> Failures;
  bool Ok() const { return Failures.empty(); }
};

// Runs every check against the harness's database server (TestDb); prints as it goes.
ReconcileResult Reconcile(const ReconcileInput& in);

}  // namespace liron::crash

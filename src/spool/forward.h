// Forwarding the spool to the server: the oldest records first, a bounded batch at a time, each
// removed only once the server confirmed it. A server that cannot take anything now keeps the
// record for the next try; a record refused for its content is set aside, never retried.
#pragma once

#include <string>

#include "db/mysql_connection.h"
#include "platform/event_fifo.h"
#include "spool/outbox.h"

namespace liron {

// Records forwarded per run of the write timer (every 100 ms), like the write queue's run.
constexpr int kSpoolBatch = 12;

struct TForwardResult {
  int Sent = 0;      // confirmed by the server and removed
  int SetAside = 0;  // refused for their content
  bool Held = false;  // stopped at a record the server could not take now; it waits
};

// Forwards up to max records on conn. A refused one is posted as "*** SQL error: " with its
// statement, as the write queue does. A minute row goes as update-else-insert, so a batch
// replayed after a crash writes the same row again.
TForwardResult ForwardSpool(TSpoolOutbox& outbox, TMySQLConnection& conn, TEventFIFO& events,
                            int max = kSpoolBatch);

}  // namespace liron

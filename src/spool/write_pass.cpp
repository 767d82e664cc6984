#include "spool/write_pass.h"

#include "spool/forward.h"

namespace liron {

int PassWrites(TSqlQueues& queues, TSpool& spool, TMySQLConnection& conn, TEventFIFO& events,
               TDateTime now, const std::function<void()>& after_pass) {
  const bool open = conn.IsOpen();
  if (spool.IsOpen() && (!open || queues.SpillWanted() || !spool.Outbox().Empty())) {
    MoveToSpool(queues, now);
    if (!open) return 0;
    const TForwardResult r = ForwardSpool(spool.Outbox(), conn, events);
    return r.Sent + r.SetAside;
  }
  return queues.RunWriteQueue(conn, after_pass);
}

int MoveToSpool(TSqlQueues& queues, TDateTime moment) {
  TRecordSpool* spool = queues.AttachedSpool();
  if (!spool) return 0;
  // What the spool cannot store stays in the queue.
  return queues.HandOver([spool, moment](const std::vector<TSpoolRecord>& records) {
    return spool->AppendRun(moment, records);
  });
}

}  // namespace liron

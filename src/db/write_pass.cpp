#include "db/write_pass.h"

#include "db/spool_forward.h"

namespace liron {

int PassWrites(TSqlQueues& queues, TSpoolStore& spool, TMySQLConnection& conn,
               TEventFIFO& events, TDateTime now, const std::function<void()>& after_pass) {
  const bool open = conn.IsOpen();
  if (spool.IsOpen() && (!open || queues.SpillWanted() || !spool.Empty())) {
    queues.MoveToSpool(now);
    if (!open) return 0;
    const TForwardResult r = ForwardSpool(spool, conn, events);
    return r.Sent + r.SetAside;
  }
  return queues.RunWriteQueue(conn, after_pass);
}

}  // namespace liron

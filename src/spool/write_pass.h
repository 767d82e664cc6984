// One pass of the write timer over the local spool and the write queue. The spool goes first:
// while it holds anything, or the server cannot be reached, or the queue overflowed, every
// waiting statement joins the spool at its end, so that nothing newer overtakes it, and the
// spool is forwarded a batch a pass. Once it is empty the queue runs on the connection.
#pragma once

#include <functional>

#include "db/mysql_connection.h"
#include "db/sql_queues.h"
#include "platform/event_fifo.h"
#include "spool/spool.h"

namespace liron {

// GUI thread. Returns the records written or set aside. after_pass (the automatic-clean check)
// runs only after a pass over the queue itself. Without an open spool only the queue runs.
int PassWrites(TSqlQueues& queues, TSpool& spool, TMySQLConnection& conn, TEventFIFO& events,
               TDateTime now, const std::function<void()>& after_pass = nullptr);

// GUI thread (or the end): moves every waiting statement, in order, into the spool attached to
// queues, stamped with moment, as one synced run of the spool; their done is never called (the
// spool writes them later, minute rows as absolute values). What the spool could not store
// stays in the queue. Returns the number moved; 0 without a spool.
int MoveToSpool(TSqlQueues& queues, TDateTime moment);

}  // namespace liron

// TUserSide: what the start-up and the plan source share on the event loop's side: the
// process image, the events and the journal, the user connection with its keeper, and the
// local store. Service owns each part; the rooms hold the references.
#pragma once

#include "db/connection_keeper.h"
#include "db/journal.h"
#include "db/mysql_connection.h"
#include "image/process_image.h"
#include "platform/event_fifo.h"
#include "spool/spool.h"

namespace liron {

struct TUserSide {
  TProcessImage& img;
  TEventFIFO& events;
  TJournal& journal;
  TMySQLConnection& user;
  TConnectionKeeper& user_keeper;
  TSpool& spool;
};

}  // namespace liron

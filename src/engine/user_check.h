// The check every use of the user connection asks first.
#pragma once

#include <cstdint>

#include "db/connection_keeper.h"
#include "platform/event_fifo.h"

namespace liron {

// An operator command waits at most this long for the check of the user connection; the
// event loop stays answering.
constexpr uint32_t kUserCheckWaitMs = 900;

// Makes sure the user connection is open and reopens it once when the server dropped it,
// waiting at most kUserCheckWaitMs. A reopening still in progress (Busy) and a failure are
// posted as events that say why.
TConnectionKeeper::Check CheckUserConnection(TConnectionKeeper& keeper, TEventFIFO& events);

}  // namespace liron

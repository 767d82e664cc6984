#include "engine/user_check.h"

#include <string>

namespace liron {

TConnectionKeeper::Check CheckUserConnection(TConnectionKeeper& keeper, TEventFIFO& events) {
  std::string error;
  switch (keeper.Ensure(kUserCheckWaitMs, &error)) {
    case TConnectionKeeper::Check::Open:
      return TConnectionKeeper::Check::Open;
    case TConnectionKeeper::Check::Busy:
      events.PostEvent("Соединение с MySQL сервером восстанавливается, команда не выполнена.");
      return TConnectionKeeper::Check::Busy;
    case TConnectionKeeper::Check::Failed:
      break;
  }
  events.PostEvent("Нет соединения с MySQL сервером: " + error);
  return TConnectionKeeper::Check::Failed;
}

}  // namespace liron

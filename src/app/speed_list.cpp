#include "app/speed_list.h"

#include "links/serial_line.h"

namespace liron {

QStringList OfferedSpeeds() {
  // The list the plant's operators know, less the speeds a line refuses to open with (33600
  // and 57000 would only fail at every start of the control thread).
  static const int kListed[] = {2400, 4800, 9600, 14400, 19200, 33600,
                                38400, 57000, 57600, 115200};
  QStringList out;
  for (int speed : kListed)
    if (IsAcceptedSpeed(speed)) out << QString::number(speed);
  return out;
}

}  // namespace liron

#include "db/sql_errors.h"

namespace liron {

bool IsTransientSqlError(unsigned code) {
  switch (code) {
    case 0:     // no handle: nothing was sent
    case 1021:  // ER_DISK_FULL
    case 1053:  // ER_SERVER_SHUTDOWN
    case 1114:  // ER_RECORD_FILE_FULL
    case 1205:  // ER_LOCK_WAIT_TIMEOUT
    case 1213:  // ER_LOCK_DEADLOCK
    case 1290:  // ER_OPTION_PREVENTS_STATEMENT (--read-only)
    case 1317:  // ER_QUERY_INTERRUPTED
    case 1927:  // ER_CONNECTION_KILLED
    case 4031:  // MySQL 8: ER_CLIENT_INTERACTION_TIMEOUT, an idle client disconnected (MariaDB
                // numbers a trigger error so, which no statement of this program meets)
      return true;
    default:
      return code >= 2000 && code < 3000;
  }
}

}  // namespace liron

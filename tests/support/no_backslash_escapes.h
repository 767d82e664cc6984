// Puts the test server into NO_BACKSLASH_ESCAPES for the connections opened in the scope, as a
// site running the ANSI modes has it, and gives the server its global sql_mode back at the end.
// The programs on the server hold its resource lock, so no other program sees the change.
// Connections opened before the scope keep the mode they started with.
#pragma once

#include <string>

#include "support/test_db.h"

namespace liron::test {

class NoBackslashEscapes {
 public:
  NoBackslashEscapes() : saved_(TestDb::Get().Scalar("select @@GLOBAL.sql_mode")) {
    TestDb::Get().Exec("SET GLOBAL sql_mode=CONCAT(@@GLOBAL.sql_mode, ',NO_BACKSLASH_ESCAPES')");
  }
  ~NoBackslashEscapes() { TestDb::Get().Exec("SET GLOBAL sql_mode='" + saved_ + "'"); }
  NoBackslashEscapes(const NoBackslashEscapes&) = delete;
  NoBackslashEscapes& operator=(const NoBackslashEscapes&) = delete;

  // Whether the server gives the mode to a new connection, or the test proves nothing.
  static bool Active() {
    return TestDb::Get().Scalar("select find_in_set('NO_BACKSLASH_ESCAPES', @@GLOBAL.sql_mode) > 0") ==
           "1";
  }

 private:
  std::string saved_;  // mode names only: letters, '_' and ','
};

}  // namespace liron::test

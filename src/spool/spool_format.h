// The format of spool.db: its tables, and the version it carries as PRAGMA user_version. The
// files of the first builds carry 0. Every later change of the tables or of their meaning
// raises kSpoolFormat by one and adds the step from the version before, so a file left by any
// older build is brought up to date at the open, one step at a time.
#pragma once

#include <string>

#include "spool/sqlite_db.h"

namespace liron {

constexpr int kSpoolFormat = 1;

// The version the file carries. False with the reason in *error when it cannot be read, or
// when it is one this build does not know (a newer build's file, which is left as it is).
bool ReadSpoolFormat(TSqliteDb& db, int* version, std::string* error);

// Runs the steps from version up to kSpoolFormat, each in a transaction with its new version
// stamped. False with the reason in *error; a step that fails leaves the file at the version
// before it.
bool MigrateSpool(TSqliteDb& db, int version, std::string* error);

}  // namespace liron

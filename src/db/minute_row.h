// One minute's row of pu_data as absolute values, and the SQL it is written as. The records
// build it with every minute statement; the local spool keeps it instead of the statement
// while the server is away.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "db/mysql_connection.h"

namespace liron {

// One minute's row as absolute values: its averages and the whole amount of the integral
// counter booked in the minute, including any part already written before. Forwarded as
// update-else-insert, so writing it twice leaves the same row.
struct TMinuteRow {
  std::string Key;  // RecMoment, "yyyy-mm-dd hh:nn:00"
  double I_1T1 = 0;
  std::vector<std::pair<std::string, double>> Values;  // column and average, in plan order
  std::string CounterColumn;  // the integral counter's column ("G_1T1"); empty without one
  double CounterAmount = 0;   // its whole amount in the minute
};

// "UPDATE pu_data SET I_1T1=..., <col>=..., G_1T1=<counter> where RecMoment='<key>'"
std::string MinuteUpdateSql(const TMinuteRow& row, double counter);
// "INSERT into pu_data (RecMoment, I_1T1, <col>..., G_1T1) VALUES( '<key>', ...)"
std::string MinuteInsertSql(const TMinuteRow& row, double counter);

// Writes the row as update-else-insert with counter as its counter column: written twice, the
// same row. On failure *statement is the one the server refused and outcome tells why;
// outcome.Matched is 1 for a row written either way.
bool WriteMinute(TMySQLConnection& conn, const TMinuteRow& row, double counter,
                 TSqlOutcome& outcome, std::string* statement);

}  // namespace liron

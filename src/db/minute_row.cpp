#include "db/minute_row.h"

#include "db/sql_text.h"

namespace liron {

std::string MinuteUpdateSql(const TMinuteRow& row, double counter) {
  std::string sql = "UPDATE pu_data SET I_1T1=" + SqlNumber(row.I_1T1);
  for (const auto& [name, value] : row.Values) sql += ", " + name + "=" + SqlNumber(value);
  if (!row.CounterColumn.empty()) sql += ", " + row.CounterColumn + "=" + SqlNumber(counter);
  return sql + "  where RecMoment=" + SqlText(row.Key);
}

std::string MinuteInsertSql(const TMinuteRow& row, double counter) {
  std::string columns = "INSERT into pu_data (RecMoment, I_1T1";
  std::string values = "VALUES( " + SqlText(row.Key) + ", " + SqlNumber(row.I_1T1);
  for (const auto& [name, value] : row.Values) {
    columns += ", " + name;
    values += ", " + SqlNumber(value);
  }
  if (!row.CounterColumn.empty()) {
    columns += ", " + row.CounterColumn;
    values += ", " + SqlNumber(counter);
  }
  return columns + ") " + values + ")";
}

bool WriteMinute(TMySQLConnection& conn, const TMinuteRow& row, double counter,
                 TSqlOutcome& outcome, std::string* statement) {
  *statement = MinuteUpdateSql(row, counter);
  if (!conn.Execute(*statement, outcome)) return false;
  if (outcome.Matched > 0) return true;
  *statement = MinuteInsertSql(row, counter);
  return conn.Execute(*statement, outcome);
}

}  // namespace liron

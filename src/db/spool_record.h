// The kinds of record the local spool keeps while the server cannot take them, and the SQL a
// minute row of pu_data is forwarded as.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock.h"

namespace liron {

enum class TSpoolKind : int32_t {
  kStatement = 0,  // any changing statement, journal records among them: kept in order
  kLastState = 1,  // the rewrite of last_state: only the newest one is kept
  kMinute = 2,     // the row of one minute in pu_data, as absolute values
};

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

// One waiting record as the forwarder takes it.
struct TSpoolItem {
  int64_t Seq = 0;      // order of arrival
  int64_t Version = 0;  // changes whenever the record changes while it waits
  TSpoolKind Kind = TSpoolKind::kStatement;
  TDateTime Moment = 0;
  std::string Text;  // the statement (kStatement, kLastState)
  TMinuteRow Minute;  // kMinute
  double Counter = 0;  // kMinute: what its counter column is written as
};

}  // namespace liron

// TDateTime arithmetic and the date-time formats the service writes:
// "yyyy-mm-dd hh:nn:ss", "dd.mm.yyyy", "hh:nn:ss", "yyyy_mm_dd", "dd.mm.yyyy hh:nn:ss", ...
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "platform/clock.h"

namespace liron {

struct DateTimeParts {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0, msec = 0;
};

TDateTime EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                         int msec = 0);
// Splits a date-time, rounding to the nearest millisecond.
DateTimeParts DecodeDateTime(TDateTime dt);

// Seconds since the Unix epoch (UTC) to local TDateTime, by the machine's time zone.
TDateTime UnixToLocalDateTime(time_t seconds, int msec);

// Formats by tokens: yyyy, mm (month), dd, hh, nn (minutes), ss, zzz; everything else is copied.
std::string FormatDateTime(const std::string& format, TDateTime dt);

// Reads "yyyy-mm-dd hh:nn:ss" (the time part optional) as the server sends a DATETIME.
bool ParseSqlDateTime(const std::string& text, TDateTime* out);

constexpr double kMsPerDay = 86400000.0;

}  // namespace liron

#include "platform/datetime.h"

#include <cmath>
#include <cstdio>

namespace liron {
namespace {

// Days from 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
constexpr int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int* y, int* m, int* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t yy = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *y = static_cast<int>(yy + (*m <= 2));
}

// constexpr: dates encoded during static initialisation of other files must see it.
constexpr int64_t kEpochOffset = DaysFromCivil(1899, 12, 30);

}  // namespace

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec) {
  double days = static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month),
                                                  static_cast<unsigned>(day)) - kEpochOffset);
  double ms = ((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + msec;
  return days + ms / kMsPerDay;
}

DateTimeParts DecodeDateTime(TDateTime dt) {
  int64_t total_ms = static_cast<int64_t>(std::llround(dt * kMsPerDay));
  int64_t days = total_ms / 86400000;
  int64_t ms = total_ms % 86400000;
  if (ms < 0) {
    ms += 86400000;
    days -= 1;
  }
  DateTimeParts p;
  CivilFromDays(days + kEpochOffset, &p.year, &p.month, &p.day);
  p.msec = static_cast<int>(ms % 1000);
  int64_t s = ms / 1000;
  p.second = static_cast<int>(s % 60);
  p.minute = static_cast<int>((s / 60) % 60);
  p.hour = static_cast<int>(s / 3600);
  return p;
}

TDateTime UnixToLocalDateTime(time_t seconds, int msec) {
  tm local{};
  localtime_r(&seconds, &local);
  return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                        local.tm_min, local.tm_sec, msec);
}

std::string FormatDateTime(const std::string& format, TDateTime dt) {
  const DateTimeParts p = DecodeDateTime(dt);
  std::string out;
  char buf[8];
  size_t i = 0;
  auto starts = [&](const char* token) { return format.compare(i, std::char_traits<char>::length(token), token) == 0; };
  while (i < format.size()) {
    if (starts("yyyy")) {
      std::snprintf(buf, sizeof buf, "%04d", p.year);
      out += buf;
      i += 4;
    } else if (starts("zzz")) {
      std::snprintf(buf, sizeof buf, "%03d", p.msec);
      out += buf;
      i += 3;
    } else if (starts("mm") || starts("dd") || starts("hh") || starts("nn") || starts("ss")) {
      int v = format[i] == 'm' ? p.month : format[i] == 'd' ? p.day : format[i] == 'h' ? p.hour
              : format[i] == 'n' ? p.minute : p.second;
      std::snprintf(buf, sizeof buf, "%02d", v);
      out += buf;
      i += 2;
    } else {
      out += format[i++];
    }
  }
  return out;
}

bool ParseSqlDateTime(const std::string& text, TDateTime* out) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  int n = std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s);
  if (n != 3 && n != 6) return false;
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 60)
    return false;
  *out = EncodeDateTime(y, mo, d, h, mi, s);
  return true;
}

}  // namespace liron

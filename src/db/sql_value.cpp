#include "db/sql_value.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>

#include "platform/datetime.h"

namespace liron {

bool TSqlValue::AsInt(int64_t* out) const {
  if (Null || Text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(Text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0') {
    // count(*) and integers come as plain digits; a decimal text is taken by its value.
    double d;
    if (!AsDouble(&d)) return false;
    *out = static_cast<int64_t>(d);
    return true;
  }
  *out = v;
  return true;
}

bool TSqlValue::AsDouble(double* out) const {
  if (Null || Text.empty()) return false;
  // The server always writes "." as separator; from_chars reads it whatever the locale.
  const char* first = Text.data();
  const char* last = Text.data() + Text.size();
  if (*first == '+') ++first;
  double v = 0;
  auto [ptr, ec] = std::from_chars(first, last, v);
  if (ec != std::errc() || ptr != last) return false;
  *out = v;
  return true;
}

bool TSqlValue::AsDateTime(TDateTime* out) const {
  if (Null) return false;
  return ParseSqlDateTime(Text, out);
}

}  // namespace liron

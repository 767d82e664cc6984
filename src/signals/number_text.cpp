#include "signals/number_text.h"

#include <charconv>
#include <cmath>

namespace liron {

bool ParseNumber(const std::string& text, double* out) {
  size_t b = text.find_first_not_of(" \t");
  if (b == std::string::npos) return false;
  size_t e = text.find_last_not_of(" \t") + 1;
  // The operators' keyboards give a decimal comma; one comma stands for the point.
  std::string number = text.substr(b, e - b);
  const size_t comma = number.find(',');
  if (comma != std::string::npos) {
    if (number.find('.') != std::string::npos || number.find(',', comma + 1) != std::string::npos)
      return false;
    number[comma] = '.';
  }
  const char* first = number.data();
  const char* last = number.data() + number.size();
  bool negative = false;
  if (*first == '+' || *first == '-') {
    negative = *first == '-';
    ++first;
  }
  // from_chars would take "inf", "nan" and a second sign; the operator's number starts with a
  // digit or the decimal point.
  if (first == last || !((*first >= '0' && *first <= '9') || *first == '.')) return false;
  double v = 0;
  auto [ptr, ec] = std::from_chars(first, last, v, std::chars_format::general);
  if (ec != std::errc() || ptr != last || !std::isfinite(v)) return false;
  *out = negative ? -v : v;
  return true;
}

std::string FormatDecimals(double x, int max_decimals) {
  if (std::isnan(x)) return "NAN";
  if (std::isinf(x)) return x > 0 ? "INF" : "-INF";
  char buf[400];
  auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed, max_decimals);
  if (ec != std::errc()) return "0";
  std::string s(buf, ptr);
  if (s.find('.') != std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  if (s == "-0") s = "0";  // a value that rounds to nothing shows without a sign
  return s;
}

}  // namespace liron

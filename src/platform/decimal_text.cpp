#include "platform/decimal_text.h"

namespace liron {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

bool ParseDecimal(const std::string& text, int32_t* value) {
  size_t i = 0, end = text.size();
  while (i < end && IsBlank(text[i])) ++i;
  while (end > i && IsBlank(text[end - 1])) --end;
  bool negative = false;
  if (i < end && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == end) return false;
  int64_t v = 0;
  for (; i < end; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    v = v * 10 + (text[i] - '0');
    if (v > 2147483648LL) return false;
  }
  if (negative) v = -v;
  if (v > INT32_MAX || v < INT32_MIN) return false;
  *value = static_cast<int32_t>(v);
  return true;
}

}  // namespace liron

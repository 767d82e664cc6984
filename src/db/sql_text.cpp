#include "db/sql_text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace liron {

namespace {

// Digits of |x| rounded to 15 significant digits, trailing zeros removed, and the decimal
// exponent of the first digit. Built with %e, which ignores the locale's decimal separator
// only for the exponent form; we strip the separator ourselves.
void Digits15(double x, std::string* digits, int* exp10) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.14e", std::fabs(x));
  // buf: d<sep>dddddddddddddde[+-]xx ; the separator may be ',' under some locales.
  std::string s(buf);
  size_t e = s.find('e');
  std::string mant = s.substr(0, e);
  *exp10 = std::atoi(s.c_str() + e + 1);
  digits->clear();
  for (char c : mant)
    if (c >= '0' && c <= '9') *digits += c;
  while (digits->size() > 1 && digits->back() == '0') digits->pop_back();
}

}  // namespace

std::string FormatGeneral(double x) {
  if (std::isnan(x)) return "NAN";
  if (std::isinf(x)) return x > 0 ? "INF" : "-INF";
  if (x == 0) return "0";
  std::string digits;
  int exp10 = 0;
  Digits15(x, &digits, &exp10);
  std::string out = x < 0 ? "-" : "";
  const int n = static_cast<int>(digits.size());
  // Fixed notation for at most 15 integer digits and magnitude from 0.0001 on.
  if (exp10 < 15 && exp10 >= -4) {
    if (exp10 >= 0) {
      for (int i = 0; i <= exp10; ++i) out += i < n ? digits[i] : '0';
      if (n > exp10 + 1) out += "." + digits.substr(exp10 + 1);
    } else {
      out += "0.";
      out += std::string(-exp10 - 1, '0');
      out += digits;
    }
    return out;
  }
  out += digits[0];
  if (n > 1) out += "." + digits.substr(1);
  out += "E";
  if (exp10 < 0) out += "-";
  out += std::to_string(std::abs(exp10));
  return out;
}

std::string SqlNumber(double x) {
  // The server knows no NAN or INF literal; an unknown value is stored as NULL rather than
  // making the whole statement fail.
  if (!std::isfinite(x)) return "NULL";
  return FormatGeneral(x);
}

// A quote is doubled and a backslash escaped by a second one: read with backslash escapes,
// as every session of the service is, the literal gives the text back letter for letter; read
// without them, it still ends where it was meant to end. No quote is escaped with a backslash:
// without backslash escapes that backslash is a letter, and the quote ends the literal.
std::string SqlQuoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'' || c == '\\') out += c;
    out += c;
  }
  out += '\'';
  return out;
}

bool IsPlainIdentifier(const std::string& name) {
  if (name.empty() || name.size() > 64) return false;
  bool all_digits = true;
  for (unsigned char c : name) {
    const bool digit = c >= '0' && c <= '9';
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (!digit && !letter && c != '_') return false;
    all_digits = all_digits && digit;
  }
  return !all_digits;
}

std::string SqlText(const std::string& s) {
  if (s.empty()) return "NULL";
  return SqlQuoted(s);
}

}  // namespace liron

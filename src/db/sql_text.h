// SQL text of numbers and strings, as every statement of the service writes them.
#pragma once

#include <string>

namespace liron {

// A double as SQL number text: 15 significant digits, "." as decimal separator whatever the
// locale, plain digits for whole numbers, scientific (1E20, 1.5E-6) outside fixed range.
std::string SqlNumber(double x);
// A quoted literal with \ before ', \ and "; an empty text gives NULL (unquoted).
std::string SqlText(const std::string& s);
// A general number for operator texts: up to 15 significant digits, shortest form.
std::string FormatGeneral(double x);

}  // namespace liron

// SQL text of numbers and strings, as every statement of the service writes them.
#pragma once

#include <string>

namespace liron {

// A double as SQL number text: 15 significant digits, "." as decimal separator whatever the
// locale, plain digits for whole numbers, scientific (1E20, 1.5E-6) outside fixed range.
// NaN and infinities, which the server cannot store, give NULL.
std::string SqlNumber(double x);
// A quoted literal with ' doubled ('') and \ doubled (\\), nothing else changed; an empty text
// gives NULL (unquoted). Safe whether or not the server reads backslash escapes.
std::string SqlText(const std::string& s);
// The same quoting, but an empty text stays an empty literal ''.
std::string SqlQuoted(const std::string& s);
// Whether a name may stand unquoted as a column name in a statement: ASCII letters, digits and
// '_', at most 64 characters, not digits only.
bool IsPlainIdentifier(const std::string& name);
// A general number for operator texts: the same 15-digit form; NAN, INF and -INF as words.
std::string FormatGeneral(double x);

}  // namespace liron

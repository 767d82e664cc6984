// Numbers as the operator types and reads them on the window's tabs: "." is the decimal
// separator whatever the machine's locale, so a setpoint typed on one station reads the same
// on every other.
#pragma once

#include <string>

namespace liron {

// Reads a whole text as a finite number: surrounding blanks allowed, an optional sign, digits
// with an optional "." fraction and exponent. False (out unchanged) for anything else,
// including an empty text, "inf" and "nan".
bool ParseNumber(const std::string& text, double* out);

// Fixed notation with at least one integer digit and at most max_decimals decimals, trailing
// zeros dropped, no thousands separator: the pictures "####0.##" (2) and "########0.###" (3).
std::string FormatDecimals(double x, int max_decimals);

}  // namespace liron

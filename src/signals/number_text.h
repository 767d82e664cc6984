// Numbers as the operator types and reads them on the window's tabs: a decimal point or a
// decimal comma is taken whatever the machine's locale, and "." is shown, so a setpoint typed
// on one station reads the same on every other.
#pragma once

#include <string>

namespace liron {

// Reads a whole text as a finite number: surrounding blanks allowed, an optional sign, digits
// with an optional fraction after "." or "," and an exponent. False (out unchanged) for
// anything else, including an empty text, "inf", "nan" and a text with both separators.
bool ParseNumber(const std::string& text, double* out);

// Fixed notation with at least one integer digit and at most max_decimals decimals, trailing
// zeros dropped, no thousands separator: the pictures "####0.##" (2) and "########0.###" (3).
std::string FormatDecimals(double x, int max_decimals);

}  // namespace liron

// Whole decimal numbers typed by people: in the settings tab, in the emulator's lists.
#pragma once

#include <cstdint>
#include <string>

namespace liron {

// A valid decimal integer: optional blanks around, an optional sign, digits, within the 32-bit
// signed range. False (value unchanged) for anything else, hexadecimal included.
bool ParseDecimal(const std::string& text, int32_t* value);

}  // namespace liron

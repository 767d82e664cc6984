// Texts are UTF-8 inside the service; Windows-1251 bytes where bytes are fixed: the daily log
// files and the password cipher (so files of the older Windows stations read the same here).
#pragma once

#include <string>

namespace liron {

// UTF-8 to Windows-1251. A character without a Windows-1251 code becomes '?'.
std::string Utf8ToCp1251(const std::string& utf8);
// Windows-1251 to UTF-8; every byte has a meaning (0x98 becomes U+FFFD).
std::string Cp1251ToUtf8(const std::string& cp1251);

}  // namespace liron

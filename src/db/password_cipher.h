// The cipher of the database password in the INI file: a randomised substitution whose output
// consists of the characters "0" to "Z". It works on the bytes of the Windows-1251 text, so a
// password enciphered on a Windows station deciphers the same here.
//
// Layout of an enciphered text of a password of n bytes (50 + 4n characters): the hexadecimal
// digits of a spare byte, of 16 shift bytes s[0..15] and of a pair (b, c) per password byte,
// each digit written as one of 16 key characters K[0..15], followed by K itself. Password byte
// p is recovered as (s[b mod 16] + c) mod 256.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace liron {

// A source of random bytes for the cipher.
using CipherByteSource = std::function<uint8_t()>;

// The process-wide source: normal distribution, mean 128, standard deviation 43, truncated
// toward zero and clamped to 0..255; seeded from the clock on first use. Thread-safe.
uint8_t DrawCipherByte();

// Byte-level cipher. EncipherBytes draws from draw (DrawCipherByte when empty).
std::string EncipherBytes(const std::string& plain, const CipherByteSource& draw = {});
// False, with the reason in *error, when the text is too short to hold the key characters,
// the spare byte and the 16 shift bytes.
bool DecipherBytes(const std::string& text, std::string* plain, std::string* error);

// The same on UTF-8 texts: the password is converted to Windows-1251 before enciphering and
// back after deciphering. A character without a Windows-1251 code cannot be kept and is
// enciphered as '?'.
std::string EncipherPassword(const std::string& plain_utf8);
bool DecipherPassword(const std::string& text, std::string* plain_utf8, std::string* error);

}  // namespace liron

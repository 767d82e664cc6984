// Framing helpers of the PCOM ASCII lines: upper-case hexadecimal fields, the additive
// checksum, and the strict reading of hexadecimal and decimal fields.
#pragma once

#include "platform/decimal_text.h"

#include <cstdint>
#include <string>

namespace liron {

// Longest request line before its carriage return, and longest reply line.
constexpr size_t kPcomMaxRequest = 99;
constexpr size_t kPcomMaxReply = 900;
// Bytes before a reply's start text that are skipped (a glitch as the controller's line driver
// switches on); a reply buried deeper is refused.
constexpr size_t kPcomMaxLeadingBytes = 16;

// n in upper-case hexadecimal with at least 2, 4 or 8 digits; negative numbers as 32-bit
// two's complement (Hex2(-1) is "FFFFFFFF").
std::string Hex2(int64_t n);
std::string Hex4(int64_t n);
std::string Hex8(int64_t n);

// Two upper-case hexadecimal digits of the sum of the text's byte codes modulo 256.
std::string PcomChecksum(const std::string& text);

// A group of hexadecimal digits (either letter case) as an unsigned number; false for an
// empty group, any other character, or more than 8 digits.
bool ParseHexGroup(const std::string& group, uint32_t* value);


}  // namespace liron

#include "platform/codec.h"

#include <gtest/gtest.h>

namespace liron {
namespace {

TEST(Codec, CyrillicRoundTripsThroughWindows1251) {
  const std::string text = "Сбой чтения сигнала PLS — ёЁ №";
  std::string bytes = Utf8ToCp1251(text);
  EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xD1);  // С
  EXPECT_EQ(Cp1251ToUtf8(bytes), text);
}

TEST(Codec, EveryByteHasAMeaningAndComesBack) {
  for (int b = 1; b < 256; ++b) {
    if (b == 0x98) continue;  // the one unassigned byte
    std::string one(1, static_cast<char>(b));
    EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(one)), one) << b;
  }
}

TEST(Codec, UnmappableAndBrokenInputBecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToCp1251("a\xE4\xB8\xAD" "b"), "a?b");  // a CJK letter
  EXPECT_EQ(Utf8ToCp1251("a\xC3"), "a?");               // cut sequence
}

}  // namespace
}  // namespace liron

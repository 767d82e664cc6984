#include "db/password_cipher.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <set>
#include <vector>

#include "platform/codec.h"

namespace liron {
namespace {

// The cipher written again from its description, independently of the service's code: the
// texts it produces must decipher in the service, and with the same drawn bytes both must
// produce the same text.
std::string ReferenceEncipher(const std::string& plain, const std::function<int()>& draw) {
  std::vector<int> digits;
  auto put = [&](int byte) {
    digits.push_back(byte / 16);
    digits.push_back(byte % 16);
  };
  put(draw());
  int shift[16];
  for (int& s : shift) put(s = draw());
  for (unsigned char p : plain) {
    int b = draw();
    put(b);
    put(((p - shift[b % 16]) % 256 + 256) % 256);
  }
  std::string k;
  while (k.size() < 16) {
    int x = draw();
    if (x >= 48 && x <= 90 && k.find(char(x)) == std::string::npos) k += char(x);
  }
  std::string out;
  for (int d : digits) out += k[d];
  return out + k;
}

std::string Decipher(const std::string& text) {
  std::string plain, error;
  EXPECT_TRUE(DecipherBytes(text, &plain, &error)) << error;
  return plain;
}

TEST(PasswordCipher, EmptyPasswordIsFiftyCharactersAndComesBack) {
  std::string text = EncipherPassword("");
  EXPECT_EQ(text.size(), 50u);
  std::string plain = "x", error;
  ASSERT_TRUE(DecipherPassword(text, &plain, &error)) << error;
  EXPECT_EQ(plain, "");
}

TEST(PasswordCipher, FiveCharactersGiveSeventyKeyCharacters) {
  std::string a = EncipherPassword("s3cr!");
  std::string b = EncipherPassword("s3cr!");
  ASSERT_EQ(a.size(), 70u);
  ASSERT_EQ(b.size(), 70u);
  for (char c : a) {
    EXPECT_GE(c, '0');
    EXPECT_LE(c, 'Z');
  }
  std::set<char> key(a.end() - 16, a.end());
  EXPECT_EQ(key.size(), 16u);
  EXPECT_NE(a, b);
  EXPECT_EQ(Decipher(a), "s3cr!");
  EXPECT_EQ(Decipher(b), "s3cr!");
}

TEST(PasswordCipher, EveryByteValueComesBack) {
  std::string all;
  for (int i = 1; i <= 255; ++i) all += static_cast<char>(i);
  for (int round = 0; round < 20; ++round) EXPECT_EQ(Decipher(EncipherBytes(all)), all);
}

TEST(PasswordCipher, CyrillicPasswordTravelsAsWindows1251) {
  const std::string password = "Пароль-ё1";
  std::string text = EncipherPassword(password);
  EXPECT_EQ(text.size(), 50u + 4 * Utf8ToCp1251(password).size());
  EXPECT_EQ(Decipher(text), Utf8ToCp1251(password));
  std::string plain, error;
  ASSERT_TRUE(DecipherPassword(text, &plain, &error)) << error;
  EXPECT_EQ(plain, password);
}

TEST(PasswordCipher, TextOfAnIndependentImplementationDeciphers) {
  std::mt19937 gen(12345);
  std::uniform_int_distribution<int> any(0, 255);
  for (const std::string& p : {std::string(""), std::string("root"), std::string("\x01\xFF\x80 z")}) {
    std::string text = ReferenceEncipher(p, [&] { return any(gen); });
    EXPECT_EQ(Decipher(text), p);
  }
}

TEST(PasswordCipher, SameDrawnBytesGiveTheSameTextAsTheIndependentImplementation) {
  std::vector<int> bytes;
  std::mt19937 gen(777);
  std::normal_distribution<double> dist(128, 43);
  for (int i = 0; i < 2000; ++i)
    bytes.push_back(static_cast<int>(std::clamp(std::trunc(dist(gen)), 0.0, 255.0)));
  size_t at_ref = 0, at_ours = 0;
  std::string ref = ReferenceEncipher("Pa$$w0rd", [&] { return bytes.at(at_ref++); });
  std::string ours = EncipherBytes("Pa$$w0rd", [&] { return static_cast<uint8_t>(bytes.at(at_ours++)); });
  EXPECT_EQ(ours, ref);
  EXPECT_EQ(at_ours, at_ref);
}

TEST(PasswordCipher, CharactersOutsideTheKeyAreSkipped) {
  std::string text = EncipherBytes("abc");
  std::string noisy = "a b-c~" + text.substr(0, 20) + "\x7f~" + text.substr(20);
  EXPECT_EQ(Decipher(noisy), "abc");
}

TEST(PasswordCipher, TooShortTextFails) {
  std::string plain = "unchanged", error;
  EXPECT_FALSE(DecipherBytes("", &plain, &error));
  EXPECT_FALSE(DecipherBytes("secret", &plain, &error));
  EXPECT_FALSE(error.empty());
  // Two key characters short: the last shift byte cannot be read.
  std::string text = EncipherBytes("");
  std::string cut = text.substr(0, 32) + text.substr(34);
  EXPECT_FALSE(DecipherBytes(cut, &plain, &error));
  EXPECT_FALSE(DecipherPassword("hand-typed", &plain, &error));
  EXPECT_EQ(plain, "unchanged");
  // One short: the last shift byte is read from its single digit, the password is empty.
  std::string one_short = text.substr(0, 33) + text.substr(34);
  EXPECT_EQ(Decipher(one_short), "");
}

TEST(PasswordCipher, DrawnBytesFollowTheClampedNormalDistribution) {
  const int n = 20000;
  double sum = 0, sum2 = 0;
  int zeros = 0, tops = 0;
  for (int i = 0; i < n; ++i) {
    int x = DrawCipherByte();
    sum += x;
    sum2 += double(x) * x;
    zeros += x == 0;
    tops += x == 255;
  }
  double mean = sum / n;
  double sd = std::sqrt(sum2 / n - mean * mean);
  EXPECT_NEAR(mean, 127.5, 2.0);  // truncation toward zero lowers the mean by about half
  EXPECT_NEAR(sd, 43.0, 2.0);
  EXPECT_GT(zeros, 0);  // values below 0 are clamped, not wrapped
  EXPECT_GT(tops, 0);
}

}  // namespace
}  // namespace liron

#include "db/password_cipher.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <mutex>
#include <random>

#include "platform/codec.h"

namespace liron {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendHex(std::string& h, uint8_t x) {
  h += kHexDigits[x >> 4];
  h += kHexDigits[x & 0x0F];
}

// Reads the digits of H one pair at a time. A pair cut short by the end of H is read from its
// single digit; a read with nothing left fails.
class HexReader {
 public:
  explicit HexReader(const std::string& digits) : h_(digits) {}
  size_t Left() const { return h_.size() - pos_; }
  bool Read(uint8_t* value) {
    if (Left() == 0) return false;
    size_t n = std::min<size_t>(2, Left());
    unsigned v = 0;
    for (size_t i = 0; i < n; ++i) v = v * 16 + static_cast<unsigned>(Digit(h_[pos_ + i]));
    pos_ += n;
    *value = static_cast<uint8_t>(v);
    return true;
  }

 private:
  static int Digit(char c) { return c <= '9' ? c - '0' : c - 'A' + 10; }
  const std::string& h_;
  size_t pos_ = 0;
};

}  // namespace

uint8_t DrawCipherByte() {
  static std::mutex mu;
  static std::mt19937 gen(static_cast<uint32_t>(
      std::chrono::system_clock::now().time_since_epoch().count()));
  static std::normal_distribution<double> dist(128.0, 43.0);
  std::lock_guard<std::mutex> l(mu);
  double x = std::trunc(dist(gen));
  return static_cast<uint8_t>(std::clamp(x, 0.0, 255.0));
}

std::string EncipherBytes(const std::string& plain, const CipherByteSource& source) {
  auto draw = [&]() -> uint8_t { return source ? source() : DrawCipherByte(); };
  std::string h;
  h.reserve(34 + 4 * plain.size());
  AppendHex(h, draw());  // the spare byte; the decipher skips it
  std::array<uint8_t, 16> s;
  for (uint8_t& shift : s) {
    shift = draw();
    AppendHex(h, shift);
  }
  for (char ch : plain) {
    uint8_t b = draw();
    uint8_t c = static_cast<uint8_t>(static_cast<uint8_t>(ch) - s[b % 16]);
    AppendHex(h, b);
    AppendHex(h, c);
  }
  std::string key;
  while (key.size() < 16) {
    uint8_t k = draw();
    if (k >= '0' && k <= 'Z' && key.find(static_cast<char>(k)) == std::string::npos)
      key += static_cast<char>(k);
  }
  std::string out;
  out.reserve(h.size() + 16);
  for (char d : h) out += key[static_cast<size_t>(d <= '9' ? d - '0' : d - 'A' + 10)];
  return out + key;
}

bool DecipherBytes(const std::string& text, std::string* plain, std::string* error) {
  auto fail = [&](const char* why) {
    if (error) *error = why;
    return false;
  };
  if (text.size() < 16) return fail("the enciphered password is shorter than its key");
  const std::string key = text.substr(text.size() - 16);
  std::string h;
  for (size_t i = 0; i + 16 < text.size(); ++i) {
    size_t pos = key.find(text[i]);
    if (pos != std::string::npos) h += kHexDigits[pos];
  }
  HexReader r(h);
  uint8_t spare;
  std::array<uint8_t, 16> s;
  if (!r.Read(&spare)) return fail("the enciphered password is too short");
  for (uint8_t& shift : s)
    if (!r.Read(&shift)) return fail("the enciphered password is too short");
  std::string out;
  while (r.Left() >= 4) {
    uint8_t b = 0, c = 0;
    r.Read(&b);
    r.Read(&c);
    out += static_cast<char>(static_cast<uint8_t>(s[b % 16] + c));
  }
  *plain = out;
  return true;
}

std::string EncipherPassword(const std::string& plain_utf8) {
  return EncipherBytes(Utf8ToCp1251(plain_utf8));
}

bool DecipherPassword(const std::string& text, std::string* plain_utf8, std::string* error) {
  std::string bytes;
  if (!DecipherBytes(Utf8ToCp1251(text), &bytes, error)) return false;
  *plain_utf8 = Cp1251ToUtf8(bytes);
  return true;
}

}  // namespace liron

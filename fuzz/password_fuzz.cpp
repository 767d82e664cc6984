// The password cipher under arbitrary input: DecipherPassword and DecipherBytes on any text,
// and EncipherBytes with random bytes taken from the input, whose output must have the
// documented layout and decipher to the plain bytes again.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "db/password_cipher.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);

  std::string plain, error;
  if (!liron::DecipherPassword(text, &plain, &error) && error.empty()) __builtin_trap();
  (void)liron::DecipherBytes(text, &plain, &error);

  // Round trip: the first byte splits the input into the plain bytes and the random bytes;
  // once those run out the source counts on, so the key of sixteen characters is always found.
  if (size == 0) return 0;
  const size_t split = std::min<size_t>(data[0], size - 1);
  const std::string secret(reinterpret_cast<const char*>(data + 1), split);
  size_t next = 1 + split;
  uint32_t counter = 0;
  auto source = [&]() -> uint8_t {
    if (next < size) return data[next++];
    return static_cast<uint8_t>(counter++);
  };
  const std::string cipher = liron::EncipherBytes(secret, source);
  if (cipher.size() != 50 + 4 * secret.size()) __builtin_trap();
  for (char c : cipher)
    if (c < '0' || c > 'Z') __builtin_trap();
  std::string back;
  if (!liron::DecipherBytes(cipher, &back, &error) || back != secret) __builtin_trap();
  return 0;
}

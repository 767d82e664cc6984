// Finding a slave's reply in the bytes a Modbus line delivers after a request. On a real line
// the reply is not alone: a 2-wire adapter hands the request's own bytes back first (whole, or
// only their tail when the purge after sending took the head), noise may come before the
// reply and may even hold the slave's address, and a reply may arrive in pieces. A reply is
// the slave's address, a function code of the request (or its exception), and as many bytes
// as that function code and the byte count say, closed by a correct CRC. A false start in
// noise costs only its own byte: the scan goes on from the byte after it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace liron {

class TModbusReplyScan {
 public:
  // request: the frame as sent, CRC included; address: the slave asked (one above 255 never
  // answers); check_function: a reply must carry the request's function code or its
  // exception, otherwise any function code starts a reply.
  TModbusReplyScan(std::span<const uint8_t> request, int32_t address, bool check_function);

  // Takes the next byte that arrived.
  void Add(uint8_t byte);
  size_t Size() const { return buf_.size(); }

  // A reply with its expected length and a correct CRC stands in the bytes.
  bool Whole() const { return whole_ >= 0; }
  // A reply has begun: an address byte with a fitting function code, or an address byte whose
  // function code has not arrived yet (Undecided() then).
  bool Started() const;
  // Only an address byte has arrived, with nothing after it yet.
  bool Undecided() const;
  // The whole reply, or else the earliest begun one as far as it came (the line went quiet
  // within it, or its CRC is wrong).
  std::span<const uint8_t> Reply() const;
  // Bytes passed over as noise before the first reply begun; the request's echo does not count.
  size_t Stray() const;

 private:
  enum class Pos : uint8_t { Open, NoStart, Bad, Good };

  void Judge(size_t p);
  size_t EchoLength() const;
  // Length of the reply that starts at p by its function code and byte count; 0 while the
  // bytes that tell have not arrived; SIZE_MAX for a function code of unknown layout.
  size_t ExpectedLength(size_t p) const;

  std::vector<uint8_t> request_;
  int32_t address_;
  bool check_function_;
  std::vector<uint8_t> buf_;
  std::vector<Pos> pos_;  // what each position of buf_ is as a reply start
  size_t echo_ = 0;       // buf_ begins with this many bytes of the request's tail
  long whole_ = -1;       // start of the whole reply
};

}  // namespace liron

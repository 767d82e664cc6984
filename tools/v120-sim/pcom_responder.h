// The controller's side of the PCOM ASCII exchange: a request line in, the reply line out (or
// none), with the operands read from and written into the model and every step logged.
//
// Request: "/" + unit (2 hex) + command + checksum (2 hex, sum of unit and command modulo 256).
// Commands: RB, RW, RNL (read bits, 16-bit, 32-bit) and SB, SW, SNL (write), each followed by
// address (4 hex) and count (2 hex), writes by their data. Hexadecimal fields are upper case,
// as the controller takes them. Reply: "/A" + unit + the command's first two letters + data +
// checksum of those, then a carriage return. A request with a bad checksum, for a unit that
// is not configured, or that cannot be read gets no reply.
//
// Log lines (one per event, flushed at once):
//   rx <request>            tx <reply without CR; other bytes than printable ASCII as <XX>>
//   drop <reason>
//   total <unit> <addr> <value>     a totaliser reading handed out in a clean reply
//   write <SB|SW|SNL> <unit> <addr> <v1> <v2> ...    values as decimal numbers
//   fault <mode>            the reply was spoiled (or withheld) by the fault mode
#pragma once

#include <cstdio>
#include <string>

#include "sim_model.h"

namespace liron::v120sim {

// Two upper-case hexadecimal digits of the sum of the codes modulo 256.
std::string Checksum(const std::string& text);

class PcomResponder {
 public:
  PcomResponder(SimModel& model, std::FILE* log) : model_(model), log_(log) {}

  // The bytes to send for one request line (without its carriage return); empty: silence.
  // *late_ms: the reply's latency when the fault mode makes it late, else -1.
  std::string Handle(const std::string& request, SteadyTime now, int* late_ms);

  void Log(const std::string& line);

 private:
  bool Execute(int unit, const std::string& cmd, SteadyTime now, std::string* data,
               std::vector<std::string>* totals);

  SimModel& model_;
  std::FILE* log_;
};

}  // namespace liron::v120sim

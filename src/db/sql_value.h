// One value of a result row as the server sent it (text protocol): NULL told apart from a
// value, with the conversions the callers need.
#pragma once

#include <cstdint>
#include <string>

#include "platform/clock.h"

namespace liron {

struct TSqlValue {
  bool Null = true;
  std::string Text;

  static TSqlValue Of(std::string text) { return TSqlValue{false, std::move(text)}; }

  // Each is false for NULL or for a text that is not such a value; out is then unchanged.
  bool AsInt(int64_t* out) const;
  bool AsDouble(double* out) const;
  bool AsDateTime(TDateTime* out) const;  // "yyyy-mm-dd hh:nn:ss"
};

}  // namespace liron

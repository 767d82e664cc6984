// One row of the signal plan (table `signal`) with its calibration table from `kalibr`.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace liron {

constexpr int kMaxCalibPoints = 512;

// Kind of the value in the device.
enum SignalKind : int32_t { kKindInt = 0, kKindFloat = 1, kKindLong = 2, kKindBit = 3 };

struct TSignalSet {
  std::string BusName;     // "JUMO", "V120", "CALC" (the editor also offers "ICP")
  std::string SignalName;  // also the column name in last_state and pu_data
  int32_t DevNum = 0;      // Modbus slave address (JUMO) or unit ID (V120)
  uint16_t Addr = 0;       // register, operand or bit address
  int32_t Kind = 0;        // SignalKind
  bool InverseBytes = false;
  bool InverseWords = false;
  std::string Direction;   // "READ", "WRITE" or empty
  int32_t CalibCount = 0;  // calibration points in use
  std::array<double, kMaxCalibPoints> AVal{};  // hardware value of each point
  std::array<double, kMaxCalibPoints> FVal{};  // physical value of each point
};

}  // namespace liron

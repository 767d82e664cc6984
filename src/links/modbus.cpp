#include "links/modbus.h"

#include <algorithm>
#include <cstring>

#include "links/modbus_reply_scan.h"

namespace liron {

const char kModbusNotConnected[] = "Поорт не подключен!";
const char kModbusBlockTooLarge[] = "Попытка передать слишком большой блок информации!";
const char kModbusSendFailed[] = "Не удалось послать блок информации.";
const char kModbusStrayBytes[] = "Неправильный ответ контроллера. Проверте аппаратуру.";
const char kModbusNoAnswer[] = "Нет ответа от контроллера. Проверте аппаратуру.";
const char kModbusCutFailed[] = "Ответ не передан полностью. Проверте аппаратуру.";
const char kModbusCutShort[] = "Ответ передан не полностью. Проверте аппаратуру.";
const char kModbusUnexpected[] = "Неожиданный ответ";
const char kModbusCutCounter[] = "Ответ не передан полностью (bCounter). Проверте аппаратуру.";
const char kModbusWrongAnswer[] = "Неправильный ответ на запрос.";
const char kModbusBusyText[] = "Выполнение предыдущей команды еще не завершено.";
const char kModbusBusyCaption[] = "Ошибка";
const char kModbusFatalCaption[] = "Фатальная ошибка!";
const char kModbusBadCrc[] = "Неправильная контрольная сумма ответа.";

uint16_t ModbusCrc(const uint8_t* data, size_t len) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < len; ++i) {
    crc ^= data[i];
    for (int b = 0; b < 8; ++b) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001)
                                                : static_cast<uint16_t>(crc >> 1);
  }
  return crc;
}

// Wire positions of B3..B0 (B3 the most significant byte of the pattern):
//   SwapBytes SwapWords   d0 d1 d2 d3
//   true      false       B3 B2 B1 B0   high word first, high byte first (Modbus convention)
//   true      true        B1 B0 B3 B2   low word first, high byte first
//   false     false       B0 B1 B2 B3   low word first, low byte first
//   false     true        B2 B3 B0 B1   high word first, low byte first
namespace {
// kOrder[layout][k]: which byte Bn stands at wire position dk.
constexpr int kOrder[4][4] = {
    {0, 1, 2, 3},  // !bytes !words: B0 B1 B2 B3
    {2, 3, 0, 1},  // !bytes  words: B2 B3 B0 B1
    {3, 2, 1, 0},  //  bytes !words: B3 B2 B1 B0
    {1, 0, 3, 2},  //  bytes  words: B1 B0 B3 B2
};
int Layout(bool swap_bytes, bool swap_words) { return (swap_bytes ? 2 : 0) + (swap_words ? 1 : 0); }
}  // namespace

std::array<uint8_t, 4> FloatToWire(float v, bool swap_bytes, bool swap_words) {
  uint32_t pattern;
  std::memcpy(&pattern, &v, 4);
  std::array<uint8_t, 4> d{};
  const int* order = kOrder[Layout(swap_bytes, swap_words)];
  for (int k = 0; k < 4; ++k) d[k] = static_cast<uint8_t>(pattern >> (8 * order[k]));
  return d;
}

float WireToFloat(const uint8_t* d, bool swap_bytes, bool swap_words) {
  const int* order = kOrder[Layout(swap_bytes, swap_words)];
  uint32_t pattern = 0;
  for (int k = 0; k < 4; ++k) pattern |= static_cast<uint32_t>(d[k]) << (8 * order[k]);
  float v;
  std::memcpy(&v, &pattern, 4);
  return v;
}

TModBUS::TModBUS(Clock& clock, Operator* op) : clock_(clock), op_(op) {}

bool TModBUS::OpenPort(int32_t speed) {
  std::string err;
  Speed = speed;  // the speed the line is (re)opened at
  if (!line_.OpenLine(PortName, speed, SerialProfile::Modbus, &err)) {
    Connected = false;
    LastError = err;
    if (err == kSerialSpeedError && op_) op_->ShowMessage(err, kModbusFatalCaption, MsgIcon::Error);
    return false;
  }
  Connected = true;
  return true;
}

bool TModBUS::ClosePort() {
  if (line_.IsOpen()) {
    Connected = false;
    line_.CloseLine();
  }
  return true;
}

bool TModBUS::Exchange(const uint8_t* data, size_t n, uint8_t* reply, size_t reply_size) {
  if (Busy.exchange(true)) {
    if (op_) op_->ShowMessage(kModbusBusyText, kModbusBusyCaption, MsgIcon::Error);
    return false;
  }
  LastError.clear();
  ExceptionText.clear();
  TxBuffer.fill(0);
  RxBuffer.fill(0);
  ReplyLength = 0;
  TxBuffer[0] = static_cast<uint8_t>(DeviceAddress & 0xFF);
  TxBuffer[1] = FunctionCode;
  // A frame that cannot fit the buffer is refused by the size check of the send, unwritten.
  const size_t m = n + 2;
  if (m + 2 <= TxBuffer.size()) {
    std::memcpy(TxBuffer.data() + 2, data, n);
    SendComBlock(TxBuffer.data(), m);
  } else {
    SetError(kModbusBlockTooLarge);
  }
  ReciveComBlock(reply, reply_size);
  Busy = false;
  return true;
}

bool TModBUS::SendComBlock(uint8_t* frame, size_t m) {
  sent_.clear();
  try {
    if (!Connected) {
      SetError(kModbusNotConnected);
      return false;
    }
    if (m > kModbusMaxFrame) {
      SetError(kModbusBlockTooLarge);
      return false;
    }
    line_.PurgeInput();
    const uint16_t crc = GetCRC(frame, m);
    frame[m] = static_cast<uint8_t>(crc & 0xFF);
    frame[m + 1] = static_cast<uint8_t>(crc >> 8);
    if (!line_.WriteBlock(frame, m + 2)) {
      SetError(kModbusSendFailed);
      return false;
    }
    sent_.assign(frame, frame + m + 2);
    line_.DrainOutput();
    // Whatever came in while sending is not the reply. What an echoing adapter still hands
    // back after this is told from the reply by the receive.
    line_.PurgeInput();
    clock_.SleepMs(kModbusPauseMs);
    return true;
  } catch (...) {
    ExceptionText = "Ошибка в SendComBlock";
    return false;
  }
}

bool TModBUS::ReciveComBlock(uint8_t* reply, size_t reply_size) {
  bool ok = false;
  try {
    ok = ReceiveInner(reply, reply_size);
  } catch (...) {
    ExceptionText = "Ошибка в ReciveComBlock";
  }
  receive_error_ = LastError;
  return ok;
}

std::string TModBUS::FailureReason() const {
  if (LastError == kModbusWrongAnswer && !receive_error_.empty()) return receive_error_;
  return LastError.empty() ? kModbusBadCrc : LastError;
}

bool TModBUS::ReceiveInner(uint8_t* reply, size_t reply_size) {
  ReplyLength = 0;
  if (!Connected) {
    SetError(kModbusNotConnected);
    return false;
  }
  std::fill(RxBuffer.begin(), RxBuffer.begin() + 512, 0);
  TModbusReplyScan scan(sent_, DeviceAddress, CheckFunction);

  // Hunt for the reply's start for at most 400 ms, skipping the request's echo and noise; once
  // it has begun, it ends at its expected length, or where the line stays quiet for the
  // inter-character silence. A reply whole in the driver's queue is taken at once.
  const uint32_t start = clock_.Ticks();
  const uint32_t silence = line_.SilenceMs();
  while (!scan.Whole()) {
    const bool in_reply = scan.Started() && !scan.Undecided();
    if (!in_reply && clock_.Ticks() - start >= kModbusHuntMs) {
      // An address byte with nothing after it: the answer stopped at its first byte.
      SetError(scan.Undecided() ? kModbusCutShort : kModbusNoAnswer);
      return false;
    }
    uint8_t byte = 0;
    bool got = false;
    const bool ok = in_reply ? line_.ReadByteWithin(&byte, &got, silence)
                             : line_.ReadByte(&byte, &got);
    if (!ok) {
      if (in_reply || scan.Undecided()) {
        SetError(in_reply ? kModbusCutCounter : kModbusCutFailed);
        return false;
      }
      if (line_.DeviceGone()) {  // no answer can come any more
        SetError(kModbusNoAnswer);
        return false;
      }
      continue;
    }
    if (!got) {
      if (in_reply) break;  // the line went quiet within the reply: it ends here
      continue;
    }
    if (scan.Size() >= kModbusMaxReply) {
      line_.PurgeInput();
      return true;  // ReplyLength stays 0: every transaction rejects this reply
    }
    scan.Add(byte);
    if (scan.Stray() > static_cast<size_t>(kModbusMaxStrayBytes)) {
      SetError(kModbusStrayBytes);
      return false;
    }
  }

  const std::span<const uint8_t> got = scan.Reply();
  std::copy(got.begin(), got.end(), RxBuffer.begin());
  if (CheckFunction && got.size() >= 2 && got[1] != FunctionCode) {
    SetError(kModbusUnexpected);  // an exception reply (function | 0x80)
    return false;
  }
  // A reply longer than the caller's buffer is cut, never written past it.
  const size_t n = std::min(got.size(), reply_size);
  std::memcpy(reply, got.data(), n);
  ReplyLength = static_cast<int32_t>(n);
  return true;
}

namespace {
// True when the CRC at [n], [n+1] of reply matches its first n bytes.
bool CrcMatches(const uint8_t* reply, size_t n) {
  return ModbusCrc(reply, n) == reply[n] + 256 * reply[n + 1];
}
}  // namespace

bool TModBUS::ReadRegister(uint16_t address, int32_t& value) {
  FunctionCode = 3;
  const uint8_t data[4] = {static_cast<uint8_t>(address >> 8),
                           static_cast<uint8_t>(address & 0xFF), 0x00, 0x01};
  uint8_t reply[kModbusReadReplySize] = {};
  if (!Exchange(data, sizeof data, reply, sizeof reply)) return false;
  // A whole reply is address, function, byte count, two data bytes and the CRC: 7 bytes.
  if (ReplyLength < 7) {
    SetError(kModbusWrongAnswer);
    return false;
  }
  if (!CrcMatches(reply, 5)) return false;  // LastError stays empty, as for ReadFloat
  value = reply[3] * 256 + reply[4];
  return true;
}

bool TModBUS::ReadFloat(uint16_t address, float& value) {
  FunctionCode = 3;
  const uint8_t data[4] = {static_cast<uint8_t>(address >> 8),
                           static_cast<uint8_t>(address & 0xFF), 0x00, 0x02};
  uint8_t reply[kModbusReadReplySize] = {};
  if (!Exchange(data, sizeof data, reply, sizeof reply)) return false;
  if (ReplyLength < 7) {
    SetError(kModbusWrongAnswer);
    return false;
  }
  if (!CrcMatches(reply, 7)) return false;  // positions not received read as zero
  value = WireToFloat(reply + 3, SwapBytes, SwapWords);
  return true;
}

bool TModBUS::WriteFloat(uint16_t address, float value) {
  FunctionCode = 16;
  const auto d = FloatToWire(value, SwapBytes, SwapWords);
  const uint8_t hi = static_cast<uint8_t>(address >> 8), lo = static_cast<uint8_t>(address & 0xFF);
  const uint8_t data[9] = {hi, lo, 0x00, 0x02, 0x04, d[0], d[1], d[2], d[3]};
  uint8_t reply[kModbusWriteReplySize] = {};
  if (!Exchange(data, sizeof data, reply, sizeof reply)) return false;
  // The slave confirms a write by echoing address, function, register and count. A write
  // nobody confirmed is a failed write: LastError keeps the receive's reason.
  if (ReplyLength == 0 && !LastError.empty()) return false;
  if (ReplyLength < 8 || reply[2] != hi || reply[3] != lo || reply[4] != 0 || reply[5] != 2) {
    SetError(kModbusWrongAnswer);
    return false;
  }
  return CrcMatches(reply, 6);
}

}  // namespace liron

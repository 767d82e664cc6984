// TModBUS: the Modbus RTU master of the JUMO line. Three transactions (read one holding
// register, read two registers as an IEEE single, write an IEEE single into two registers),
// each one request and one reply on the line, with the Modbus CRC-16. The slave address and
// the byte and word order of 32-bit values are set by the caller before every transaction:
// one line serves several controllers whose layouts differ.
//
// Transactions run on the polling thread only; OpenPort/ClosePort run on the control thread,
// which waits for the polling thread to finish its pass before it closes the port.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "links/serial_line.h"
#include "platform/clock.h"
#include "platform/operator.h"

namespace liron {

// Texts of the master, used letter for letter.
extern const char kModbusNotConnected[];   // "Поорт не подключен!"
extern const char kModbusBlockTooLarge[];  // "Попытка передать слишком большой блок информации!"
extern const char kModbusSendFailed[];     // "Не удалось послать блок информации."
extern const char kModbusStrayBytes[];     // "Неправильный ответ контроллера. Проверте аппаратуру."
extern const char kModbusNoAnswer[];       // "Нет ответа от контроллера. Проверте аппаратуру."
extern const char kModbusCutFailed[];      // "Ответ не передан полностью. Проверте аппаратуру."
extern const char kModbusCutShort[];       // "Ответ передан не полностью. Проверте аппаратуру."
extern const char kModbusUnexpected[];     // "Неожиданный ответ"
extern const char kModbusCutCounter[];     // "Ответ не передан полностью (bCounter). ..."
extern const char kModbusWrongAnswer[];    // "Неправильный ответ на запрос."
extern const char kModbusBusyText[];       // "Выполнение предыдущей команды еще не завершено."
extern const char kModbusBusyCaption[];    // "Ошибка"
extern const char kModbusFatalCaption[];   // "Фатальная ошибка!"
extern const char kModbusBadCrc[];         // "Неправильная контрольная сумма ответа."

constexpr size_t kModbusBufferSize = 1024;
constexpr size_t kModbusMaxFrame = 500;        // a frame to send must be shorter than 501 bytes
constexpr size_t kModbusMaxReply = 500;        // bytes a receive takes at most
constexpr uint32_t kModbusPauseMs = 40;        // after sending, before the reply is hunted
constexpr uint32_t kModbusHuntMs = 400;        // address hunt
constexpr int kModbusMaxStrayBytes = 129;      // the 130th stray byte fails the receive
constexpr size_t kModbusReadReplySize = 32;    // reply buffers of the transactions
constexpr size_t kModbusWriteReplySize = 100;

// Modbus CRC-16 (polynomial 0xA001 reflected, start 0xFFFF, no final XOR); sent low byte first.
uint16_t ModbusCrc(const uint8_t* data, size_t len);

// The four data bytes d0..d3 on the wire for the IEEE pattern of v, by byte and word order.
std::array<uint8_t, 4> FloatToWire(float v, bool swap_bytes, bool swap_words);
// The inverse: the float whose pattern the four wire bytes carry.
float WireToFloat(const uint8_t* d, bool swap_bytes, bool swap_words);

class TModBUS {
 public:
  // clock paces the pause after sending and times the address hunt; op shows the busy and
  // speed message boxes (may be null: nothing is shown).
  explicit TModBUS(Clock& clock, Operator* op = nullptr);
  TModBUS(const TModBUS&) = delete;
  TModBUS& operator=(const TModBUS&) = delete;

  // Opens PortName at speed with the Modbus line profile; Speed holds the speed asked, so the
  // polling thread can open the line again after its device has gone. On failure the text
  // goes to LastError; the speed error is also shown in a message box (caption
  // "Фатальная ошибка!").
  bool OpenPort(int32_t speed);
  // Releases the port if held; always true. Closing twice does nothing.
  bool ClosePort();

  // Function 3, one register: value 0..65535.
  bool ReadRegister(uint16_t address, int32_t& value);
  // Function 3, two registers as an IEEE single in the SwapBytes/SwapWords layout.
  bool ReadFloat(uint16_t address, float& value);
  // Function 16, two registers; true only when the slave echoed the write.
  bool WriteFloat(uint16_t address, float value);

  // One request (DeviceAddress, FunctionCode, n data bytes, CRC) and one reply, copied into
  // reply (at most reply_size bytes, the rest cut). False only when the master is busy; the
  // outcome of send and receive is left in ReplyLength and LastError.
  bool Exchange(const uint8_t* data, size_t n, uint8_t* reply, size_t reply_size);
  uint16_t GetCRC(const uint8_t* data, size_t len) const { return ModbusCrc(data, len); }
  // Appends the CRC to the m bytes of frame (whose buffer holds m + 2) and sends them.
  bool SendComBlock(uint8_t* frame, size_t m);
  // Receives the reply to the frame last sent: its echo and stray bytes skipped, complete at
  // the length its function code and byte count give, or cut where the line goes quiet.
  bool ReciveComBlock(uint8_t* reply, size_t reply_size);
  void SetError(const std::string& text) { LastError = text; }
  // Why the last transaction failed, for the event log: LastError, but the receive's own text
  // where a read replaced it by "Неправильный ответ на запрос.", and a text of its own for a
  // reply refused for its CRC (which leaves LastError empty).
  std::string FailureReason() const;

  // Set by the owner before OpenPort, while not connected.
  std::string PortName = "COM1";
  int32_t Speed = 9600;
  std::atomic<bool> Connected{false};
  int32_t DeviceAddress = 1;
  uint8_t FunctionCode = 3;
  int32_t ReplyLength = 0;
  std::atomic<bool> Busy{false};
  std::array<uint8_t, kModbusBufferSize> TxBuffer{};
  std::array<uint8_t, kModbusBufferSize> RxBuffer{};
  bool SwapBytes = true;
  bool SwapWords = false;
  std::string LastError;
  std::string ExceptionText;
  bool CheckFunction = true;

  SerialLine& Line() { return line_; }

 private:
  bool ReceiveInner(uint8_t* reply, size_t reply_size);

  Clock& clock_;
  Operator* op_;
  SerialLine line_;
  std::vector<uint8_t> sent_;  // the frame of the last send, as it went out
  std::string receive_error_;  // what the last receive left in LastError
};

}  // namespace liron

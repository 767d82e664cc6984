// TVisionLink: the serial link to the V-120 controller in its ASCII command protocol (PCOM
// ASCII). One request line out, one reply line back, under a lock so that two threads never
// interleave their lines; arrays of bits and of 16- or 32-bit operands read and written by
// address; counters of requests and errors and a status text for the operator; and an
// emulation mode that answers from in-memory lists instead of the controller.
//
// Threads: the control thread activates and deactivates the link and sets its port, while the
// V-120 polling thread runs the exchanges. Every field is safe to read and write from any
// thread: the line itself is touched only under the exchange lock (activation waits for a
// running exchange to end, so a line is never closed under it), the other fields sit under a
// small state lock or are atomics.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "links/serial_line.h"
#include "platform/clock.h"
#include "platform/operator.h"

namespace liron {

class TVisionLink {
 public:
  // The clock times the reply; the beeper sounds on a reply group that is not hexadecimal
  // (may be null).
  explicit TVisionLink(Clock& clock = SystemClock(), Operator* beeper = nullptr);
  ~TVisionLink();  // deactivates
  TVisionLink(const TVisionLink&) = delete;
  TVisionLink& operator=(const TVisionLink&) = delete;

  // --- properties -------------------------------------------------------------------------
  // Port name and speed: refused (ErrMessage, old value kept) while active and different.
  std::string PortName() const;
  void SetPortName(const std::string& name);
  int32_t Speed() const;
  void SetSpeed(int32_t speed);

  // The complete request line without its carriage return; setting it clears Sended.
  std::string QueryString() const;
  void SetQueryString(const std::string& text);
  // The last good reply line, without its carriage return.
  std::string ResultStr() const;
  void SetResultStr(const std::string& text);

  int32_t SendCounter() const { return send_counter_.load(); }
  void SetSendCounter(int32_t n) { send_counter_.store(n); }
  int32_t ErrorCounter() const { return error_counter_.load(); }
  void SetErrorCounter(int32_t n) { error_counter_.store(n); }
  std::string Status() const;
  void SetStatus(const std::string& text);

  // true: opens the port (ConnectToPort with Speed); false: releases it.
  bool Active() const { return active_.load(); }
  void SetActive(bool on);
  // true: sends QueryString and clears Recived; Sended then tells whether the send went out.
  bool Sended() const;
  void SetSended(bool on);
  // true: awaits one reply line (ResultStr holds it when good).
  bool Recived() const;
  void SetRecived(bool on);

  std::string STX() const;
  void SetSTX(const std::string& text);  // shows in the next rebuilt request
  std::string STX1() const;
  void SetSTX1(const std::string& text);
  // Checksum of the current request; setting it does nothing.
  std::string CRC() const;
  void SetCRC(const std::string& text);
  // Command part of the request; a new value rebuilds QueryString.
  std::string CommandLine() const;
  void SetCommandLine(const std::string& text);
  // Unit number 0..255; a new value rebuilds QueryString, one outside refused with ErrMessage.
  int32_t UnitID() const;
  void SetUnitID(int32_t id);

  bool EmulFlag() const { return emul_flag_.load(); }
  void SetEmulFlag(bool on) { emul_flag_.store(on); }
  // Emulation lists, one decimal number per line, line index = operand address. The link
  // keeps its own copy of each.
  std::vector<std::string> EmulBitArray() const;
  void SetEmulBitArray(const std::vector<std::string>& lines);
  std::vector<std::string> EmulIntArray() const;
  void SetEmulIntArray(const std::vector<std::string>& lines);
  std::vector<std::string> EmulLongArray() const;
  void SetEmulLongArray(const std::vector<std::string>& lines);

  // --- methods ----------------------------------------------------------------------------
  // Status := text; ErrorCounter += 1.
  void ErrMessage(const std::string& text);
  // Opens PortName at speed with the PCOM line profile; refused while active.
  bool ConnectToPort(int32_t speed);
  // Two upper-case hexadecimal digits of the sum of the text's codes modulo 256.
  static std::string CalcCRC(const std::string& text);
  // CRC and QueryString from STX, UnitID and CommandLine.
  void UpdateQueryString();
  // Writes one request line (text + carriage return): input purged before, and again once the
  // line has sent it. After a failed exchange the line is first let fall quiet (a late reply
  // still arriving), for at most a second.
  bool SendString(const std::string& text);
  // Reads one reply line; empty on failure. The request's own echo (an echoing 2-wire
  // adapter: the whole line, or its tail) is skipped.
  std::string ReciveString();
  // One locked request-reply exchange of QueryString; *reply is the reply line.
  bool SendCommand(std::string* reply);
  // SendCommand, then the reply checked and stripped to its data: a few bytes before STX1
  // skipped, length, STX1, checksum, and the unit number and command echo of the request.
  bool GetQueryRez(std::string* data);

  // errno of the last failed open (see SerialLine::OpenErrno).
  int OpenErrno() const { return open_errno_.load(); }
  // The device under the active link has gone (see SerialLine::DeviceGone).
  bool LineLost();

  // Read or write bits.size() / values.size() operands from address on (RB, RW, RNL, SB, SW,
  // SNL). On the line the count is 1..255 and the address 0..65535. A failed read leaves the
  // elements it had not stored untouched.
  bool GetBitArray(int32_t address, std::span<uint8_t> bits);
  bool SetBitArray(int32_t address, std::span<const uint8_t> bits);
  bool GetIntArray(int32_t address, std::span<int32_t> values, bool long_flag);
  bool SetIntArray(int32_t address, std::span<const int32_t> values, bool long_flag);

 private:
  bool ConnectLocked(int32_t speed);
  bool Exchange(std::string* sent, std::string* reply);
  bool SendLocked(const std::string& text);
  void SettleLocked();
  bool ReceiveLocked(std::string* line);
  bool CheckReply(const std::string& sent, std::string reply, std::string* data);
  bool CheckLineArgs(int32_t address, size_t count);
  bool CheckEmulArgs(int32_t address, size_t count);
  void UpdateQueryStringLocked();  // state_mu_ held
  void SetStatusOnly(const std::string& text);

  Clock& clock_;
  Operator* beeper_;

  // The exchange lock: held for a whole request-reply exchange and for opening and closing
  // the line. Only under it is line_ touched and active_ changed.
  std::timed_mutex access_;
  SerialLine line_;
  std::atomic<bool> active_{false};
  std::string last_sent_;  // the last request line, whose echo the receive skips
  std::atomic<bool> settle_{false};  // an exchange failed: let the line fall quiet first
  std::atomic<int> open_errno_{0};

  std::atomic<int32_t> send_counter_{0};
  std::atomic<int32_t> error_counter_{0};
  std::atomic<bool> emul_flag_{false};

  // Everything else, under the state lock (never held while waiting for access_).
  mutable std::mutex state_mu_;
  std::string port_name_ = "COM1";
  std::string query_string_;
  std::string result_str_;
  std::string status_;
  bool sended_ = false;
  int32_t speed_ = 57600;
  bool recived_ = false;
  std::string stx_ = "/";
  std::string crc_;
  std::string command_line_ = "RW000001";
  int32_t unit_id_ = 1;
  std::string stx1_ = "/A";
  std::vector<std::string> emul_bits_;
  std::vector<std::string> emul_ints_;
  std::vector<std::string> emul_longs_;
};

}  // namespace liron

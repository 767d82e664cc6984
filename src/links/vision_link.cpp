#include "links/vision_link.h"

#include <algorithm>
#include <chrono>

#include "links/vision_link_format.h"
#include "links/vision_link_texts.h"

namespace liron {

namespace {

// How long an exchange waits for the lock, and for the reply's carriage return.
constexpr std::chrono::milliseconds kLockWait{250};
constexpr uint32_t kReplyWaitMs = 1000;
constexpr uint32_t kSettleMaxMs = 1000;  // the longest wait for a quiet line
constexpr int32_t kMaxAddress = 0xFFFF;  // Hex4
constexpr size_t kMaxCount = 0xFF;       // Hex2
constexpr int32_t kMaxUnit = 0xFF;       // Hex2

// One line of an emulation list as an integer; beyond the list's end 0.
bool EmulValue(const std::vector<std::string>& list, int64_t index, int32_t* value) {
  if (index >= static_cast<int64_t>(list.size())) {
    *value = 0;
    return true;
  }
  return ParseDecimal(list[static_cast<size_t>(index)], value);
}

// Line index := text, the list grown with "0" lines up to it.
void EmulStore(std::vector<std::string>& list, size_t index, const std::string& text) {
  while (index >= list.size()) list.emplace_back("0");
  list[index] = text;
}

// Takes the exchange lock, waiting at most kLockWait. ThreadSanitizer (GCC 12) does not see a
// lock taken by pthread_mutex_clocklock, which libstdc++ uses for a steady-clock wait, and
// would then report every unlock; under it the wait is measured on the system clock instead
// (pthread_mutex_timedlock), which it does see.
std::unique_lock<std::timed_mutex> TakeExchangeLock(std::timed_mutex& m) {
#if defined(__SANITIZE_THREAD__)
  return std::unique_lock<std::timed_mutex>(m, std::chrono::system_clock::now() + kLockWait);
#else
  return std::unique_lock<std::timed_mutex>(m, kLockWait);
#endif
}

}  // namespace

TVisionLink::TVisionLink(Clock& clock, Operator* beeper) : clock_(clock), beeper_(beeper) {
  std::lock_guard<std::mutex> l(state_mu_);
  UpdateQueryStringLocked();
}

TVisionLink::~TVisionLink() { SetActive(false); }

// --- properties ---------------------------------------------------------------------------

std::string TVisionLink::PortName() const {
  std::lock_guard<std::mutex> l(state_mu_);
  return port_name_;
}

void TVisionLink::SetPortName(const std::string& name) {
  {
    std::lock_guard<std::mutex> l(state_mu_);
    if (name == port_name_) return;
    if (!active_.load()) {
      port_name_ = name;
      return;
    }
  }
  ErrMessage(kVisionPortBusy);
}

int32_t TVisionLink::Speed() const {
  std::lock_guard<std::mutex> l(state_mu_);
  return speed_;
}

void TVisionLink::SetSpeed(int32_t speed) {
  {
    std::lock_guard<std::mutex> l(state_mu_);
    if (speed == speed_) return;
    if (!active_.load()) {
      speed_ = speed;
      return;
    }
  }
  ErrMessage(kVisionSpeedBusy);
}

std::string TVisionLink::QueryString() const {
  std::lock_guard<std::mutex> l(state_mu_);
  return query_string_;
}

void TVisionLink::SetQueryString(const std::string& text) {
  std::lock_guard<std::mutex> l(state_mu_);
  query_string_ = text;
  sended_ = false;
}

std::string TVisionLink::ResultStr() const {
  std::lock_guard<std::mutex> l(state_mu_);
  return result_str_;
}

void TVisionLink::SetResultStr(const std::string& text) {
  std::lock_guard<std::mutex> l(state_mu_);
  result_str_ = text;
}

std::string TVisionLink::Status() const {
  std::lock_guard<std::mutex> l(state_mu_);
  return status_;
}

void TVisionLink::SetStatus(const std::string& text) { SetStatusOnly(text); }

void TVisionLink::SetStatusOnly(const std::string& text) {
  std::lock_guard<std::mutex> l(state_mu_);
  status_ = text;
}

void TVisionLink::SetActive(bool on) {
  // Waits for a running exchange: the line is never opened or closed under it.
  std::lock_guard<std::timed_mutex> lock(access_);
  if (on == active_.load()) return;
  if (on) {
    ConnectLocked(Speed());
  } else {
    line_.CloseLine();
    active_.store(false);
  }
}

bool TVisionLink::Sended() const {
  std::lock_guard<std::mutex> l(state_mu_);
  return sended_;
}

void TVisionLink::SetSended(bool on) {
  if (on == Sended()) return;
  if (!on) {
    std::lock_guard<std::mutex> l(state_mu_);
    sended_ = false;
    return;
  }
  const bool sent = SendString(QueryString());
  std::lock_guard<std::mutex> l(state_mu_);
  sended_ = sent;
  recived_ = false;
}

bool TVisionLink::Recived() const {
  std::lock_guard<std::mutex> l(state_mu_);
  return recived_;
}

void TVisionLink::SetRecived(bool on) {
  if (on == Recived()) return;
  if (on) (void)ReciveString();  // a good reply stands in ResultStr
  std::lock_guard<std::mutex> l(state_mu_);
  recived_ = on;
}

std::string TVisionLink::STX() const {
  std::lock_guard<std::mutex> l(state_mu_);
  return stx_;
}

void TVisionLink::SetSTX(const std::string& text) {
  std::lock_guard<std::mutex> l(state_mu_);
  stx_ = text;
}

std::string TVisionLink::STX1() const {
  std::lock_guard<std::mutex> l(state_mu_);
  return stx1_;
}

void TVisionLink::SetSTX1(const std::string& text) {
  std::lock_guard<std::mutex> l(state_mu_);
  stx1_ = text;
}

std::string TVisionLink::CRC() const {
  std::lock_guard<std::mutex> l(state_mu_);
  return crc_;
}

void TVisionLink::SetCRC(const std::string&) {}  // follows the request, never set from outside

std::string TVisionLink::CommandLine() const {
  std::lock_guard<std::mutex> l(state_mu_);
  return command_line_;
}

void TVisionLink::SetCommandLine(const std::string& text) {
  std::lock_guard<std::mutex> l(state_mu_);
  if (text == command_line_) return;
  command_line_ = text;
  UpdateQueryStringLocked();
}

int32_t TVisionLink::UnitID() const {
  std::lock_guard<std::mutex> l(state_mu_);
  return unit_id_;
}

void TVisionLink::SetUnitID(int32_t id) {
  {
    std::lock_guard<std::mutex> l(state_mu_);
    if (id == unit_id_) return;
    if (id >= 0 && id <= kMaxUnit) {
      unit_id_ = id;
      UpdateQueryStringLocked();
      return;
    }
  }
  // Two hexadecimal digits hold the unit: a larger number would shift every field of the
  // request, and the line could address another unit than the one meant.
  ErrMessage(kVisionBadUnit);
}

std::vector<std::string> TVisionLink::EmulBitArray() const {
  std::lock_guard<std::mutex> l(state_mu_);
  return emul_bits_;
}

void TVisionLink::SetEmulBitArray(const std::vector<std::string>& lines) {
  std::lock_guard<std::mutex> l(state_mu_);
  if (&lines != &emul_bits_) emul_bits_ = lines;
}

std::vector<std::string> TVisionLink::EmulIntArray() const {
  std::lock_guard<std::mutex> l(state_mu_);
  return emul_ints_;
}

void TVisionLink::SetEmulIntArray(const std::vector<std::string>& lines) {
  std::lock_guard<std::mutex> l(state_mu_);
  if (&lines != &emul_ints_) emul_ints_ = lines;
}

std::vector<std::string> TVisionLink::EmulLongArray() const {
  std::lock_guard<std::mutex> l(state_mu_);
  return emul_longs_;
}

void TVisionLink::SetEmulLongArray(const std::vector<std::string>& lines) {
  std::lock_guard<std::mutex> l(state_mu_);
  if (&lines != &emul_longs_) emul_longs_ = lines;
}

// --- methods ------------------------------------------------------------------------------

void TVisionLink::ErrMessage(const std::string& text) {
  SetStatusOnly(text);
  error_counter_.fetch_add(1);
}

bool TVisionLink::ConnectToPort(int32_t speed) {
  std::lock_guard<std::timed_mutex> lock(access_);
  return ConnectLocked(speed);
}

bool TVisionLink::ConnectLocked(int32_t speed) {
  if (active_.load()) {
    ErrMessage(kVisionAlreadyActive);
    return false;
  }
  // The line maps the port name to its device (an absolute path as is, COMn to ttyS<n-1>).
  std::string error;
  if (!line_.OpenLine(PortName(), speed, SerialProfile::Pcom, &error)) {
    open_errno_.store(line_.OpenErrno());
    ErrMessage(error);
    return false;
  }
  open_errno_.store(0);
  settle_.store(false);
  active_.store(true);
  return true;
}

std::string TVisionLink::CalcCRC(const std::string& text) { return PcomChecksum(text); }

void TVisionLink::UpdateQueryString() {
  std::lock_guard<std::mutex> l(state_mu_);
  UpdateQueryStringLocked();
}

void TVisionLink::UpdateQueryStringLocked() {
  const std::string unit = Hex2(unit_id_);
  crc_ = PcomChecksum(unit + command_line_);
  query_string_ = stx_ + unit + command_line_ + crc_;
}

bool TVisionLink::SendString(const std::string& text) {
  if (!active_.load()) return false;
  std::unique_lock<std::timed_mutex> lock = TakeExchangeLock(access_);
  if (!lock.owns_lock()) {
    ErrMessage(kVisionLockBusy);
    return false;
  }
  return SendLocked(text);
}

bool TVisionLink::SendLocked(const std::string& text) {
  if (!active_.load()) return false;
  // The frame holds 99 characters and the carriage return; a longer request is refused
  // whole rather than cut, so a truncated command never reaches the controller.
  if (text.size() > kPcomMaxRequest) {
    ErrMessage(kVisionRequestTooLong);
    return false;
  }
  if (settle_.exchange(false)) SettleLocked();
  std::string frame = text;
  frame.push_back('\r');
  line_.PurgeInput();
  const bool written =
      line_.WriteBlock(reinterpret_cast<const uint8_t*>(frame.data()), frame.size());
  // Purged only once the bytes have left: what an echoing adapter hands back meanwhile goes,
  // the rest of the echo is told from the reply by the receive.
  line_.DrainOutput();
  line_.PurgeInput();
  last_sent_ = text;
  send_counter_.fetch_add(1);
  if (!written) {
    ErrMessage(kVisionSendFailed);
    return false;
  }
  SetStatusOnly(kVisionSendOk);
  return true;
}

void TVisionLink::SettleLocked() {
  // A reply that came too late, or the rest of a refused one, may still be arriving and would
  // pass for the answer to the next request of the same command: take bytes until one read
  // time-out brings none.
  const uint32_t start = clock_.Ticks();
  for (size_t n = 0; n <= kPcomMaxReply && clock_.Ticks() - start < kSettleMaxMs; ++n) {
    uint8_t byte = 0;
    bool got = false;
    if (!line_.ReadByte(&byte, &got) || !got) break;
  }
}

std::string TVisionLink::ReciveString() {
  std::unique_lock<std::timed_mutex> lock = TakeExchangeLock(access_);
  if (!lock.owns_lock()) {
    ErrMessage(kVisionLockBusy);
    return std::string();
  }
  std::string line;
  ReceiveLocked(&line);
  return line;
}

bool TVisionLink::ReceiveLocked(std::string* line) {
  line->clear();
  if (!line_.IsOpen()) return false;
  const uint32_t start = clock_.Ticks();
  // Empty reads also end the wait once they add up to it: a clock that stands still (a test's
  // fake clock) must not turn a silent controller into an endless loop.
  const SerialTimeouts& t = line_.Timeouts();
  const uint32_t empty_read_ms = std::max<uint32_t>(1, t.ReadTotalMultiplier + t.ReadTotalConstant);
  uint32_t empty_reads = 0;
  bool echo_skipped = false;
  std::string buf;
  for (;;) {
    uint8_t byte = 0;
    bool got = false;
    if (!line_.ReadByte(&byte, &got)) {
      // The device itself refuses to read (gone or broken): no reply will come.
      ErrMessage(kVisionNoReply);
      return false;
    }
    if (got) {
      if (byte == '\r' && !echo_skipped && last_sent_.ends_with(buf)) {
        echo_skipped = true;  // the request itself, or what the purge left of it
        buf.clear();
        continue;
      }
      if (byte == '\r') {
        std::lock_guard<std::mutex> l(state_mu_);
        result_str_ = buf;
        status_ = kVisionReceiveOk;
        *line = std::move(buf);
        return true;
      }
      buf.push_back(static_cast<char>(byte));
      if (buf.size() > kPcomMaxReply) {
        ErrMessage(kVisionReplyTooLong);
        return false;
      }
    }
    if (!got) ++empty_reads;
    if (clock_.Ticks() - start > kReplyWaitMs || empty_reads * empty_read_ms > kReplyWaitMs) {
      ErrMessage(kVisionNoReply);
      return false;
    }
  }
}

bool TVisionLink::SendCommand(std::string* reply) {
  std::string sent;
  return Exchange(&sent, reply);
}

bool TVisionLink::Exchange(std::string* sent, std::string* reply) {
  std::unique_lock<std::timed_mutex> lock = TakeExchangeLock(access_);
  if (!lock.owns_lock()) {
    ErrMessage(kVisionLockBusy);
    return false;
  }
  *sent = QueryString();
  if (!SendLocked(*sent)) return false;
  // The exchange succeeds on its own receive result, not on an unchanged ErrorCounter that
  // another thread may move meanwhile.
  if (ReceiveLocked(reply)) return true;
  settle_.store(true);
  return false;
}

bool TVisionLink::GetQueryRez(std::string* data) {
  std::string sent, reply;
  if (!Exchange(&sent, &reply)) return false;
  if (CheckReply(sent, std::move(reply), data)) return true;
  settle_.store(true);
  return false;
}

bool TVisionLink::CheckReply(const std::string& sent, std::string reply, std::string* data) {
  const std::string stx1 = STX1();
  const size_t at = reply.find(stx1);
  if (at != std::string::npos && at <= kPcomMaxLeadingBytes) reply.erase(0, at);
  if (reply.size() < stx1.size() + 4) {
    SetStatusOnly(kVisionAnswerTooShort);
    return false;
  }
  if (reply.compare(0, stx1.size(), stx1) != 0) {
    SetStatusOnly(kVisionStx1Missing);
    return false;
  }
  std::string body = reply.substr(stx1.size());
  const std::string received = body.substr(body.size() - 2);
  body.resize(body.size() - 2);
  // A text comparison: a checksum in lower-case digits does not pass.
  if (PcomChecksum(body) != received) {
    SetStatusOnly(kVisionCrcError);
    return false;
  }
  // The reply repeats the request's unit number and the first two letters of its command.
  // The operand's address is not repeated, so a late reply to the same command still passes
  // here: the settling of the line after a failed exchange keeps that one out.
  const size_t stx = STX().size();
  if (body.size() < 4 || sent.size() < stx + 4 || body.compare(0, 4, sent, stx, 4) != 0) {
    SetStatusOnly(kVisionForeignReply);
    return false;
  }
  *data = body.substr(4);
  return true;
}

bool TVisionLink::LineLost() {
  std::lock_guard<std::timed_mutex> lock(access_);
  return active_.load() && line_.DeviceGone();
}

bool TVisionLink::CheckLineArgs(int32_t address, size_t count) {
  if (address < 0 || address > kMaxAddress || count < 1 || count > kMaxCount) {
    ErrMessage(kVisionBadArgument);
    return false;
  }
  return true;
}

bool TVisionLink::CheckEmulArgs(int32_t address, size_t count) {
  if (address < 0 || static_cast<int64_t>(address) + static_cast<int64_t>(count) >
                         static_cast<int64_t>(kMaxAddress) + 1) {
    ErrMessage(kVisionBadArgument);
    return false;
  }
  return true;
}

bool TVisionLink::GetBitArray(int32_t address, std::span<uint8_t> bits) {
  if (EmulFlag()) {
    if (bits.empty()) return true;
    if (!CheckEmulArgs(address, bits.size())) return false;
    std::lock_guard<std::mutex> l(state_mu_);
    for (size_t j = 0; j < bits.size(); ++j) {
      int32_t v = 0;
      if (!EmulValue(emul_bits_, address + static_cast<int64_t>(j), &v)) {
        status_ = kVisionIntConvertError;
        return false;
      }
      bits[j] = v != 0 ? 1 : 0;
    }
    return true;
  }
  if (!CheckLineArgs(address, bits.size())) return false;
  SetCommandLine("RB" + Hex4(address) + Hex2(static_cast<int64_t>(bits.size())));
  std::string data;
  if (!GetQueryRez(&data)) return false;
  if (data.size() < bits.size()) {
    SetStatusOnly(kVisionAnswerTooShort);
    return false;
  }
  for (size_t j = 0; j < bits.size(); ++j) bits[j] = data[j] == '1' ? 1 : 0;
  return true;
}

bool TVisionLink::GetIntArray(int32_t address, std::span<int32_t> values, bool long_flag) {
  if (EmulFlag()) {
    if (values.empty()) return true;
    if (!CheckEmulArgs(address, values.size())) return false;
    std::lock_guard<std::mutex> l(state_mu_);
    const std::vector<std::string>& list = long_flag ? emul_longs_ : emul_ints_;
    for (size_t j = 0; j < values.size(); ++j) {
      if (!EmulValue(list, address + static_cast<int64_t>(j), &values[j])) {
        status_ = kVisionIntConvertError;
        return false;
      }
    }
    return true;
  }
  if (!CheckLineArgs(address, values.size())) return false;
  SetCommandLine(std::string(long_flag ? "RNL" : "RW") + Hex4(address) +
                 Hex2(static_cast<int64_t>(values.size())));
  std::string data;
  if (!GetQueryRez(&data)) return false;
  const size_t width = long_flag ? 8 : 4;
  if (data.size() < values.size() * width) {
    SetStatusOnly(kVisionAnswerTooShort);
    return false;
  }
  for (size_t j = 0; j < values.size(); ++j) {
    uint32_t v = 0;
    if (!ParseHexGroup(data.substr(j * width, width), &v)) {
      if (beeper_) beeper_->Beep();
      SetStatusOnly(kVisionIntConvertError);
      return false;
    }
    // Eight digits are a 32-bit two's-complement value (FFFFFFFF is -1); four are 0..65535.
    values[j] = static_cast<int32_t>(v);
  }
  return true;
}

bool TVisionLink::SetBitArray(int32_t address, std::span<const uint8_t> bits) {
  if (EmulFlag()) {
    if (bits.empty()) return true;
    if (!CheckEmulArgs(address, bits.size())) return false;
    std::lock_guard<std::mutex> l(state_mu_);
    for (size_t j = 0; j < bits.size(); ++j)
      EmulStore(emul_bits_, static_cast<size_t>(address) + j, std::to_string(bits[j]));
    return true;
  }
  if (!CheckLineArgs(address, bits.size())) return false;
  std::string cmd = "SB" + Hex4(address) + Hex2(static_cast<int64_t>(bits.size()));
  for (uint8_t b : bits) cmd.push_back(b != 0 ? '1' : '0');
  SetCommandLine(cmd);
  std::string data;
  return GetQueryRez(&data);
}

bool TVisionLink::SetIntArray(int32_t address, std::span<const int32_t> values,
                              bool long_flag) {
  if (EmulFlag()) {
    if (values.empty()) return true;
    if (!CheckEmulArgs(address, values.size())) return false;
    std::lock_guard<std::mutex> l(state_mu_);
    std::vector<std::string>& list = long_flag ? emul_longs_ : emul_ints_;
    for (size_t j = 0; j < values.size(); ++j)
      EmulStore(list, static_cast<size_t>(address) + j, std::to_string(values[j]));
    return true;
  }
  if (!CheckLineArgs(address, values.size())) return false;
  std::string cmd = std::string(long_flag ? "SNL" : "SW") + Hex4(address) +
                    Hex2(static_cast<int64_t>(values.size()));
  for (int32_t v : values) {
    if (long_flag) {
      cmd += Hex8(v);
    } else {
      // Four digits hold 0..65535; another value would lengthen the field and shift every
      // operand after it.
      if (v < 0 || v > 0xFFFF) {
        ErrMessage(kVisionBadArgument);
        return false;
      }
      cmd += Hex4(v);
    }
  }
  SetCommandLine(cmd);
  std::string data;
  return GetQueryRez(&data);
}

}  // namespace liron

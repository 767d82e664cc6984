// TModBUS against jumo-sim on a pseudo-terminal: frames on the wire, layouts, faults, limits.
#include "links/modbus.h"

#include <pty.h>
#include <sys/ioctl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "links/jumo_sim_fixture.h"
#include "platform/clock.h"
#include "platform/recording_operator.h"

namespace liron {
namespace {

using test::JumoSim;

const char kPlant[] =
    "slave 1\n"
    "reg 0 300\n"
    "reg 5 7\n"
    "float 0x0020 0\n"
    "slave 2\n"
    "float 0x0010 100.0 order=ABCD\n"
    "float 0x0100 -2.5 order=ABCD\n"
    "float 0x0102 -2.5 order=CDAB\n"
    "float 0x0104 -2.5 order=DCBA\n"
    "float 0x0106 -2.5 order=BADC\n"
    "slave 44\n"
    "float 0x0010 1.0\n";

long MsSince(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               t0)
      .count();
}

class ModbusSimTest : public ::testing::Test {
 protected:
  ModbusSimTest() : sim_(kPlant), bus_(SystemClock(), &op_) {
    bus_.PortName = sim_.port();
    if (sim_.started()) {
      EXPECT_TRUE(bus_.OpenPort(19200)) << bus_.LastError;
    }
  }
  void Slave(int addr, bool swap_bytes = true, bool swap_words = false) {
    bus_.DeviceAddress = addr;
    bus_.SwapBytes = swap_bytes;
    bus_.SwapWords = swap_words;
  }
  // Reads slave 2's float 0x10 (100.0) and expects success: the line is in step again.
  void ExpectHealthy() {
    std::this_thread::sleep_for(std::chrono::milliseconds(250));  // leftovers of a fault
    Slave(2);
    float v = 0;
    EXPECT_TRUE(bus_.ReadFloat(0x10, v)) << bus_.LastError;
    EXPECT_EQ(v, 100.0f);
  }

  JumoSim sim_;
  RecordingOperator op_;
  TModBUS bus_;
};

TEST(ModbusCrc, PublishedExample) {
  const uint8_t req[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01};
  EXPECT_EQ(ModbusCrc(req, sizeof req), 0x0A84);
}

TEST(ModbusLayout, FourOrdersOfOneHundred) {
  using B = std::array<uint8_t, 4>;
  EXPECT_EQ(FloatToWire(100.0f, true, false), (B{0x42, 0xC8, 0x00, 0x00}));
  EXPECT_EQ(FloatToWire(100.0f, true, true), (B{0x00, 0x00, 0x42, 0xC8}));
  EXPECT_EQ(FloatToWire(100.0f, false, false), (B{0x00, 0x00, 0xC8, 0x42}));
  EXPECT_EQ(FloatToWire(100.0f, false, true), (B{0xC8, 0x42, 0x00, 0x00}));
  for (bool sb : {false, true})
    for (bool sw : {false, true}) EXPECT_EQ(WireToFloat(FloatToWire(-1.5e-3f, sb, sw).data(), sb, sw), -1.5e-3f);
}

TEST_F(ModbusSimTest, ExampleFramesByteForByte) {
  ASSERT_TRUE(sim_.started());
  Slave(1);
  int32_t reg = -1;
  ASSERT_TRUE(bus_.ReadRegister(0, reg)) << bus_.LastError;
  EXPECT_EQ(reg, 300);

  Slave(2);
  float f = 0;
  ASSERT_TRUE(bus_.ReadFloat(0x0010, f)) << bus_.LastError;
  EXPECT_EQ(f, 100.0f);

  Slave(1);
  ASSERT_TRUE(bus_.WriteFloat(0x0020, 100.0f)) << bus_.LastError;

  const auto rx = sim_.LogLines("rx ");
  const auto tx = sim_.LogLines("tx ");
  ASSERT_EQ(rx.size(), 3u);
  ASSERT_EQ(tx.size(), 3u);
  EXPECT_EQ(rx[0], "rx slave=1 fn=3 bytes=01 03 00 00 00 01 84 0A");
  EXPECT_EQ(tx[0], "tx slave=1 fault=none bytes=01 03 02 01 2C B8 09");
  EXPECT_EQ(rx[1], "rx slave=2 fn=3 bytes=02 03 00 10 00 02 C5 FD");
  EXPECT_EQ(tx[1], "tx slave=2 fault=none bytes=02 03 04 42 C8 00 00 5C B5");
  EXPECT_EQ(rx[2], "rx slave=1 fn=16 bytes=01 10 00 20 00 02 04 42 C8 00 00 64 31");
  ASSERT_EQ(sim_.LogLines("write ").size(), 1u);
  EXPECT_EQ(sim_.LogLines("write ")[0], "write slave=1 reg=32 count=2 value=100 order=ABCD");
  EXPECT_TRUE(bus_.LastError.empty());
  EXPECT_TRUE(op_.Messages().empty());
}

TEST_F(ModbusSimTest, AllFourLayoutsRoundTrip) {
  ASSERT_TRUE(sim_.started());
  struct L {
    uint16_t reg;
    bool bytes, words;
    const char* order;
  } layouts[] = {{0x100, true, false, "ABCD"},
                 {0x102, true, true, "CDAB"},
                 {0x104, false, false, "DCBA"},
                 {0x106, false, true, "BADC"}};
  for (const L& l : layouts) {
    SCOPED_TRACE(l.order);
    Slave(2, l.bytes, l.words);
    float v = 0;
    // The simulator's own value, laid out by its own order: the master reads it right.
    ASSERT_TRUE(bus_.ReadFloat(l.reg, v)) << bus_.LastError;
    EXPECT_EQ(v, -2.5f);
    ASSERT_TRUE(bus_.WriteFloat(l.reg, 123456.0f)) << bus_.LastError;
    ASSERT_TRUE(bus_.ReadFloat(l.reg, v)) << bus_.LastError;
    EXPECT_EQ(v, 123456.0f);
    EXPECT_EQ(sim_.LogLines("write ").back(), "write slave=2 reg=" + std::to_string(l.reg) +
                                                  " count=2 value=123456 order=" + l.order);
  }
  // 123456.0 is 0x47F1 0x2000 high word first: the registers as the slave holds them.
  Slave(2);
  int32_t hi = 0, lo = 0;
  ASSERT_TRUE(bus_.ReadRegister(0x100, hi));
  ASSERT_TRUE(bus_.ReadRegister(0x101, lo));
  EXPECT_EQ(hi, 0x47F1);
  EXPECT_EQ(lo, 0x2000);
}

TEST_F(ModbusSimTest, EveryFaultFailsTheReadAndTheNextSucceeds) {
  ASSERT_TRUE(sim_.started());
  struct Case {
    const char* fault;
    const char* last_error;  // after ReadFloat
  } cases[] = {
      {"fault silence count=1", kModbusWrongAnswer},
      {"fault noise bytes=130 count=1", kModbusWrongAnswer},
      {"fault exception count=1", kModbusWrongAnswer},
      {"fault badcrc count=1", ""},
      {"fault truncate bytes=5 count=1", kModbusWrongAnswer},
      {"fault pause bytes=3 ms=120 count=1", kModbusWrongAnswer},
      {"fault late ms=600 count=1", kModbusWrongAnswer},  // after the master gave up
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    sim_.SetFaults(std::string(c.fault) + "\n");
    Slave(2);
    float v = -1;
    EXPECT_FALSE(bus_.ReadFloat(0x10, v));
    EXPECT_EQ(bus_.LastError, c.last_error);
    EXPECT_EQ(v, -1.0f);
    ExpectHealthy();
  }
}

TEST_F(ModbusSimTest, ReceiveReasonsBeforeTheReadReplacesThem) {
  ASSERT_TRUE(sim_.started());
  const uint8_t read2[] = {0x00, 0x10, 0x00, 0x02};
  uint8_t reply[32];
  struct Case {
    const char* fault;
    const char* receive_error;
  } cases[] = {
      {"fault silence count=1", kModbusNoAnswer},
      {"fault noise bytes=130 count=1", kModbusStrayBytes},
      {"fault exception count=1", kModbusUnexpected},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    sim_.SetFaults(std::string(c.fault) + "\n");
    Slave(2);
    bus_.FunctionCode = 3;
    EXPECT_TRUE(bus_.Exchange(read2, sizeof read2, reply, sizeof reply));
    EXPECT_EQ(bus_.LastError, c.receive_error);
    EXPECT_EQ(bus_.ReplyLength, 0);
    ExpectHealthy();
  }
  // A function code the slave does not know: exception 1, as from a JUMO controller.
  bus_.FunctionCode = 0x41;
  EXPECT_TRUE(bus_.Exchange(read2, sizeof read2, reply, sizeof reply));
  EXPECT_EQ(bus_.LastError, kModbusUnexpected);
  EXPECT_EQ(sim_.LogLines("tx ").back().substr(0, 37), "tx slave=2 fault=none bytes=02 C1 01 ");
}

TEST_F(ModbusSimTest, StrayBytesUpTo129AreTolerated) {
  ASSERT_TRUE(sim_.started());
  sim_.SetFaults("fault noise bytes=129 count=1\n");
  Slave(2);
  float v = 0;
  EXPECT_TRUE(bus_.ReadFloat(0x10, v)) << bus_.LastError;
  EXPECT_EQ(v, 100.0f);
  sim_.SetFaults("fault noise bytes=130 count=1\n");
  EXPECT_FALSE(bus_.ReadFloat(0x10, v));
}

TEST_F(ModbusSimTest, AReplyEndsAtItsLengthWhateverFollowsIt) {
  ASSERT_TRUE(sim_.started());
  for (const char* fault : {"fault long bytes=40 count=1\n", "fault long bytes=600 count=1\n"}) {
    SCOPED_TRACE(fault);
    sim_.SetFaults(fault);
    Slave(2);
    float v = 0;
    EXPECT_TRUE(bus_.ReadFloat(0x10, v)) << bus_.LastError;
    EXPECT_EQ(v, 100.0f);
    EXPECT_EQ(bus_.ReplyLength, 9);
    ExpectHealthy();
  }
}

// Lines as real wires and adapters make them: every transaction of the master still succeeds.
TEST_F(ModbusSimTest, RealLinesAreReadWhole) {
  ASSERT_TRUE(sim_.started());
  struct Case {
    int32_t speed;
    const char* line;
  } cases[] = {
      // Paced replies whose first bytes arrive within the 40 ms pause after the request and
      // whose last ones after it; at 115200 with a gap inside the first reply.
      {9600, "pace on\nturnaround 36\n"},
      {19200, "pace on\nturnaround 38\n"},
      {115200, "pace on\nturnaround 39\nfault pause bytes=5 ms=3 count=1\n"},
      // A 2-wire adapter hands the request back: whole, or only the tail the purge left.
      {19200, "echo whole delay=2\n"},
      {19200, "echo tail=3 delay=1\npace on\n"},
      // Noise before the reply that holds the slave's address and a false start of its reply.
      {19200, "fault noise bytes=12 own=1 count=1\n"},
  };
  // A generous inter-character silence: a simulator slowed down by a sanitizer or a busy
  // machine must not cut its own reply. The master reads by the reply's length all the same.
  test::TempDir dir;
  test::WriteFileBytes(dir.File(TimeoutFileName(sim_.port())), "[timeouts]\nRInterval=100\n");
  const auto cwd = std::filesystem::current_path();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.speed) + " " + c.line);
    bus_.ClosePort();
    std::filesystem::current_path(dir.path());
    const bool opened = bus_.OpenPort(c.speed);
    std::filesystem::current_path(cwd);
    ASSERT_TRUE(opened) << bus_.LastError;
    sim_.SetFaults(c.line);
    float f = 0;
    int32_t r = 0;
    Slave(2);
    EXPECT_TRUE(bus_.ReadFloat(0x10, f)) << bus_.LastError;
    EXPECT_EQ(f, 100.0f);
    Slave(1);
    EXPECT_TRUE(bus_.ReadRegister(0, r)) << bus_.LastError;
    EXPECT_EQ(r, 300);
    EXPECT_TRUE(bus_.WriteFloat(0x20, 1.5f)) << bus_.LastError;
  }
}

TEST_F(ModbusSimTest, SilentSlaveFailsAfterPauseAndHunt) {
  ASSERT_TRUE(sim_.started());
  Slave(9);  // nobody on the line answers to 9
  float v = 0;
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(bus_.ReadFloat(0x10, v));
  const long ms = MsSince(t0);
  EXPECT_EQ(bus_.LastError, kModbusWrongAnswer);
  EXPECT_GE(ms, 440);
  EXPECT_LT(ms, 1500);
}

TEST_F(ModbusSimTest, AnAddressAbove255NeverMatches) {
  ASSERT_TRUE(sim_.started());
  Slave(300);  // 300 & 0xFF = 44: slave 44 answers, but its reply is not taken
  float v = 0;
  EXPECT_FALSE(bus_.ReadFloat(0x10, v));
  ASSERT_EQ(sim_.LogLines("rx ").size(), 1u);
  EXPECT_EQ(sim_.LogLines("rx ")[0].substr(0, 17), "rx slave=44 fn=3 ");
}

TEST_F(ModbusSimTest, CheckedRegisterReads) {
  ASSERT_TRUE(sim_.started());
  Slave(1);
  int32_t r = -1;
  // A reply cut after three bytes or with a wrong CRC is refused, not read as a value.
  sim_.SetFaults("fault truncate bytes=3 count=1\n");
  EXPECT_FALSE(bus_.ReadRegister(5, r));
  EXPECT_EQ(bus_.LastError, kModbusWrongAnswer);
  sim_.SetFaults("fault badcrc count=1\n");
  EXPECT_FALSE(bus_.ReadRegister(5, r));
  EXPECT_EQ(bus_.LastError, "");
  EXPECT_EQ(r, -1);
  ASSERT_TRUE(bus_.ReadRegister(5, r)) << bus_.LastError;
  EXPECT_EQ(r, 7);
}

TEST_F(ModbusSimTest, UnconfirmedWriteFails) {
  ASSERT_TRUE(sim_.started());
  Slave(9);
  EXPECT_FALSE(bus_.WriteFloat(0x20, 1.0f));
  EXPECT_EQ(bus_.LastError, kModbusNoAnswer);
  Slave(1);
  sim_.SetFaults("fault badcrc count=1\n");
  EXPECT_FALSE(bus_.WriteFloat(0x20, 1.0f));
  EXPECT_TRUE(bus_.WriteFloat(0x20, 2.0f)) << bus_.LastError;
}

TEST_F(ModbusSimTest, BusyMasterShowsItsMessage) {
  ASSERT_TRUE(sim_.started());
  bus_.Busy = true;  // a transaction still running
  float v = 0;
  EXPECT_FALSE(bus_.ReadFloat(0x10, v));
  EXPECT_FALSE(bus_.WriteFloat(0x10, 1.0f));
  const auto msgs = op_.Messages();
  ASSERT_EQ(msgs.size(), 2u);
  EXPECT_EQ(msgs[0].text, "Выполнение предыдущей команды еще не завершено.");
  EXPECT_EQ(msgs[0].caption, "Ошибка");
  EXPECT_EQ(msgs[0].icon, MsgIcon::Error);
  EXPECT_TRUE(sim_.LogLines("rx ").empty());
  bus_.Busy = false;
  Slave(2);
  EXPECT_TRUE(bus_.ReadFloat(0x10, v));
}

TEST_F(ModbusSimTest, SimulatorEndsCleanlyOnSignals) {
  ASSERT_TRUE(sim_.started());
  EXPECT_TRUE(sim_.Stop(SIGTERM));
  JumoSim other(kPlant);
  ASSERT_TRUE(other.started());
  EXPECT_TRUE(other.Stop(SIGINT));
}

TEST(JumoSimTool, ValuesDriftWithinTheirSwing) {
  JumoSim sim("slave 5\nfloat 0x10 20.0 drift=2\nreg 0 1000 drift=50\n");
  ASSERT_TRUE(sim.started());
  TModBUS bus(SystemClock());
  bus.PortName = sim.port();
  ASSERT_TRUE(bus.OpenPort(38400)) << bus.LastError;
  bus.DeviceAddress = 5;
  float a = 0, b = 0;
  int32_t r = 0;
  ASSERT_TRUE(bus.ReadFloat(0x10, a)) << bus.LastError;
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  ASSERT_TRUE(bus.ReadFloat(0x10, b)) << bus.LastError;
  ASSERT_TRUE(bus.ReadRegister(0, r)) << bus.LastError;
  EXPECT_NE(a, b);
  EXPECT_LE(std::fabs(a - 20.0f), 2.0f);
  EXPECT_LE(std::fabs(b - 20.0f), 2.0f);
  EXPECT_GE(r, 950);
  EXPECT_LE(r, 1050);
}

TEST(JumoSimTool, RefusesABadConfig) {
  test::TempDir dir;
  test::WriteFileBytes(dir.File("bad.conf"), "slave 1\nfloat 0x10 abc\n");
  test::SimProcess sim;
  std::string err;
  EXPECT_FALSE(sim.Start(LIRON_JUMO_SIM, {"--config", dir.File("bad.conf"), "--pty", dir.File("j")},
                         dir.File("j"), dir.File("out"), 3000, &err));
  EXPECT_NE(test::ReadFileBytes(dir.File("out")).find("line 2: not a number: abc"),
            std::string::npos);
}

TEST(ModbusPort, OpenCloseAndNotConnected) {
  RecordingOperator op;
  TModBUS bus(SystemClock(), &op);
  EXPECT_FALSE(bus.Connected);
  float v = 0;
  int32_t r = 0;
  EXPECT_FALSE(bus.ReadFloat(0, v));
  EXPECT_EQ(bus.LastError, kModbusWrongAnswer);  // the receive's "Поорт не подключен!" replaced
  const uint8_t read1[] = {0, 0, 0, 1};
  uint8_t reply[32];
  bus.Exchange(read1, sizeof read1, reply, sizeof reply);
  EXPECT_EQ(bus.LastError, "Поорт не подключен!");
  EXPECT_FALSE(bus.ReadRegister(0, r));
  EXPECT_FALSE(bus.WriteFloat(0, 1.0f));

  // The speed error goes to a message box; the port is never opened.
  bus.PortName = "/dev/liron-none";
  EXPECT_FALSE(bus.OpenPort(57000));
  ASSERT_EQ(op.Messages().size(), 1u);
  EXPECT_EQ(op.Messages()[0].text, "Попытка соединения с неправильной скоростью!");
  EXPECT_EQ(op.Messages()[0].caption, "Фатальная ошибка!");
  EXPECT_FALSE(bus.OpenPort(9600));
  EXPECT_EQ(bus.LastError, kSerialOpenError);
  EXPECT_EQ(op.Messages().size(), 1u);
  EXPECT_FALSE(bus.Connected);

  int m = -1, s = -1;
  char name[128];
  ASSERT_EQ(openpty(&m, &s, name, nullptr, nullptr), 0);
  bus.PortName = name;
  ASSERT_TRUE(bus.OpenPort(14400)) << bus.LastError;
  EXPECT_TRUE(bus.Connected);
  EXPECT_EQ(bus.Speed, 14400);
  TModBUS second(SystemClock(), &op);
  second.PortName = name;
  EXPECT_FALSE(second.OpenPort(9600));  // held by the first
  EXPECT_EQ(second.LastError, kSerialOpenError);
  EXPECT_TRUE(bus.ClosePort());
  EXPECT_TRUE(bus.ClosePort());
  EXPECT_FALSE(bus.Connected);
  close(s);
  close(m);
}

TEST(ModbusPort, FrameOf501BytesIsRefusedUnwritten) {
  int m = -1, s = -1;
  char name[128];
  ASSERT_EQ(openpty(&m, &s, name, nullptr, nullptr), 0);
  TModBUS bus(SystemClock());
  bus.PortName = name;
  ASSERT_TRUE(bus.OpenPort(115200)) << bus.LastError;
  std::vector<uint8_t> data(499, 0x55);  // with address and function: 501 bytes
  uint8_t reply[32];
  bus.FunctionCode = 16;
  // The send refuses it; the receive that follows anyway leaves its own reason.
  EXPECT_TRUE(bus.Exchange(data.data(), data.size(), reply, sizeof reply));
  EXPECT_EQ(bus.LastError, kModbusNoAnswer);
  int queued = -1;
  ioctl(m, FIONREAD, &queued);
  EXPECT_EQ(queued, 0);
  std::vector<uint8_t> frame(503, 0x55);
  EXPECT_FALSE(bus.SendComBlock(frame.data(), 501));
  EXPECT_EQ(bus.LastError, "Попытка передать слишком большой блок информации!");
  ioctl(m, FIONREAD, &queued);
  EXPECT_EQ(queued, 0);
  // Far larger than the send buffer: refused the same way, nothing copied past it.
  std::vector<uint8_t> huge(5000, 0x55);
  bus.Exchange(huge.data(), huge.size(), reply, sizeof reply);
  ioctl(m, FIONREAD, &queued);
  EXPECT_EQ(queued, 0);
  // 500 bytes go out, with their CRC.
  data.resize(498);
  bus.Exchange(data.data(), data.size(), reply, sizeof reply);
  ioctl(m, FIONREAD, &queued);
  EXPECT_EQ(queued, 502);
  bus.ClosePort();
  close(s);
  close(m);
}

}  // namespace
}  // namespace liron

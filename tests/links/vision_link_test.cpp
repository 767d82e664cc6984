// TVisionLink against v120-sim on a pseudo-terminal: the request and reply lines byte for
// byte, every fault mode of the controller with its status text and error count, the
// exchange lock, the property rules and the emulation lists.
#include "links/vision_link.h"

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "links/vision_link_texts.h"
#include "platform/fake_clock.h"
#include "platform/operator.h"
#include "v120_sim_runner.h"

namespace liron {
namespace {

using test::V120SimRunner;

class BeepCounter : public Operator {
 public:
  void ShowMessage(const std::string&, const std::string&, MsgIcon) override {}
  bool Ask(const std::string&, const std::string&, MsgIcon, bool d) override { return d; }
  void Beep() override { ++beeps; }
  std::atomic<int> beeps{0};
};

constexpr char kConfig[] =
    "1 word 16 1234\n"
    "1 word 21 65535\n"
    "1 long 20 -1\n"
    "1 long 21 305419896\n"
    "1 bit 10 1\n"
    "1 bit 12 1\n"
    "2 word 16 77\n";

class VisionLinkSim : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim.Start(kConfig));
    link.SetPortName(sim.Port());
    link.SetActive(true);
    ASSERT_TRUE(link.Active()) << link.Status();
  }

  int32_t ReadWord(int32_t addr) {
    int32_t v = -7;
    EXPECT_TRUE(link.GetIntArray(addr, {&v, 1}, false)) << link.Status();
    return v;
  }

  V120SimRunner sim;
  BeepCounter beeper;
  TVisionLink link{SystemClock(), &beeper};
};

TEST(VisionLinkProperties, FreshLinkHoldsTheStoredValues) {
  TVisionLink link;
  EXPECT_EQ(link.QueryString(), "/01RW0000012B");
  EXPECT_EQ(link.CRC(), "2B");
  EXPECT_EQ(link.PortName(), "COM1");
  EXPECT_EQ(link.Speed(), 57600);
  EXPECT_EQ(link.CommandLine(), "RW000001");
  EXPECT_EQ(link.UnitID(), 1);
  EXPECT_EQ(link.STX(), "/");
  EXPECT_EQ(link.STX1(), "/A");
  EXPECT_FALSE(link.Active());
  EXPECT_FALSE(link.Sended());
  EXPECT_FALSE(link.Recived());
  EXPECT_FALSE(link.EmulFlag());
  EXPECT_EQ(link.SendCounter(), 0);
  EXPECT_EQ(link.ErrorCounter(), 0);
  EXPECT_EQ(link.Status(), "");
}

TEST(VisionLinkProperties, ChecksumIsTheByteSumInTwoUpperCaseDigits) {
  EXPECT_EQ(TVisionLink::CalcCRC("01RW000001"), "2B");
  EXPECT_EQ(TVisionLink::CalcCRC("01RW001001"), "2C");
  EXPECT_EQ(TVisionLink::CalcCRC("01RW04D2"), "E4");
  EXPECT_EQ(TVisionLink::CalcCRC(""), "00");
}

TEST(VisionLinkProperties, UnitIdAndCommandLineRebuildOnlyOnChange) {
  TVisionLink link;
  // A new STX shows only in the next rebuilt request: setting the same unit rebuilds nothing.
  link.SetSTX("#");
  link.SetUnitID(1);
  EXPECT_EQ(link.QueryString(), "/01RW0000012B");
  link.SetUnitID(10);
  EXPECT_EQ(link.QueryString(), "#0ARW0000013B");
  EXPECT_EQ(link.CRC(), "3B");
  link.SetSTX("/");
  link.SetCommandLine("RW000001");  // unchanged: no rebuild
  EXPECT_EQ(link.QueryString(), "#0ARW0000013B");
  link.SetCommandLine("RW001001");
  EXPECT_EQ(link.QueryString(), "/0ARW001001" + TVisionLink::CalcCRC("0ARW001001"));

  // CRC follows the request only; QueryString set by hand clears Sended.
  link.SetCRC("00");
  EXPECT_EQ(link.CRC(), TVisionLink::CalcCRC("0ARW001001"));
  link.SetQueryString("/01XX");
  EXPECT_EQ(link.QueryString(), "/01XX");
  EXPECT_FALSE(link.Sended());
}

TEST(VisionLinkProperties, UnitNumberBeyondTwoDigitsIsRefused) {
  TVisionLink link;
  for (int32_t bad : {256, -1}) {
    const int32_t errors = link.ErrorCounter();
    link.SetUnitID(bad);
    EXPECT_EQ(link.UnitID(), 1);
    EXPECT_EQ(link.QueryString(), "/01RW0000012B");
    EXPECT_EQ(link.Status(), kVisionBadUnit);
    EXPECT_EQ(link.ErrorCounter(), errors + 1);
  }
  link.SetUnitID(255);
  EXPECT_EQ(link.QueryString().substr(0, 3), "/FF");
}

TEST(VisionLinkProperties, OpenFailuresLeaveTheLinkInactiveWithTheirText) {
  TVisionLink link;
  link.SetPortName("/nonexistent/v120");
  link.SetActive(true);
  EXPECT_FALSE(link.Active());
  EXPECT_EQ(link.Status(), kSerialOpenError);
  EXPECT_EQ(link.ErrorCounter(), 1);

  link.SetSpeed(33600);  // offered by the settings tab, but no accepted speed
  link.SetActive(true);
  EXPECT_FALSE(link.Active());
  EXPECT_EQ(link.Status(), kSerialSpeedError);
  EXPECT_EQ(link.ErrorCounter(), 2);

  // An inactive link sends nothing and says nothing.
  int32_t v = 5;
  EXPECT_FALSE(link.GetIntArray(0, {&v, 1}, false));
  EXPECT_EQ(v, 5);
  EXPECT_EQ(link.SendCounter(), 0);
  EXPECT_EQ(link.ErrorCounter(), 2);
}

TEST_F(VisionLinkSim, RequestAndReplyLinesByteForByte) {
  EXPECT_EQ(ReadWord(0x10), 1234);
  EXPECT_EQ(link.QueryString(), "/01RW0010012C");
  EXPECT_EQ(link.ResultStr(), "/A01RW04D2E4");
  EXPECT_EQ(link.Status(), kVisionReceiveOk);
  EXPECT_EQ(link.SendCounter(), 1);
  EXPECT_EQ(link.ErrorCounter(), 0);
  const auto rx = sim.LogLines("rx ");
  const auto tx = sim.LogLines("tx ");
  ASSERT_EQ(rx.size(), 1u);
  ASSERT_EQ(tx.size(), 1u);
  EXPECT_EQ(rx[0], "rx /01RW0010012C");
  EXPECT_EQ(tx[0], "tx /A01RW04D2E4");

  // The stored request of a fresh link, sent through Sended and awaited through Recived.
  link.SetCommandLine("RW000001");
  ASSERT_EQ(link.QueryString(), "/01RW0000012B");
  link.SetSended(true);
  EXPECT_TRUE(link.Sended());
  EXPECT_FALSE(link.Recived());
  EXPECT_EQ(link.Status(), kVisionSendOk);
  link.SetRecived(true);
  EXPECT_TRUE(link.Recived());
  EXPECT_EQ(link.ResultStr(), "/A01RW0000" + TVisionLink::CalcCRC("01RW0000"));
  EXPECT_EQ(sim.LogLines("rx ").back(), "rx /01RW0000012B");
}

TEST_F(VisionLinkSim, ReadsBitsWordsAndLongsOfSeveralUnits) {
  int32_t longs[2] = {0, 0};
  ASSERT_TRUE(link.GetIntArray(20, longs, true)) << link.Status();
  EXPECT_EQ(longs[0], -1);  // FFFFFFFF
  EXPECT_EQ(longs[1], 305419896);
  EXPECT_EQ(sim.LogLines("tx ").back(), "tx /A01RNFFFFFFFF12345678" +
                                            TVisionLink::CalcCRC("01RNFFFFFFFF12345678"));
  EXPECT_EQ(ReadWord(21), 65535);  // FFFF is no negative number

  uint8_t bits[3] = {9, 9, 9};
  ASSERT_TRUE(link.GetBitArray(10, bits)) << link.Status();
  EXPECT_EQ(bits[0], 1);
  EXPECT_EQ(bits[1], 0);
  EXPECT_EQ(bits[2], 1);

  link.SetUnitID(2);
  EXPECT_EQ(ReadWord(16), 77);
  link.SetUnitID(3);  // no such unit on the line: the controller keeps silent
  int32_t v = -7;
  EXPECT_FALSE(link.GetIntArray(16, {&v, 1}, false));
  EXPECT_EQ(link.Status(), kVisionNoReply);
  EXPECT_EQ(v, -7);
}

TEST_F(VisionLinkSim, WritesReachTheControllerAndReadBack) {
  const uint8_t bits[3] = {1, 0, 1};
  ASSERT_TRUE(link.SetBitArray(5, bits)) << link.Status();
  const int32_t word = 4321;
  ASSERT_TRUE(link.SetIntArray(16, {&word, 1}, false)) << link.Status();
  const int32_t longs[2] = {-1, 7};
  ASSERT_TRUE(link.SetIntArray(30, longs, true)) << link.Status();
  EXPECT_EQ(sim.LogLines("rx /01SB"), std::vector<std::string>{"rx /01SB000503101" +
                                                               TVisionLink::CalcCRC("01SB000503101")});

  const auto writes = sim.LogLines("write ");
  ASSERT_EQ(writes.size(), 3u);
  EXPECT_EQ(writes[0], "write SB 1 5 1 0 1");
  EXPECT_EQ(writes[1], "write SW 1 16 4321");
  EXPECT_EQ(writes[2], "write SNL 1 30 -1 7");

  uint8_t back[3] = {};
  ASSERT_TRUE(link.GetBitArray(5, back));
  EXPECT_EQ(back[0], 1);
  EXPECT_EQ(back[1], 0);
  EXPECT_EQ(back[2], 1);
  EXPECT_EQ(ReadWord(16), 4321);
  int32_t lback[2] = {};
  ASSERT_TRUE(link.GetIntArray(30, lback, true));
  EXPECT_EQ(lback[0], -1);
  EXPECT_EQ(lback[1], 7);
}

TEST_F(VisionLinkSim, RequestsThatCannotBeFramedNeverReachTheLine) {
  const int32_t sent = link.SendCounter();
  // A 16-bit value outside 0..65535 would widen its field and shift the operands after it.
  const int32_t big = 70000;
  EXPECT_FALSE(link.SetIntArray(16, {&big, 1}, false));
  EXPECT_EQ(link.Status(), kVisionBadArgument);
  // Twelve 32-bit values make a request of 110 characters: over the 99 of the frame.
  std::vector<int32_t> many(12, 1);
  EXPECT_FALSE(link.SetIntArray(0, many, true));
  EXPECT_EQ(link.Status(), kVisionRequestTooLong);
  // Count and address must fit their two and four hexadecimal digits.
  std::vector<int32_t> huge(256, 0);
  EXPECT_FALSE(link.GetIntArray(0, huge, false));
  EXPECT_EQ(link.Status(), kVisionBadArgument);
  int32_t v = 0;
  EXPECT_FALSE(link.GetIntArray(0x10000, {&v, 1}, false));
  EXPECT_FALSE(link.GetIntArray(-1, {&v, 1}, false));
  EXPECT_FALSE(link.SendString(std::string(100, 'A')));
  EXPECT_EQ(link.Status(), kVisionRequestTooLong);
  EXPECT_EQ(link.ErrorCounter(), 6);
  EXPECT_EQ(link.SendCounter(), sent);
  EXPECT_TRUE(sim.LogLines("rx ").empty());
  // A 99-character request still goes out whole.
  EXPECT_TRUE(link.SendString("/" + std::string(98, 'A')));
  EXPECT_EQ(link.SendCounter(), sent + 1);
}

struct FaultCase {
  const char* mode;
  const char* status;
  int error_delta;
};

class VisionLinkFault : public VisionLinkSim, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(VisionLinkFault, GivesItsStatusAndErrorCountAndTheLinkRecovers) {
  const FaultCase& c = GetParam();
  sim.Control(std::string("fault ") + c.mode + " 1\n");
  int32_t v = -7;
  EXPECT_FALSE(link.GetIntArray(0x10, {&v, 1}, false));
  EXPECT_EQ(link.Status(), c.status);
  EXPECT_EQ(link.ErrorCounter(), c.error_delta);
  EXPECT_EQ(v, -7);  // nothing stored from a bad reply
  EXPECT_EQ(sim.LogLines("fault ").size(), 1u);
  // The fault was for one reply: the next exchange is clean again.
  EXPECT_EQ(ReadWord(0x10), 1234);
  EXPECT_EQ(link.ErrorCounter(), c.error_delta);
  EXPECT_EQ(link.SendCounter(), 2);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, VisionLinkFault,
    ::testing::Values(FaultCase{"silence", kVisionNoReply, 1},
                      FaultCase{"lowercase", kVisionCrcError, 0},  // checksum "e4"
                      FaultCase{"no-stx", kVisionStx1Missing, 0},
                      FaultCase{"noise", kVisionStx1Missing, 0},  // more than a glitch
                      FaultCase{"short", kVisionAnswerTooShort, 0},
                      FaultCase{"long", kVisionReplyTooLong, 1},
                      FaultCase{"bad-crc", kVisionCrcError, 0},
                      FaultCase{"bad-hex", kVisionIntConvertError, 0}),
    [](const auto& info) {
      std::string n = info.param.mode;
      for (char& ch : n)
        if (ch == '-') ch = '_';
      return n;
    });

// Lines as real wires and adapters make them: all three reads of the service still succeed.
TEST_F(VisionLinkSim, RealLinesAreReadWhole) {
  for (const char* line : {"echo whole delay=2\n",          // a 2-wire adapter's echo
                           "echo tail=4 delay=1\npace on\n",  // the tail the purge left
                           "echo off\nfault glitch 2\n"}) {   // 0x00, then 0xFF before "/A"
    SCOPED_TRACE(line);
    sim.Control(line);
    EXPECT_EQ(ReadWord(0x10), 1234);
    int32_t l = 0;
    EXPECT_TRUE(link.GetIntArray(20, {&l, 1}, true)) << link.Status();
    EXPECT_EQ(l, -1);
    uint8_t bit = 0;
    EXPECT_TRUE(link.GetBitArray(10, {&bit, 1})) << link.Status();
    EXPECT_EQ(bit, 1);
  }
  EXPECT_EQ(sim.LogLines("tx <00>/A").size(), 1u);
  EXPECT_EQ(sim.LogLines("tx <FF>/A").size(), 1u);
  EXPECT_EQ(link.ErrorCounter(), 0);
}

TEST_F(VisionLinkSim, TheControllerTakesOnlyUpperCaseHex) {
  EXPECT_TRUE(link.SendString("/01RW00a001" + TVisionLink::CalcCRC("01RW00a001")));
  link.SetRecived(true);
  EXPECT_EQ(link.Status(), kVisionNoReply);
  EXPECT_EQ(sim.LogLines("drop command").size(), 1u);
}

TEST_F(VisionLinkSim, ANonHexGroupBeepsAndKeepsTheValuesStoredBeforeIt) {
  sim.Control("fault bad-hex 1\n");
  int32_t v[2] = {-7, -7};
  EXPECT_FALSE(link.GetIntArray(0x10, v, false));
  EXPECT_EQ(link.Status(), kVisionIntConvertError);
  EXPECT_EQ(beeper.beeps.load(), 1);
  EXPECT_EQ(v[0], -7);
  EXPECT_EQ(v[1], -7);
}

TEST_F(VisionLinkSim, AnExchangeWaitsAtMost250MsForTheLock) {
  // The other thread asks a unit that keeps silent and holds the lock for about a second.
  std::atomic<bool> other_ok{true};
  std::thread other([&] {
    link.SetUnitID(9);
    int32_t v = 0;
    other_ok = link.GetIntArray(0, {&v, 1}, false);
  });
  while (sim.LogLines("rx /09").empty()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const auto t0 = std::chrono::steady_clock::now();
  std::string reply;
  EXPECT_FALSE(link.SendCommand(&reply));
  const auto waited = std::chrono::steady_clock::now() - t0;
  EXPECT_EQ(link.Status(), kVisionLockBusy);
  EXPECT_EQ(link.ErrorCounter(), 1);
  EXPECT_GE(waited, std::chrono::milliseconds(240));
  EXPECT_LT(waited, std::chrono::milliseconds(900));
  other.join();
  EXPECT_FALSE(other_ok.load());
  EXPECT_EQ(link.Status(), kVisionNoReply);
  EXPECT_EQ(link.ErrorCounter(), 2);
}

TEST_F(VisionLinkSim, ASilentControllerEndsTheWaitEvenOnAStandingClock) {
  link.SetActive(false);
  FakeClock still;
  TVisionLink frozen(still);
  frozen.SetPortName(sim.Port());
  frozen.SetActive(true);
  ASSERT_TRUE(frozen.Active()) << frozen.Status();
  frozen.SetUnitID(9);
  int32_t v = 0;
  EXPECT_FALSE(frozen.GetIntArray(0, {&v, 1}, false));
  EXPECT_EQ(frozen.Status(), kVisionNoReply);
  EXPECT_EQ(frozen.ErrorCounter(), 1);
}

TEST_F(VisionLinkSim, PortAndSpeedAreFrozenWhileActive) {
  const std::string port = sim.Port();
  link.SetSpeed(9600);
  EXPECT_EQ(link.Speed(), 57600);
  EXPECT_EQ(link.Status(), kVisionSpeedBusy);
  EXPECT_EQ(link.ErrorCounter(), 1);
  link.SetPortName("COM7");
  EXPECT_EQ(link.PortName(), port);
  EXPECT_EQ(link.Status(), kVisionPortBusy);
  EXPECT_EQ(link.ErrorCounter(), 2);
  // The same values are no change and no error.
  link.SetSpeed(57600);
  link.SetPortName(port);
  EXPECT_EQ(link.ErrorCounter(), 2);
  EXPECT_FALSE(link.ConnectToPort(57600));
  EXPECT_EQ(link.Status(), kVisionAlreadyActive);
  EXPECT_EQ(link.ErrorCounter(), 3);

  link.SetActive(false);
  EXPECT_FALSE(link.Active());
  link.SetSpeed(115200);
  EXPECT_EQ(link.Speed(), 115200);
  link.SetActive(true);
  ASSERT_TRUE(link.Active()) << link.Status();
  EXPECT_EQ(ReadWord(0x10), 1234);
}

TEST_F(VisionLinkSim, DeactivationWaitsForTheRunningExchange) {
  std::thread other([&] {
    link.SetUnitID(9);  // silent: the exchange lasts about a second
    int32_t v = 0;
    link.GetIntArray(0, {&v, 1}, false);
  });
  while (sim.LogLines("rx /09").empty()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  link.SetActive(false);  // must not close the line under the exchange
  EXPECT_FALSE(link.Active());
  EXPECT_EQ(link.Status(), kVisionNoReply);  // the exchange ended by its own time-out first
  other.join();
}

TEST(VisionLinkEmulation, ReadsAndWritesTheListsWithoutALine) {
  TVisionLink link;
  link.SetEmulFlag(true);
  link.SetEmulIntArray({"5", "-3"});
  link.SetEmulLongArray({"-1", "100000"});
  link.SetEmulBitArray({"0", "1", "7"});

  int32_t ints[3] = {9, 9, 9};
  ASSERT_TRUE(link.GetIntArray(0, ints, false));
  EXPECT_EQ(ints[0], 5);
  EXPECT_EQ(ints[1], -3);
  EXPECT_EQ(ints[2], 0);  // beyond the list's end
  int32_t longs[2] = {};
  ASSERT_TRUE(link.GetIntArray(0, longs, true));
  EXPECT_EQ(longs[0], -1);
  EXPECT_EQ(longs[1], 100000);
  uint8_t bits[4] = {9, 9, 9, 9};
  ASSERT_TRUE(link.GetBitArray(0, bits));
  EXPECT_EQ(std::vector<int>(bits, bits + 4), (std::vector<int>{0, 1, 1, 0}));
  EXPECT_TRUE(link.GetBitArray(0, {}));  // nothing asked, nothing wrong

  const uint8_t set[1] = {1};
  ASSERT_TRUE(link.SetBitArray(5, set));
  EXPECT_EQ(link.EmulBitArray(), (std::vector<std::string>{"0", "1", "7", "0", "0", "1"}));
  const int32_t w = 42;
  ASSERT_TRUE(link.SetIntArray(3, {&w, 1}, false));
  EXPECT_EQ(link.EmulIntArray(), (std::vector<std::string>{"5", "-3", "0", "42"}));
  const int32_t l = -9;
  ASSERT_TRUE(link.SetIntArray(0, {&l, 1}, true));
  EXPECT_EQ(link.EmulLongArray(), (std::vector<std::string>{"-9", "100000"}));

  // The link keeps its own copies.
  std::vector<std::string> mine{"1"};
  link.SetEmulIntArray(mine);
  mine[0] = "2";
  EXPECT_EQ(link.EmulIntArray(), std::vector<std::string>{"1"});

  EXPECT_EQ(link.SendCounter(), 0);
  EXPECT_EQ(link.ErrorCounter(), 0);
}

TEST(VisionLinkEmulation, BadLinesAndAddressesFailInsteadOfGuessing) {
  TVisionLink link;
  link.SetEmulFlag(true);
  link.SetEmulIntArray({"12", "x1"});
  int32_t v[2] = {-7, -7};
  EXPECT_FALSE(link.GetIntArray(0, v, false));
  EXPECT_EQ(link.Status(), kVisionIntConvertError);
  EXPECT_EQ(v[0], 12);  // stored before the bad line
  EXPECT_EQ(v[1], -7);

  int32_t one = 0;
  EXPECT_FALSE(link.GetIntArray(-1, {&one, 1}, false));
  EXPECT_EQ(link.Status(), kVisionBadArgument);
  const uint8_t b[1] = {1};
  EXPECT_FALSE(link.SetBitArray(0xFFFF + 1, b));  // would grow the list without bound
  EXPECT_TRUE(link.EmulBitArray().empty());
}

}  // namespace
}  // namespace liron

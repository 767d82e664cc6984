// A field line's device on real pseudo-terminals: opened at the start while not there yet,
// held by another program or refused for its speed; lost under the open line and back at the
// same path.
#include "links/line_keeper.h"

#include <pty.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "links/serial_line.h"
#include "platform/fake_clock.h"
#include "support/event_texts.h"
#include "support/temp_dir.h"

namespace liron {
namespace {

// A pseudo-terminal pair; the master side stands for the device.
struct Pty {
  Pty() {
    char name[128];
    EXPECT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    path = name;
  }
  ~Pty() { Close(); }
  void Close() {
    if (slave >= 0) close(slave);
    if (master >= 0) close(master);
    slave = master = -1;
  }
  int master = -1, slave = -1;
  std::string path;
};

TEST(LineStart, MissingHeldAndRefusedDevices) {
  Pty pty;
  struct Case {
    const char* what;
    std::string port;
    int32_t speed;
    int release_at;  // the holder lets go before this try; 0: never
    LineStart expected;
    int tries;
  } cases[] = {
      {"not there yet", "/nonexistent/ttyUSB7", 9600, 0, LineStart::Awaited, 1},
      {"a speed it refuses", pty.path, 57000, 0, LineStart::Failed, 1},
      {"held for a minute", pty.path, 9600, 0, LineStart::Failed, 61},
      {"held for two seconds", pty.path, 9600, 3, LineStart::Open, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeClock clock;
    std::atomic<bool> stop{false};
    SerialLine holder, line;
    std::string err;
    ASSERT_TRUE(holder.OpenLine(pty.path, 9600, SerialProfile::Modbus, &err)) << err;
    int tries = 0;
    auto open = [&] {
      if (++tries == c.release_at) holder.CloseLine();
      return line.OpenLine(c.port, c.speed, SerialProfile::Modbus, &err);
    };
    EXPECT_EQ(OpenLineAtStart(open, [&] { return line.OpenErrno(); }, clock, stop), c.expected);
    EXPECT_EQ(tries, c.tries);
    EXPECT_EQ(clock.Sleeps(), std::vector<uint32_t>(static_cast<size_t>(c.tries - 1), 1000));
  }
}

TEST(LineKeeper, ALostDeviceIsReopenedAtItsPathAndBothAreReported) {
  test::TempDir dir;
  const std::string port = dir.File("ttyUSB0");
  auto first = std::make_unique<Pty>();
  ASSERT_EQ(symlink(first->path.c_str(), port.c_str()), 0);
  FakeClock clock;
  TEventFIFO events(50, clock);
  std::vector<std::string> journal;
  SerialLine line;
  std::string err;
  ASSERT_TRUE(line.OpenLine(port, 9600, SerialProfile::Modbus, &err)) << err;
  TLineOps ops;
  ops.IsOpen = [&] { return line.IsOpen(); };
  ops.Gone = [&] { return line.DeviceGone(); };
  ops.Open = [&] { return line.OpenLine(port, 9600, SerialProfile::Modbus, &err); };
  ops.Close = [&] { line.CloseLine(); };
  ops.Port = port;
  TLineKeeper keeper("JUMO", ops, clock, events,
                     [&](const std::string& text) { journal.push_back(text); });
  const std::string lost = "*** JUMO: Связь с портом " + port + " потеряна ***";
  const std::string back = "=== JUMO: Связь с портом " + port + " восстановлена ===";

  EXPECT_TRUE(keeper.Keep());
  // The adapter is pulled out: its device and node go.
  first->Close();
  EXPECT_FALSE(keeper.Keep());
  EXPECT_FALSE(line.IsOpen());
  EXPECT_EQ(test::DrainTexts(events), std::vector<std::string>{lost});
  // Nothing there yet: tried every two seconds, and silently.
  clock.Advance(kLineRetryMs);
  EXPECT_FALSE(keeper.Keep());
  // Plugged in again: a new device behind the same path, opened at the next try only.
  Pty second;
  ASSERT_EQ(unlink(port.c_str()), 0);
  ASSERT_EQ(symlink(second.path.c_str(), port.c_str()), 0);
  clock.Advance(kLineRetryMs - 1);
  EXPECT_FALSE(keeper.Keep());
  clock.Advance(1);
  EXPECT_TRUE(keeper.Keep());
  EXPECT_TRUE(line.IsOpen());
  EXPECT_TRUE(keeper.Keep());
  EXPECT_EQ(test::DrainTexts(events), std::vector<std::string>{back});
  EXPECT_EQ(journal, (std::vector<std::string>{lost, back}));
}

}  // namespace
}  // namespace liron

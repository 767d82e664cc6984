// A window on a Service of its own, in a fresh home folder whose INI file points at the test
// server: what every window test starts from. The timers stay idle unless a test starts them;
// Tick() and the wait helpers drive them by hand.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <ostream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "app/form_main.h"
#include "engine/service.h"
#include "image/settings.h"
#include "platform/clock.h"
#include "platform/fake_clock.h"
#include "platform/recording_operator.h"
#include "support/temp_dir.h"
#include "support/test_db.h"

// Readable QString values in the failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace liron::test {

class FormTest : public DbTest {
 protected:
  void TearDown() override;

  // Writes the INI (database of the test server, emulator tab shown, field ports that do not
  // exist), then creates the Service on the given clock and the window.
  void Create(Clock& clock, bool start_timers = false,
              const std::function<void(TSettings&)>& adjust = {});
  void Create() { Create(SystemClock()); }
  // Ticks of the update timer: ten of them run the whole start-up sequence.
  void Tick(int n = 1);
  void Boot();
  // "Применить" goes on in the update ticks: ticks until it has reloaded and restarted.
  bool ApplyDone(int ms = 20000);  // the start-up sequence, until the plan is loaded or the attempts failed
  // Hands the queued statements to the server.
  void FlushWrites();
  // Spins the event loop until cond holds or ms have passed; the result of cond.
  static bool WaitFor(const std::function<bool()>& cond, int ms);
  // Rows of control_log with this text and originator (NULL originator: "NULL").
  int64_t JournalCount(const std::string& text, const std::string& kind);

  // A part of the window (a tab, a button, a label, ...) by the object name the window gives
  // it: the tests reach the widgets as they stand on the screen, not through the window's
  // members. A missing part ends the test there (the exception is reported as its failure).
  template <class W>
  W* Part(const char* name) const {
    W* w = form_->findChild<W*>(QString::fromLatin1(name));
    if (w == nullptr) throw std::runtime_error(std::string("the window has no part ") + name);
    return w;
  }

  TempDir home_;
  FakeClock fake_clock_;  // for the tests that move time themselves; outlives the service
  RecordingOperator op_;
  std::unique_ptr<Service> service_;
  std::unique_ptr<TFormMain> form_;
};

}  // namespace liron::test

#include "form_fixture.h"

#include <QThread>
#include <unistd.h>

#include "db/config_file.h"
#include "db/sql_text.h"

namespace liron::test {

void FormTest::Create(Clock& clock, bool start_timers,
                      const std::function<void(TSettings&)>& adjust) {
  TSettings s;
  s.Comp = db().Comp();
  s.Login = db().User();
  s.Password = db().Password();
  s.ShowEmulTab = true;
  s.ModBUS_PortName = home_.File("no-jumo-line");
  s.V120_PortName = home_.File("no-v120-line");
  s.AutoCleanFlag = false;
  if (adjust) adjust(s);
  std::string error;
  ASSERT_TRUE(WriteConfig(home_.path() + "/liron36.INI", s, &error)) << error;
  service_ = std::make_unique<Service>(home_.path(), clock, op_);
  if (&clock != &SystemClock()) service_->TestSetUserConnectPauses(1, 200);  // no real waits
  form_ = std::make_unique<TFormMain>(*service_, start_timers);
  form_->SetSessionEndAction([] {});
}

void FormTest::TearDown() {
  if (service_) {
    // The control thread may wait on a select that only the GUI thread answers.
    service_->Image().StopFlag = true;
    for (int i = 0; i < 1000 && !service_->TestWaitControlEnded(10); ++i) {
      service_->RunSelectQueue();
      QCoreApplication::processEvents();
    }
  }
  form_.reset();
  service_.reset();
  // The service made its home the current directory; the home goes with the test.
  if (chdir("/") != 0) ADD_FAILURE() << "cannot leave the test's home";
}

void FormTest::Tick(int n) {
  for (int i = 0; i < n; ++i) form_->TimerUpdateTick();
}

void FormTest::Boot() {
  Tick(10);
  // The user connection opens off the event loop; the ticks load the plan once it is open.
  for (int waited = 0; waited < 30000 && !service_->TestStartUpSettled(); waited += 10) {
    QThread::msleep(10);
    Tick();
  }
  ASSERT_TRUE(service_->TestStartUpSettled());
}

bool FormTest::ApplyDone(int ms) {
  for (int waited = 0; waited < ms && service_->TestApplying(); waited += 10) {
    QThread::msleep(10);
    Tick();
  }
  return !service_->TestApplying();
}

void FormTest::FlushWrites() {
  // The write queue runs on the work connection, which the control thread holds while it
  // runs; while it is stopped the statements wait for it. Here they go at once.
  TMySQLConnection& work = service_->TestWorkConnection();
  const bool opened_here = !work.IsOpen();
  if (opened_here) {
    work.SetParams(service_->UserConnection().Params());
    std::string error;
    ASSERT_TRUE(work.Open(&error)) << error;
  }
  for (int i = 0; i < 20 && service_->TestQueues().WaitingStatements() > 0; ++i)
    service_->RunWriteQueue();
  if (opened_here) work.Close();
}

bool FormTest::WaitFor(const std::function<bool()>& cond, int ms) {
  for (int waited = 0; waited < ms; waited += 10) {
    if (cond()) return true;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(10);
  }
  return cond();
}

int64_t FormTest::JournalCount(const std::string& text, const std::string& kind) {
  const std::string who = kind == "NULL" ? "MessageKind is null" : "MessageKind=" + SqlQuoted(kind);
  return std::stoll(
      db().Scalar("select count(*) from control_log where MessageText=" + SqlQuoted(text) +
                  " and " + who));
}

}  // namespace liron::test

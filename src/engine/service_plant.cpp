#include "engine/service_plant.h"

#include "spool/write_pass.h"
#include "engine/plan_source.h"
#include "engine/thread_entry.h"
#include "links/jumo_poll.h"
#include "links/modbus.h"
#include "links/v120_poll.h"
#include "links/vision_link.h"
#include "signals/calc_works.h"
#include "signals/calibration.h"
#include "signals/setpoints.h"

namespace liron {

ServicePlant::ServicePlant(TProcessImage& img, TEventFIFO& events, TJournal& journal,
                           TSqlQueues& queues, TMySQLConnection& user, TMySQLConnection& work,
                           TSpool& spool, Clock& clock, Operator& op)
    : img_(img),
      events_(events),
      journal_(journal),
      queues_(queues),
      user_(user),
      work_(work),
      spool_(spool),
      clock_(clock),
      op_(op),
      clock_check_(clock, [this](const std::string& text) { PostAndJournal(text); }),
      vision_(std::make_unique<TVisionLink>(clock, &op)),
      auto_clean_(clock),
      control_(img, *this, events, op) {
  records_.ClockCheck = &clock_check_;
  records_.Journal = [this](const std::string& text) { PostAndJournal(text); };
  for (TMySQLConnection* c : {&user_, &work_})
    c->SetOpenedHook([this](TDateTime server_now) { clock_check_.Compare(server_now); });
}

ServicePlant::~ServicePlant() {
  for (TMySQLConnection* c : {&user_, &work_}) c->SetOpenedHook({});
  img_.StopFlag = true;
  control_.WaitEnded();
  v120_thread_.Join();
  jumo_thread_.Join();
}

void ServicePlant::SpoolOpened() { records_.Spool = &spool_; }

bool ServicePlant::StartControl(bool from_store) {
  if (from_store)
    events_.PostEvent("Поток приема запускается без MySQL сервера: показание счетчика из "
                      "буфера записей.");
  std::string error;
  bool seeded = false;
  const bool started = control_.StartControl([this, &error, &seeded, from_store] {
    if (!from_store) {
      std::string ahead;
      seeded = SeedCounter(img_, user_, &error, &spool_, &ahead);
      if (!ahead.empty() && ahead != future_row_said_) {
        future_row_said_ = ahead;
        PostAndJournal("Строка pu_data датирована позже часов MySQL сервера: " + ahead +
                       "; показание счетчика взято не из нее.");
      }
      return seeded;
    }
    // Without a minute row in the store the reading known in this run stands; at the
    // program's start there is none, and the first reading of the totaliser starts the count.
    SeedCounterFromSpool(img_, spool_.Seeds());
    return seeded = true;
  });
  if (started) return true;
  events_.PostEvent(seeded ? "Поток приема не запущен: поток не создан."
                           : "Поток приема не запущен: " + error);
  return false;
}

bool ServicePlant::WaitControlEnded(uint32_t timeout_ms) {
  for (uint32_t waited = 0; control_.Alive(); waited += 20) {
    if (waited >= timeout_ms) return false;
    SystemClock().SleepMs(20);
  }
  control_.WaitEnded();
  return true;
}

// ---- the write queue and the end ----------------------------------------------------------

void ServicePlant::RunWriteQueue() {
  if (img_.Closing) return;
  std::unique_lock<std::mutex> l(run_mu_, std::try_to_lock);
  if (!l.owns_lock()) return;
  try {
    PassWrites();
  } catch (...) {
    op_.Beep();
  }
}

int ServicePlant::PassWrites() {
  // The automatic clean follows a pass over the queue, only while the work connection is up.
  return liron::PassWrites(queues_, spool_, work_, events_, clock_.Now(), [this] {
    const TSettings s = img_.Settings();
    auto_clean_.Check(queues_, s.AutoCleanFlag, s.DatabaseSize);
  });
}

// What the server does not take within ms stays in the spool for the next start.
void ServicePlant::FlushWriteQueue(uint32_t ms) {
  const uint32_t start = SystemClock().Ticks();
  bool open = work_.Connected();
  if (!open) {
    work_.SetParams(user_.Params());
    open = work_.Open();
  }
  while (open && (queues_.WaitingStatements() > 0 || !spool_.Outbox().Empty()) &&
         SystemClock().Ticks() - start < ms) {
    if (PassWrites() == 0) break;
  }
  MoveToSpool(queues_, clock_.Now());
}

void ServicePlant::EndAndFlush() {
  // Let the control thread journal its stop, then hand everything queued to the server, so
  // the records of the end reach control_log. Its cycle may be waiting for a select that only
  // this thread answers (the select timer is idle from now on): go on answering meanwhile, or
  // the cycle would sit out its 5500 ms and journal the stop after the flush.
  for (uint32_t waited = 0; control_.Alive() && waited < kEndWaitMs; waited += 20) {
    queues_.RunSelectQueue(work_);
    SystemClock().SleepMs(20);
  }
  WaitControlEnded(0);
  {
    std::lock_guard<std::mutex> l(run_mu_);
    FlushWriteQueue(kFlushMs);
  }
  user_.Close();
  work_.Close();
}

// ---- what the control thread drives -------------------------------------------------------

void ServicePlant::CopyConnectionParams() { work_.SetParams(user_.Params()); }
bool ServicePlant::OpenWork() { return work_.Open(); }
bool ServicePlant::WorkConnected() { return work_.IsOpen(); }
void ServicePlant::CloseWork() {
  work_keeper_.Reap();  // a check in progress ends first, or it might reopen the connection
  work_.Close();
}
bool ServicePlant::StartWorkCheck() { return work_keeper_.StartCheck(); }
ControlPlant::WorkCheck ServicePlant::LastWorkCheck() {
  const TConnectionKeeper::Result r = work_keeper_.LastCheck();
  return {r.Finished, r.Ok};
}
void ServicePlant::Journal(const std::string& text) {
  journal_.WriteJournal(text, kServiceOriginator);
}
bool ServicePlant::JournalAt(TDateTime moment, const std::string& text) {
  return journal_.WriteJournal(text, kServiceOriginator, moment);
}
void ServicePlant::LoadSetupConsts() { liron::LoadSetupConsts(queues_, img_); }

LineStart ServicePlant::OpenJumoLine(std::string* port) {
  if (!modbus_) modbus_ = std::make_unique<TModBUS>(clock_, &op_);
  if (modbus_->Connected.load()) return LineStart::Open;
  const TSettings s = img_.Settings();
  // Set in emulation too: the polling thread opens this line when emulation is switched off.
  modbus_->PortName = s.ModBUS_PortName;
  modbus_->Speed = s.ModBUS_PortSpeed;
  if (img_.JumoEmul) return LineStart::Open;
  *port = s.ModBUS_PortName;
  return OpenLineAtStart([this, &s] { return modbus_->OpenPort(s.ModBUS_PortSpeed); },
                         [this] { return modbus_->Line().OpenErrno(); }, clock_, img_.StopFlag);
}

LineStart ServicePlant::OpenV120Link(std::string* port) {
  if (!vision_->Active()) {
    const TSettings s = img_.Settings();
    vision_->SetPortName(s.V120_PortName);
    vision_->SetSpeed(s.V120_PortSpeed);
    vision_->SetStatus("");
  }
  *port = vision_->PortName();
  auto open = [this] {
    vision_->SetActive(true);
    return vision_->Active();
  };
  if (img_.V120Emul) {
    open();  // a port that fails to open is tolerated in emulation
    return LineStart::Open;
  }
  return OpenLineAtStart(open, [this] { return vision_->OpenErrno(); }, clock_, img_.StopFlag);
}

void ServicePlant::PostAndJournal(const std::string& text) {
  events_.PostEvent(text);
  journal_.WriteJournal(text, kServiceOriginator);
}

JournalSink ServicePlant::LinkJournal() {
  return [this](const std::string& text) { journal_.WriteJournal(text, kServiceOriginator); };
}

void ServicePlant::StartPolling() {
  // An earlier pair has ended with the previous control thread; release it first.
  v120_thread_.Join();
  jumo_thread_.Join();
  v120_thread_.Start(kPollStackSize, [this] {
    RunThreadEntry(img_.V120PollRunning,
                   [this] { V120PollThread(img_, *vision_, events_, LinkJournal()); });
  });
  jumo_thread_.Start(kPollStackSize, [this] {
    RunThreadEntry(img_.JumoPollRunning,
                   [this] { JumoPollThread(img_, modbus_.get(), events_, LinkJournal()); });
  });
}

void ServicePlant::StopPollingAndCloseLines() {
  v120_thread_.Join();
  jumo_thread_.Join();
  if (modbus_) modbus_->ClosePort();
  vision_->SetActive(false);
}

void ServicePlant::ControlThreadEnding() { MySqlThreadEnd(); }

bool ServicePlant::TranslateIn() { return liron::TranslateIn(img_, events_); }
bool ServicePlant::UpdateStateRecord() {
  return liron::UpdateStateRecord(img_, records_, queues_, events_);
}
bool ServicePlant::CalcWorks() { return liron::CalcWorks(img_, events_); }
bool ServicePlant::ReadControlVector() {
  const TDateTime before = img_.ControlMoment.load();
  const bool ok = liron::ReadControlVector(img_, queues_, journal_);
  if (img_.ControlMoment.load() != before) NoteSetpointsInForce(img_, spool_, events_);
  return ok;
}
bool ServicePlant::UpdatePafRecord() {
  const bool ok = Update_PAF_record(img_, records_, queues_, events_);
  if (ok) last_record_ = clock_.Now();
  return ok;
}

}  // namespace liron

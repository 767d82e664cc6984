// ServicePlant: the real parts behind the control thread — the Modbus master of the JUMO line
// (TModBUS), the V-120 link (TVisionLink), their polling threads, the keeper of the work
// connection and the state of the records — and the control thread itself. It runs the
// cycle's steps, the write timer's passes and, at the end, the flush of what is queued.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "db/clock_check.h"
#include "db/connection_keeper.h"
#include "db/journal.h"
#include "db/mysql_connection.h"
#include "db/records.h"
#include "db/setup_consts.h"
#include "spool/spool.h"
#include "db/sql_queues.h"
#include "engine/control_plant.h"
#include "engine/control_threads.h"
#include "image/process_image.h"
#include "links/line_keeper.h"
#include "platform/clock.h"
#include "platform/event_fifo.h"
#include "platform/operator.h"
#include "platform/threads.h"

namespace liron {

class TModBUS;
class TVisionLink;

constexpr uint32_t kFlushMs = 2000;  // the end flushes the write queue at most this long
// The end waits at most this long for the control thread to journal its stop: it first waits
// for the polling pass in progress, which against silent controllers lasts about half a second
// per JUMO signal.
constexpr uint32_t kEndWaitMs = 3000;

class ServicePlant final : private ControlPlant {
 public:
  ServicePlant(TProcessImage& img, TEventFIFO& events, TJournal& journal, TSqlQueues& queues,
               TMySQLConnection& user, TMySQLConnection& work, TSpool& spool, Clock& clock,
               Operator& op);
  // Raises StopFlag and waits for the control and polling threads.
  ~ServicePlant() override;
  ServicePlant(const ServicePlant&) = delete;
  ServicePlant& operator=(const ServicePlant&) = delete;

  TControlThreads& Control() { return control_; }
  void SpoolOpened();  // the records that cannot be written wait in the spool from now on

  // Seeds the totaliser and starts the control thread: the seed from the user connection, or
  // from_store from the local store. A failure posts its reason.
  bool StartControl(bool from_store);
  // Waits (bounded) until the control thread has ended; true when it has.
  bool WaitControlEnded(uint32_t timeout_ms);

  void RunWriteQueue();  // every 100 ms: the write queue, then the automatic clean
  // The end, once StopFlag and Closing are up: waits for the control thread's stop, answering
  // its selects meanwhile, flushes the write queue and closes both connections.
  void EndAndFlush();

  TDateTime LastRecord() const { return last_record_.load(); }

 private:
  // ControlPlant: what the control thread drives.
  void CopyConnectionParams() override;
  bool OpenWork() override;
  bool WorkConnected() override;
  void CloseWork() override;
  bool StartWorkCheck() override;
  WorkCheck LastWorkCheck() override;
  void Journal(const std::string& text) override;
  bool JournalAt(TDateTime moment, const std::string& text) override;
  void LoadSetupConsts() override;
  LineStart OpenJumoLine(std::string* port) override;
  LineStart OpenV120Link(std::string* port) override;
  void StartPolling() override;
  void StopPollingAndCloseLines() override;
  bool TranslateIn() override;
  bool UpdateStateRecord() override;
  bool CalcWorks() override;
  bool ReadControlVector() override;
  bool UpdatePafRecord() override;
  void ControlThreadEnding() override;

  JournalSink LinkJournal();  // where a polling thread journals its line's loss and return
  void PostAndJournal(const std::string& text);  // what the clocks did, for log and journal
  // One pass of the write timer; returns the records written or set aside.
  int PassWrites();
  void FlushWriteQueue(uint32_t ms);

  TProcessImage& img_;
  TEventFIFO& events_;
  TJournal& journal_;
  TSqlQueues& queues_;
  TMySQLConnection& user_;
  TMySQLConnection& work_;
  TSpool& spool_;
  Clock& clock_;
  Operator& op_;
  TClockCheck clock_check_;  // at each opening of either connection
  TConnectionKeeper work_keeper_{work_};  // checks and reopens it for the control thread
  TRecordState records_;
  std::unique_ptr<TModBUS> modbus_;  // created by the first start of the control thread
  std::unique_ptr<TVisionLink> vision_;
  WorkerThread v120_thread_, jumo_thread_;
  TAutoClean auto_clean_;
  std::mutex run_mu_;  // one run of the write queue (timer or end flush) at a time
  std::atomic<double> last_record_{0};
  std::string future_row_said_;  // the future-dated pu_data row the journal was told of  // the moment of the last good cycle's records
  TControlThreads control_;  // last: its thread drives everything above
};

}  // namespace liron

#include "engine/periodic_jobs.h"

#include "engine/service.h"

namespace liron {

const TPeriodicJob kPeriodicJobs[kPeriodicJobCount] = {
    {"TimerUpdate", 250, [](Service& s) { s.OnUpdateTick(); }, true},
    {"TimerGetLog", 250, [](Service& s) { s.DrainEvents(); }, false},
    {"TimerMySQL_work", 100, [](Service& s) { s.RunWriteQueue(); }, false},
    {"TimerMySQL_select", 100, [](Service& s) { s.RunSelectQueue(); }, false},
};

void RunPeriodicJob(const TPeriodicJob& job, Service& service) {
  try {
    job.Run(service);
  } catch (...) {
    service.Op().Beep();
  }
}

}  // namespace liron

#include "db/clock_check.h"

#include <cmath>

#include "platform/datetime.h"

namespace liron {

TClockCheck::TClockCheck(Clock& clock, Sink journal) : clock_(clock), journal_(std::move(journal)) {}

void TClockCheck::Compare(TDateTime server_now) {
  const TDateTime station = clock_.Now();
  const double ahead_ms = (station - server_now) * kMsPerDay;
  std::string said;
  {
    std::lock_guard<std::mutex> l(mu_);
    server_at_ = server_now;
    mono_at_ = clock_.MonotonicMs();
    const bool apart = std::fabs(ahead_ms) > kClockToleranceSec * 1000;
    if (apart && !apart_)
      said = "Часы станции расходятся с часами MySQL сервера на " +
             std::to_string(std::llround(ahead_ms / 1000)) + " с (станция " +
             FormatDateTime("yyyy-mm-dd hh:nn:ss", station) + ", сервер " +
             FormatDateTime("yyyy-mm-dd hh:nn:ss", server_now) + ").";
    apart_ = apart;
  }
  if (!said.empty() && journal_) journal_(said);
}

std::optional<TDateTime> TClockCheck::ServerNow() const {
  std::lock_guard<std::mutex> l(mu_);
  if (!server_at_) return std::nullopt;
  return *server_at_ + static_cast<double>(clock_.MonotonicMs() - mono_at_) / kMsPerDay;
}

}  // namespace liron

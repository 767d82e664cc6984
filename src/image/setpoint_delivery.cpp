#include "image/setpoint_delivery.h"

#include <strings.h>

#include <algorithm>

#include "platform/datetime.h"

namespace liron {

const char kPlszName[] = "_PLSZ";
const char kUrnszName[] = "_URNSZ";

namespace {

std::string RowMoment(TDateTime moment) { return FormatDateTime("dd.mm.yyyy hh:nn:ss", moment); }

}  // namespace

std::optional<double> SetpointFor(const TSetpointOrder& order, const std::string& signal_name) {
  if (strcasecmp(signal_name.c_str(), kPlszName) == 0) return order.Plsz;
  if (strcasecmp(signal_name.c_str(), kUrnszName) == 0) return order.Urnsz;
  return std::nullopt;
}

bool IsSetpointName(const std::string& signal_name) {
  return strcasecmp(signal_name.c_str(), kPlszName) == 0 ||
         strcasecmp(signal_name.c_str(), kUrnszName) == 0;
}

bool IsSetpointRow(const TSignalSet& s) {
  return s.BusName == "JUMO" && IsSetpointName(s.SignalName);
}

std::vector<int32_t> SetpointControllers(const std::vector<TSignalSet>& plan, int32_t count,
                                         const TSetpointOrder& order) {
  std::vector<int32_t> out;
  const size_t rows = std::min(plan.size(), static_cast<size_t>(std::max(count, 0)));
  for (size_t r = 0; r < rows; ++r) {
    const TSignalSet& s = plan[r];
    if (!IsSetpointRow(s) || !SetpointFor(order, s.SignalName)) continue;
    if (std::find(out.begin(), out.end(), s.DevNum) == out.end()) out.push_back(s.DevNum);
  }
  return out;
}

std::string ControllerName(int32_t dev_num) { return "JUMO " + std::to_string(dev_num); }

std::string DeliveredText(int32_t dev_num, TDateTime row_moment) {
  return "=== Задание от " + RowMoment(row_moment) + " принято контроллером " +
         ControllerName(dev_num) + " ===";
}

std::string UndeliveredText(int32_t dev_num, TDateTime row_moment) {
  return "*** Задание от " + RowMoment(row_moment) + " не передано в контроллер " +
         ControllerName(dev_num) + " ***";
}

std::string EmulationHoldText(TDateTime row_moment) {
  return "*** Задание от " + RowMoment(row_moment) +
         " не записано: включен эмулятор JUMO. Будет записано после его выключения. ***";
}

std::string WriteFailedText(int32_t dev_num) {
  return "Сбой записи задания в контроллер " + ControllerName(dev_num);
}

bool TSetpointDelivery::Raise(const TSetpointOrder& order, const std::vector<int32_t>& controllers,
                              const std::vector<int32_t>& delivered, int32_t writes,
                              bool only_first) {
  std::lock_guard<std::mutex> l(mu_);
  if (only_first && generation_ != 0) return false;
  ++generation_;
  order_ = order;
  writes_ = std::max(writes, 1);
  controllers_.clear();
  for (int32_t dev : controllers) {
    Controller& c = controllers_[dev];
    const bool has_it = std::find(delivered.begin(), delivered.end(), dev) != delivered.end();
    c.WritesLeft = has_it ? 0 : writes_;
    c.Confirmed = has_it;
  }
  emulation_noted_ = false;
  return true;
}

bool TSetpointDelivery::Taken() const {
  std::lock_guard<std::mutex> l(mu_);
  return generation_ != 0;
}

bool TSetpointDelivery::Pending() const {
  std::lock_guard<std::mutex> l(mu_);
  for (const auto& [dev, c] : controllers_)
    if (c.WritesLeft > 0 && !c.Undelivered) return true;
  return false;
}

TSetpointOrder TSetpointDelivery::Order() const {
  std::lock_guard<std::mutex> l(mu_);
  return order_;
}

TSetpointDelivery::Pass TSetpointDelivery::BeginPass(
    const std::vector<int32_t>& controllers, bool line_open,
    const std::function<TModuleMark(int32_t)>& mark) {
  std::lock_guard<std::mutex> l(mu_);
  Pass pass;
  pass.Generation = generation_;
  pass.Order = order_;
  if (generation_ == 0) return pass;
  const bool line_back = line_open && line_was_closed_;
  line_was_closed_ = !line_open;
  for (auto it = controllers_.begin(); it != controllers_.end();) {
    if (std::find(controllers.begin(), controllers.end(), it->first) == controllers.end())
      it = controllers_.erase(it);
    else
      ++it;
  }
  for (int32_t dev : controllers)
    if (controllers_.find(dev) == controllers_.end()) controllers_[dev].WritesLeft = writes_;
  for (auto& [dev, c] : controllers_) {
    if (c.Undelivered) {
      const TModuleMark now = mark ? mark(dev) : TModuleMark{};
      const bool module_back = now.Errors != c.AtGiveUp.Errors && now.ReadAt > c.AtGiveUp.ReadAt;
      if (!line_back && !module_back) continue;
      c = Controller{};
      c.WritesLeft = writes_;
    }
    if (c.WritesLeft > 0) pass.Controllers.push_back(dev);
  }
  return pass;
}

bool TSetpointDelivery::HoldForEmulation(uint64_t generation) {
  std::string text;
  {
    std::lock_guard<std::mutex> l(mu_);
    if (generation != generation_ || emulation_noted_) return false;
    emulation_noted_ = true;
    text = EmulationHoldText(order_.Moment);
  }
  Journal(text);
  return true;
}

bool TSetpointDelivery::Report(uint64_t generation, int32_t dev_num, bool confirmed,
                               uint32_t ticks, const TModuleMark& mark) {
  std::string text;
  bool post = false;
  {
    std::lock_guard<std::mutex> l(mu_);
    if (generation != generation_) return false;  // a newer order has replaced this one
    const auto it = controllers_.find(dev_num);
    if (it == controllers_.end() || it->second.WritesLeft <= 0 || it->second.Undelivered)
      return false;
    Controller& c = it->second;
    if (confirmed) {
      if (!c.Confirmed) text = DeliveredText(dev_num, order_.Moment);
      c.Confirmed = true;
      c.Failing = false;
      c.FailurePosted = false;
      --c.WritesLeft;
    } else {
      if (!c.Failing) {
        c.Failing = true;
        c.FailingSince = ticks;
      }
      post = !c.FailurePosted;
      c.FailurePosted = true;
      if (ticks - c.FailingSince >= kSetpointGiveUpMs) {
        // A controller that has the order once only misses repetitions.
        if (c.Confirmed) {
          c.WritesLeft = 0;
        } else {
          c.Undelivered = true;
          c.AtGiveUp = mark;
          text = UndeliveredText(dev_num, order_.Moment);
        }
      }
    }
  }
  if (!text.empty()) Journal(text);
  return post;
}

void TSetpointDelivery::Journal(const std::string& text) {
  if (journal_) journal_(text);
}

}  // namespace liron

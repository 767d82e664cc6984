// The delivery of the operator setpoints to the JUMO controllers. An order is the setpoint of
// one control_vector row (its values, its moment and its user); every controller that has a
// setpoint row must confirm it a fixed number of times. The control thread and the event loop
// hand in orders, the JUMO polling thread writes them and reports each controller's answer.
// One small lock guards the state; nothing here waits or talks to a device.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "image/signal_set.h"
#include "platform/clock.h"

namespace liron {

extern const char kPlszName[];   // "_PLSZ": density of the magnetite suspension
extern const char kUrnszName[];  // "_URNSZ": level in the collector

// A failing controller is written again for this long before the order counts as undelivered.
constexpr uint32_t kSetpointGiveUpMs = 60000;

struct TSetpointOrder {
  std::optional<double> Plsz, Urnsz;  // none: never given, so never written
  TDateTime Moment = 0;               // RecMoment of the row
  std::string User;                   // who entered it
};

// The value a setpoint row of this name receives (names compared without regard to case);
// none for a name that carries no setpoint, or a setpoint the order does not hold.
std::optional<double> SetpointFor(const TSetpointOrder& order, const std::string& signal_name);
// Whether a row of this name carries a setpoint at all.
bool IsSetpointName(const std::string& signal_name);
// A JUMO row that carries a setpoint.
bool IsSetpointRow(const TSignalSet& s);
// The controllers (DevNum, in row order, each once) that have a row receiving a value of the
// order: the ones the order is delivered to.
std::vector<int32_t> SetpointControllers(const std::vector<TSignalSet>& plan, int32_t count,
                                         const TSetpointOrder& order);

// The texts of the delivery, in the journal and the event log. The journal's record of a
// confirmation holds the row's moment: a restart reads it to know what is delivered.
std::string ControllerName(int32_t dev_num);  // "JUMO 2"
std::string DeliveredText(int32_t dev_num, TDateTime row_moment);
std::string UndeliveredText(int32_t dev_num, TDateTime row_moment);
std::string EmulationHoldText(TDateTime row_moment);
std::string WriteFailedText(int32_t dev_num);

// A module's reading record, to tell when a controller given up on has come back.
struct TModuleMark {
  int32_t Errors = 0;
  uint64_t ReadAt = 0;  // ModuleReadAt
};

class TSetpointDelivery {
 public:
  // Receives the journal records (the confirmations, the undelivered orders, the emulation
  // note); set once before any thread runs.
  void SetJournal(std::function<void(const std::string&)> journal) { journal_ = std::move(journal); }

  // A new order: each controller listed owes `writes` confirmed writes (at least one), except
  // those in `delivered`, which hold it already. With only_first, an order taken before in
  // this run wins: false, and nothing changes.
  bool Raise(const TSetpointOrder& order, const std::vector<int32_t>& controllers,
             const std::vector<int32_t>& delivered, int32_t writes, bool only_first = false);

  bool Taken() const;   // an order was raised in this run
  bool Pending() const;  // some controller still owes confirmed writes
  TSetpointOrder Order() const;

  struct Pass {
    uint64_t Generation = 0;
    TSetpointOrder Order;
    std::vector<int32_t> Controllers;  // to be written in this pass
  };
  // What a write pass writes to the controllers the plan has now for the order (a controller
  // the plan has gained owes the full count, one it has lost is dropped). A pass that finds
  // the line closed notes it; the first one that finds it open again takes back every
  // controller given up on, and so does a controller whose module has had failed readings
  // since and then read well again (mark gives the state of a controller's module).
  Pass BeginPass(const std::vector<int32_t>& controllers, bool line_open,
                 const std::function<TModuleMark(int32_t)>& mark);
  // Under emulation: true once per order, after journalling that it waits.
  bool HoldForEmulation(uint64_t generation);
  // The answer of one controller to this pass's writes, at tick count `ticks`. True when the
  // caller should post WriteFailedText: the first failure of this controller with this order.
  bool Report(uint64_t generation, int32_t dev_num, bool confirmed, uint32_t ticks,
              const TModuleMark& mark);

 private:
  struct Controller {
    int32_t WritesLeft = 0;
    bool Confirmed = false;    // has received this order once
    bool Undelivered = false;  // given up; waits for its line or module
    bool Failing = false;
    uint32_t FailingSince = 0;
    bool FailurePosted = false;
    TModuleMark AtGiveUp;
  };
  void Journal(const std::string& text);

  mutable std::mutex mu_;
  std::function<void(const std::string&)> journal_;
  uint64_t generation_ = 0;
  TSetpointOrder order_;
  int32_t writes_ = 1;
  std::map<int32_t, Controller> controllers_;
  bool line_was_closed_ = false;
  bool emulation_noted_ = false;
};

}  // namespace liron

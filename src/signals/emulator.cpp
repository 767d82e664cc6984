#include "signals/emulator.h"

#include <algorithm>

#include "platform/datetime.h"
#include "signals/number_text.h"

namespace liron {

namespace {

void Announce(const std::string& text, TEventFIFO& events, TJournal& journal) {
  events.PostEvent(text);
  journal.WriteJournal(text, kServiceOriginator);
}

}  // namespace

void SetEmulFlag(TProcessImage& img, bool on, TEventFIFO& events, TJournal& journal) {
  img.JumoEmul = on;
  img.V120Emul = on;
  Announce(on ? "*** Включен эмулятор ***" : "--- Эмулятор выключен ---", events, journal);
}

void SetV120Emul(TProcessImage& img, bool on, TEventFIFO& events, TJournal& journal) {
  img.V120Emul = on;
  Announce(on ? "*** Включен эмулятор V120 ***" : "--- Эмулятор V120 выключен ---", events,
           journal);
}

void SetJumoEmul(TProcessImage& img, bool on, TEventFIFO& events, TJournal& journal) {
  img.JumoEmul = on;
  Announce(on ? "*** Включен эмулятор JUMO ***" : "--- Эмулятор JUMO выключен ---", events,
           journal);
}

bool SetNewEmulValues(TProcessImage& img, const std::vector<std::string>& cell_texts,
                      std::string* error) {
  const int count = std::min<int>(img.SignalCount, kMaxSignals);
  for (int i = 0; i < count; ++i) {
    double v = 0;
    if (static_cast<size_t>(i) >= cell_texts.size() || !ParseNumber(cell_texts[i], &v)) {
      if (error) {
        const std::string text = static_cast<size_t>(i) < cell_texts.size() ? cell_texts[i] : "";
        *error = "'" + text + "' is not a valid floating point value";
      }
      return false;
    }
    img.EmulValues.Set(i, v);
  }
  img.EmulValues.SetMoment(img.clock.Now());
  return true;
}

void KeepEmulValuesByName(TProcessImage& img, const std::vector<std::string>& names_before) {
  if (names_before.empty()) return;
  std::array<double, kMaxSignals> before{};
  for (int i = 0; i < kMaxSignals; ++i) before[i] = img.EmulValues.Get(i);
  const int count = std::min<int>(static_cast<int>(img.SignalNames.size()), kMaxSignals);
  for (int i = 0; i < count; ++i) {
    const auto old = std::find(names_before.begin(), names_before.end(), img.SignalNames[i]);
    const auto k = old - names_before.begin();
    img.EmulValues.Set(i, old != names_before.end() && k < kMaxSignals ? before[k] : 0.0);
  }
}

TValueGrid ShowValueFrame(const TProcessImage& img, const TSignalValues& frame) {
  TValueGrid grid;
  const int count = std::min<int>(img.SignalCount, kMaxSignals);
  if (count < 1) return grid;
  grid.Rows.reserve(count + TValueGrid::kFixedRows);
  grid.Rows.push_back({"Сигнал", "Значение"});
  grid.Rows.push_back({"Время:", FormatDateTime("hh:nn:ss", frame.GetMoment())});
  for (int i = 0; i < count; ++i) {
    const std::string name =
        static_cast<size_t>(i) < img.Signals.size() ? img.Signals[i].SignalName : std::string();
    grid.Rows.push_back({name, FormatDecimals(frame.Get(i), 3)});
  }
  return grid;
}

}  // namespace liron

#include "engine/status_texts.h"

#include <cmath>
#include <cstdio>

#include "platform/datetime.h"

namespace liron {

const char kAppTitle[] = "Служба приема ЛИРОН-36";
const char kAppCaption[] = "Служба приема ЛИРОН-36  1.20";
const char kEmulationMark[] = "*** ЭМУЛЯЦИЯ ***";

std::string StatusLine(const TStatusInputs& in) {
  if (in.LoadingSettings) return "Загрузка настроек";
  if (in.WaitingForServer)
    return "Ждем MySQL сервер " + in.Server + (in.ServerError.empty() ? "" : ": " + in.ServerError);
  const std::string record =
      in.LastRecord > 0 ? "последняя запись " + FormatDateTime("dd.mm.yyyy hh:nn:ss", in.LastRecord)
                        : "записей нет";
  const std::string spool = in.SpoolRecords == 0
                                ? ""
                                : ", записей в буфере " + SpoolDepthText(in.SpoolRecords, in.SpoolOldest);
  if (!in.ControlAlive) return "Контроль остановлен, " + record + spool;
  const std::string counts = std::to_string(in.Cycles) + ", неудачных " +
                             std::to_string(in.CycleErrors) + ", " + record + spool;
  if (!in.WorkOpen) return "Нет связи с MySQL сервером, циклов " + counts;
  return "Циклов " + counts;
}

std::string SpoolDepthText(int64_t records, TDateTime oldest) {
  if (records == 0) return "0";
  return std::to_string(records) + " (с " + FormatDateTime("dd.mm.yyyy hh:nn:ss", oldest) + ")";
}

std::string RunningTimeText(bool running, TDateTime now, TDateTime started) {
  if (!running) return "";
  double d = now - started;
  if (d < 0) d = 0;
  const double days = std::floor(d);
  std::string time = FormatDateTime("hh:nn:ss", d - days);
  if (days < 1) return time;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02.0f ", days);
  return buf + time;
}

TModuleGrid ModuleGrid(const std::array<TModuleState, kModuleCount>& modules) {
  TModuleGrid g;
  g.Cells[0][0] = " Модуль";
  g.Cells[0][1] = "   Последний успешный опрос";
  g.Cells[0][2] = "Ошибок";
  const char* labels[kModuleCount] = {" JUMO 1", " JUMO 2", " V-120"};
  for (int m = 0; m < kModuleCount; ++m) {
    const TModuleState& s = modules[static_cast<size_t>(m)];
    g.Cells[m + 1][0] = labels[m];
    g.Cells[m + 1][1] = s.LastOk > 0 ? FormatDateTime("dd.mm.yyyy hh:nn:ss", s.LastOk) : "";
    g.Cells[m + 1][2] = std::to_string(s.Errors);
  }
  return g;
}

std::string TrayHint(bool running, bool emulating) {
  std::string hint = running ? "Служба приема ЛИРОН-36.\nПоток контроля активен."
                             : "Служба приема ЛИРОН-36.\nКонтроль остановлен.";
  if (emulating) hint += std::string("\n") + kEmulationMark;
  return hint;
}

std::string Caption(bool emulating) {
  return emulating ? std::string(kAppCaption) + "  " + kEmulationMark : kAppCaption;
}

}  // namespace liron

#include "signals/setpoints.h"

#include <exception>

#include "db/sql_text.h"
#include "platform/datetime.h"
#include "signals/calc_works.h"
#include "signals/number_text.h"

namespace liron {

namespace {

// A setpoint column of the row: absent for NULL; false when the answer is no number at all.
bool SelectSetpoint(TSqlQueues& queues, const std::string& column, const std::string& where,
                    std::optional<double>* value) {
  TSqlValue v;
  if (!queues.SelectValue("select " + column + " as Rez from control_vector " + where, &v))
    return false;
  value->reset();
  if (v.Null) return true;
  double d = 0;
  if (!v.AsDouble(&d)) return false;
  *value = d;
  return true;
}

}  // namespace

bool ReadControlVector(TProcessImage& img, TSqlQueues& queues, TJournal& journal) {
  try {
    TSqlValue newest;
    if (!queues.SelectValue(
            "select CAST( IFNULL( max(RecMoment), '2007-01-01 01:01:01')  AS DATETIME) Rez "
            "from control_vector",
            &newest))
      return false;
    TDateTime moment = 0;
    if (!newest.AsDateTime(&moment)) return false;
    if (moment <= img.ControlMoment) return true;

    const std::string where =
        "where RecMoment='" + FormatDateTime("yyyy-mm-dd hh:nn:ss", moment) + "'";
    TSqlValue user;
    if (!queues.SelectValue("select UserName as Rez from control_vector " + where, &user))
      return false;
    std::optional<double> plsz, urnsz;
    if (!SelectSetpoint(queues, kPlszName, where, &plsz)) return false;
    if (!SelectSetpoint(queues, kUrnszName, where, &urnsz)) return false;

    std::string text = "Новое задание:";
    if (plsz) {
      img.PlszSetpoint = *plsz;
      text += " Плотность=" + FormatGeneral(*plsz);
    }
    if (urnsz) {
      img.UrnszSetpoint = *urnsz;
      text += " Уровень НС=" + FormatGeneral(*urnsz);
    }
    // The JUMO pass may run before the next CalcWorks: the new values stand in OutValues
    // before the request is raised, so it never sends the previous setpoint under it. The
    // counter goes first, so the pass never finds the request with a spent counter.
    PutSetpointsOut(img);
    img.RepeatCounter = img.Settings().MaxWriteCount;
    img.WriteRequest = true;
    img.ControlMoment = moment;
    journal.WriteJournal(text, user.Null ? std::string() : user.Text);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool SetNewControl(TProcessImage& img, TMySQLConnection& user, TJournal& journal,
                   const std::string& plsz_text, const std::string& urnsz_text, Operator& op) {
  double v = 0;
  if (!ParseNumber(plsz_text, &v)) {
    op.ShowMessage("Правильно вводите числа.", "Ошибка", MsgIcon::Error);
    return false;
  }
  img.PlszSetpoint = v;
  if (!ParseNumber(urnsz_text, &v)) {
    op.ShowMessage("Правильно вводите числа.", "Ошибка", MsgIcon::Error);
    return false;
  }
  img.UrnszSetpoint = v;

  const double plsz = img.PlszSetpoint;
  const double urnsz = img.UrnszSetpoint;
  std::string error;
  if (!user.Execute("insert into control_vector\r\nVALUES ( Now(), USER(), " + SqlNumber(plsz) +
                        ", " + SqlNumber(urnsz) + ")",
                    &error)) {
    op.ShowMessage(error.empty() ? "Нет связи с сервером MySQL." : error, "Ошибка",
                   MsgIcon::Error);
    return false;
  }
  journal.WriteJournal("Новое задание: Плотность=" + FormatGeneral(plsz) +
                           ", Уровень НС=" + FormatGeneral(urnsz),
                       kServiceOriginator);
  return true;
}

std::optional<TSetpointView> ShowSetpoint(TProcessImage& img) {
  const TDateTime moment = img.ControlMoment;
  if (!(moment > img.ControlShownMoment)) return std::nullopt;
  img.ControlShownMoment = moment;
  return TSetpointView{FormatDateTime("dd.mm.yyyy hh:nn:ss", moment),
                       FormatDecimals(img.PlszSetpoint, 2), FormatDecimals(img.UrnszSetpoint, 2)};
}

void SetHardWriteOff(TProcessImage& img, bool on, TEventFIFO& events, TJournal& journal) {
  img.HardWriteOff = on;
  const std::string text =
      std::string("*** Запись в аппаратуру ") + (on ? "ЗАПРЕЩЕНА ***" : "разрешена.");
  events.PostEvent(text);
  journal.WriteJournal(text, kServiceOriginator);
}

}  // namespace liron

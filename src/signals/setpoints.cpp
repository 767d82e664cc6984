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

// The row's own part of the journal text: what it sets, NULL columns left out.
std::string NewSetpointText(const TSetpointOrder& row) {
  std::string text = "Новое задание:";
  if (row.Plsz) text += " Плотность=" + FormatGeneral(*row.Plsz);
  if (row.Urnsz) text += " Уровень НС=" + FormatGeneral(*row.Urnsz);
  return text;
}

// The row becomes the setpoint in force and goes out to the controllers that lack it. A NULL
// column keeps the setpoint in force, which the order carries on. False (nothing taken) when
// only_first is set and an order was taken before.
bool TakeRow(TProcessImage& img, const TSetpointOrder& row,
             const std::vector<int32_t>& delivered, bool only_first) {
  if (only_first && img.Delivery.Taken()) return false;
  TSetpointOrder order = row;
  const TSetpointOrder before = img.Delivery.Order();
  if (!order.Plsz) order.Plsz = before.Plsz;
  if (!order.Urnsz) order.Urnsz = before.Urnsz;
  if (order.Plsz) img.PlszSetpoint = *order.Plsz;
  if (order.Urnsz) img.UrnszSetpoint = *order.Urnsz;
  // The frames hold the new values before the order goes out.
  PutSetpointsOut(img);
  img.ControlMoment = row.Moment;
  const std::vector<int32_t> controllers =
      SetpointControllers(img.Signals, img.SignalCount.load(), order);
  return img.Delivery.Raise(order, controllers, delivered, img.Settings().MaxWriteCount + 1,
                            only_first);
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
    TSetpointOrder row;
    row.Moment = moment;
    row.User = user.Null ? std::string() : user.Text;
    if (!SelectSetpoint(queues, kPlszName, where, &row.Plsz)) return false;
    if (!SelectSetpoint(queues, kUrnszName, where, &row.Urnsz)) return false;
    TakeRow(img, row, {}, false);
    journal.WriteJournal(NewSetpointText(row), row.User);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool SeedSetpoints(TProcessImage& img, TMySQLConnection& user, TJournal& journal,
                   std::string* error) {
  try {
    if (img.Delivery.Taken()) return true;
    TSqlRows rows;
    if (!user.Query("select RecMoment, UserName, _PLSZ, _URNSZ from control_vector "
                    "order by RecMoment desc limit 1",
                    &rows, error))
      return false;
    if (rows.Rows.empty()) return true;
    TSetpointOrder row;
    const TSqlValue* moment = rows.Field(0, "RecMoment");
    if (!moment || !moment->AsDateTime(&row.Moment)) {
      if (error) *error = "no moment in the newest row of control_vector";
      return false;
    }
    if (const TSqlValue* v = rows.Field(0, "UserName"); v && !v->Null) row.User = v->Text;
    double d = 0;
    if (const TSqlValue* v = rows.Field(0, kPlszName); v && v->AsDouble(&d)) row.Plsz = d;
    if (const TSqlValue* v = rows.Field(0, kUrnszName); v && v->AsDouble(&d)) row.Urnsz = d;

    // The journal of earlier runs tells which controllers confirmed this row. Its records
    // follow the row, give or take the two clocks.
    const std::vector<int32_t> controllers =
        SetpointControllers(img.Signals, img.SignalCount.load(), row);
    std::vector<int32_t> delivered;
    if (!controllers.empty()) {
      std::string texts;
      for (int32_t dev : controllers)
        texts += (texts.empty() ? "" : ", ") + SqlText(DeliveredText(dev, row.Moment));
      TSqlRows found;
      if (!user.Query("select MessageText from control_log where RecMoment >= '" +
                          FormatDateTime("yyyy-mm-dd hh:nn:ss", row.Moment - 1.0) +
                          "' and MessageText in (" + texts + ")",
                      &found, error))
        return false;
      for (int32_t dev : controllers)
        for (const auto& r : found.Rows)
          if (!r.empty() && r[0].Text == DeliveredText(dev, row.Moment)) delivered.push_back(dev);
    }
    if (!TakeRow(img, row, delivered, true)) return true;
    if (delivered.size() < controllers.size())
      journal.WriteJournal(NewSetpointText(row), row.User);
    return true;
  } catch (const std::exception& e) {
    if (error) *error = e.what();
    return false;
  }
}

bool SeedStoredSetpoints(TProcessImage& img, TDateTime moment, double plsz, double urnsz) {
  TSetpointOrder row;
  row.Moment = moment;
  row.Plsz = plsz;
  row.Urnsz = urnsz;
  return TakeRow(img, row, {}, true);
}

bool SetNewControl(TMySQLConnection& user, TJournal& journal, const std::string& plsz_text,
                   const std::string& urnsz_text, Operator& op) {
  double plsz = 0, urnsz = 0;
  if (!ParseNumber(plsz_text, &plsz) || !ParseNumber(urnsz_text, &urnsz)) {
    op.ShowMessage("Правильно вводите числа.", "Ошибка", MsgIcon::Error);
    return false;
  }
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

#include "db/signal_loader.h"

#include <strings.h>

#include <exception>

#include "db/sql_text.h"

namespace liron {

const char kTooManySignals[] = "### Слишком много сигналов ###";

namespace {

constexpr int kDefaultFirstV120Addr = 110;

struct Loader {
  TMySQLConnection& conn;
  TEventFIFO& events;
  std::string* error;

  bool Query(const std::string& sql, TSqlRows* rows) {
    std::string err;
    if (conn.Query(sql, rows, &err)) return true;
    if (error) *error = err + " (" + sql + ")";
    return false;
  }
  bool Execute(const std::string& sql) {
    std::string err;
    if (conn.Execute(sql, &err)) return true;
    if (error) *error = err + " (" + sql + ")";
    return false;
  }
  bool Count(const std::string& sql, int64_t* n) {
    TSqlRows rows;
    if (!Query(sql, &rows)) return false;
    const TSqlValue* rez = rows.Field(0, "Rez");
    if (!rez || !rez->AsInt(n)) {
      if (error) *error = "no count in the answer to " + sql;
      return false;
    }
    return true;
  }
};

std::string Text(const TSqlRows& rows, size_t r, const char* column) {
  const TSqlValue* v = rows.Field(r, column);
  return v && !v->Null ? v->Text : std::string();
}

int64_t Int(const TSqlRows& rows, size_t r, const char* column) {
  int64_t n = 0;
  if (const TSqlValue* v = rows.Field(r, column)) v->AsInt(&n);
  return n;
}

// The row of the default plan for the j-th column of pu_data.
TSignalSet DefaultRow(int j, const std::string& name, int* next_v120_addr) {
  TSignalSet s;
  s.BusName = "JUMO";
  s.SignalName = name;
  s.Kind = kKindFloat;
  s.InverseBytes = true;
  s.InverseWords = true;
  s.Direction = "READ";
  if (j < 4) {
    s.DevNum = j < 2 ? 1 : 2;
    s.Addr = (j % 2 == 0) ? 53 : 71;
  } else if (name[0] == '_') {
    s.Direction = "WRITE";
    s.Addr = 8;
    s.DevNum = name == "_PLSZ" ? 1 : 2;
  } else if (name == "RAB" || name == "RN") {
    s.BusName = "CALC";
    s.Direction = "";
    s.DevNum = 0;
    s.Addr = 0;
  } else {
    s.BusName = "V120";
    s.InverseBytes = false;
    s.InverseWords = false;
    s.DevNum = 1;
    s.Kind = kKindInt;
    s.Addr = static_cast<uint16_t>((*next_v120_addr)++);
    if (name.rfind("G_1T", 0) == 0) {
      s.Kind = kKindLong;
      s.Addr = 52;
    } else if (name.rfind("BKK", 0) == 0) {
      s.Kind = kKindBit;
      s.Addr = 10;
    }
  }
  return s;
}

std::string InsertSignal(const TSignalSet& s) {
  return "insert into `signal`\r\nVALUES(    " + SqlQuoted(s.BusName) + ", " +
         SqlQuoted(s.SignalName) + ", " + std::to_string(s.DevNum) + ", " +
         std::to_string(s.Addr) + ", " + std::to_string(s.Kind) + ", " +
         (s.InverseBytes ? "1" : "0") + ", " + (s.InverseWords ? "1" : "0") + ", " +
         SqlQuoted(s.Direction) + ")";
}

bool ReadPlan(Loader& ld, std::vector<TSignalSet>* plan, bool* too_many) {
  TSqlRows rows;
  if (!ld.Query("select * from `signal` order by BusName, SignalName", &rows)) return false;
  if (rows.Rows.size() > static_cast<size_t>(kMaxSignals)) {  // grew since it was counted
    *too_many = true;
    return true;
  }
  for (size_t r = 0; r < rows.Rows.size(); ++r) {
    TSignalSet s;
    s.BusName = Text(rows, r, "BusName");
    s.SignalName = Text(rows, r, "SignalName");
    s.Direction = Text(rows, r, "Direction");
    s.DevNum = static_cast<int32_t>(Int(rows, r, "DevNum"));
    s.Addr = static_cast<uint16_t>(Int(rows, r, "Addr"));
    s.Kind = static_cast<int32_t>(Int(rows, r, "Kind"));
    s.InverseBytes = Int(rows, r, "InverseBytes") != 0;
    s.InverseWords = Int(rows, r, "InverseWords") != 0;
    if (!AcceptSignalName(s.SignalName, ld.events)) continue;
    plan->push_back(std::move(s));
  }
  return true;
}

// The default plan from the columns of pu_data, stored into `signal` in one transaction so
// that a failure leaves the table empty rather than half filled.
bool BuildDefaultPlan(Loader& ld, std::vector<TSignalSet>* plan) {
  TSqlRows rows;
  if (!ld.Query("show fields from pu_data", &rows)) return false;
  std::vector<std::string> names;
  bool surplus = false;
  for (size_t r = 0; r < rows.Rows.size(); ++r) {
    const std::string name = Text(rows, r, "Field");
    // RecMoment is the key; I_1T1 is the raw counter the record writer fills itself.
    if (strcasecmp(name.c_str(), "RecMoment") == 0 || strcasecmp(name.c_str(), "I_1T1") == 0)
      continue;
    if (!AcceptSignalName(name, ld.events)) continue;
    if (names.size() >= static_cast<size_t>(kMaxSignals)) {
      surplus = true;
      continue;
    }
    names.push_back(name);
  }
  if (surplus) ld.events.PostEvent(kTooManySignals);

  int next_v120_addr = kDefaultFirstV120Addr;
  for (size_t j = 0; j < names.size(); ++j)
    plan->push_back(DefaultRow(static_cast<int>(j), names[j], &next_v120_addr));

  if (plan->empty()) return true;
  if (!ld.Execute("start transaction")) return false;
  for (const TSignalSet& s : *plan) {
    if (!ld.Execute(InsertSignal(s))) {
      ld.conn.Execute("rollback");
      return false;
    }
  }
  return ld.Execute("commit");
}

// The points of the rows, in their order; a point without both values is no point and is
// skipped with an event, never read as 0. The number of points taken.
size_t TakeCalibrationPoints(Loader& ld, const TSqlRows& rows, TSignalSet* s) {
  size_t n = 0;
  for (size_t r = 0; r < rows.Rows.size(); ++r) {
    double a = 0, f = 0;
    const TSqlValue* av = rows.Field(r, "AVal");
    const TSqlValue* fv = rows.Field(r, "FVal");
    if (!av || !fv || !av->AsDouble(&a) || !fv->AsDouble(&f)) {
      ld.events.PostEvent("### Неполная точка калибровки пропущена: " + s->SignalName + " ###");
      continue;
    }
    if (n == static_cast<size_t>(kMaxUsableCalibPoints)) {
      ld.events.PostEvent("### Слишком много точек калибровки: " + s->SignalName + " ###");
      break;
    }
    s->AVal[n] = a;
    s->FVal[n] = f;
    ++n;
  }
  s->CalibCount = static_cast<int32_t>(n);
  return n;
}

bool LoadCalibration(Loader& ld, TSignalSet* s) {
  const std::string where = " WHERE SignalName=" + SqlText(s->SignalName) + " ";
  int64_t c = 0;
  if (!ld.Count("select count(*) Rez from kalibr" + where, &c)) return false;
  if (c > 0) {
    TSqlRows rows;
    if (!ld.Query("select * from kalibr" + where + "order by AVal", &rows)) return false;
    const size_t n = TakeCalibrationPoints(ld, rows, s);
    if (n > 0) return true;
    // The points went away between count and select: give it the identity line as below.
  }
  s->CalibCount = 2;
  s->AVal[0] = 0;
  s->FVal[0] = 0;
  s->AVal[1] = 100;
  s->FVal[1] = 100;
  // Both points in one statement: a refusal leaves no single point behind.
  std::string sql = "insert into kalibr\r\n(SignalName, AVal, FVal)\r\nVALUES ";
  for (int k = 0; k < 2; ++k)
    sql += std::string(k ? ", (" : "(") + SqlText(s->SignalName) + ", " + SqlNumber(s->AVal[k]) +
           ", " + SqlNumber(s->FVal[k]) + ")";
  return ld.Execute(sql);
}

// The records and the seeding of the V-120 totaliser know one integral counter: a second
// V-120 row whose name begins with G_1T is refused.
void DropSecondCounters(TEventFIFO& events, std::vector<TSignalSet>* plan) {
  bool seen = false;
  std::erase_if(*plan, [&](const TSignalSet& s) {
    if (s.BusName != "V120" || s.SignalName.rfind("G_1T", 0) != 0) return false;
    if (!seen) {
      seen = true;
      return false;
    }
    events.PostEvent("### Второй интегральный счетчик отклонен: " + s.SignalName + " ###");
    return true;
  });
}

}  // namespace

bool AcceptSignalName(const std::string& name, TEventFIFO& events) {
  if (IsPlainIdentifier(name)) return true;
  events.PostEvent("### Недопустимое имя сигнала: " + name + " ###");
  return false;
}

bool ReadSignals(TMySQLConnection& conn, TEventFIFO& events, std::string* error,
                 std::vector<TSignalSet>* plan, bool* too_many) {
  *too_many = false;
  try {
    Loader ld{conn, events, error};
    int64_t n = 0;
    if (!ld.Count("select count(*) Rez from `signal`", &n)) return false;
    if (n > kMaxSignals) {
      events.PostEvent(kTooManySignals);
      *too_many = true;
      return true;
    }
    std::vector<TSignalSet> rows;
    rows.reserve(static_cast<size_t>(n > 0 ? n : kMaxSignals));
    if (n >= 1) {
      if (!ReadPlan(ld, &rows, too_many)) return false;
      if (*too_many) {
        events.PostEvent(kTooManySignals);
        return true;
      }
    } else if (!BuildDefaultPlan(ld, &rows)) {
      return false;
    }
    DropSecondCounters(events, &rows);
    for (TSignalSet& s : rows)
      if (!LoadCalibration(ld, &s)) return false;
    *plan = std::move(rows);
    return true;
  } catch (const std::exception& e) {
    if (error) *error = e.what();
    return false;
  }
}

void InstallSignals(TProcessImage& image, std::vector<TSignalSet> plan,
                    std::vector<std::string>* calib_names) {
  std::vector<std::string> names;
  names.reserve(plan.size());
  for (const TSignalSet& s : plan) names.push_back(s.SignalName);
  const int count = static_cast<int>(plan.size());
  image.Signals = std::move(plan);
  image.SignalNames = names;
  image.SignalCount = count;
  image.EnsureAverages(count);
  if (calib_names) *calib_names = std::move(names);
}

bool LoadSignals(TMySQLConnection& conn, TProcessImage& image, TEventFIFO& events,
                 std::string* error, std::vector<std::string>* calib_names) {
  std::vector<TSignalSet> plan;
  bool too_many = false;
  if (!ReadSignals(conn, events, error, &plan, &too_many)) return false;
  if (!too_many) InstallSignals(image, std::move(plan), calib_names);
  return true;
}

}  // namespace liron

#include "db/setup_consts.h"

#include <cmath>
#include <exception>

#include "db/sql_text.h"
#include "image/settings.h"
#include "platform/datetime.h"

namespace liron {

bool ReadSetupConst(TSqlQueues& queues, const std::string& name, double* value, bool* missing) {
  if (missing) *missing = false;
  const std::string where = "where ConstName=" + SqlText(name);
  TSqlValue answer;
  int64_t n = 0;
  if (!queues.SelectValue("select count(*) Rez from setup " + where, &answer)) return false;
  if (!answer.AsInt(&n)) n = 0;
  if (n <= 0) {
    if (missing) *missing = true;
    return false;
  }
  if (!queues.SelectValue("select ConstVal as Rez from setup " + where, &answer)) return false;
  double v = 0;
  if (!answer.AsDouble(&v)) return false;  // NULL or not a number: nothing usable
  *value = v;
  return true;
}

bool EnsureSetupConst(TSqlQueues& queues, const std::string& name, double* value) {
  try {
    bool missing = false;
    if (!ReadSetupConst(queues, name, value, &missing) && missing)
      queues.QueueSQL("insert into setup (ConstName, ConstVal, Comment) VALUES (" +
                      SqlQuoted(name) + ", " + SqlNumber(*value) + ", '')");
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

namespace {

// Each constant of table `setup` and the field of the image that holds it.
struct TSetupConstSlot {
  const char* Name;
  std::atomic<double> TProcessImage::*Field;
};
constexpr TSetupConstSlot kSetupConsts[] = {
    {"MIN_PLS", &TProcessImage::MinPls},
    {"MIN_NAGR", &TProcessImage::MinNagr},
    {"MAX_G_STEP", &TProcessImage::MaxGStep},
};

}  // namespace

bool LoadSetupConsts(TSqlQueues& queues, TProcessImage& image) {
  bool ok = true;
  for (const TSetupConstSlot& c : kSetupConsts) {
    double v = (image.*c.Field).load();
    ok = EnsureSetupConst(queues, c.Name, &v) && ok;
    (image.*c.Field).store(v);
  }
  return ok;
}

bool ReadSetupRows(TMySQLConnection& user, TSetupRows* rows, std::string* error) {
  std::string names;
  for (const TSetupConstSlot& c : kSetupConsts) names += (names.empty() ? "" : ", ") + SqlText(c.Name);
  TSqlRows answer;
  if (!user.Query("select ConstName, ConstVal from setup where ConstName in (" + names + ")",
                  &answer, error))
    return false;
  rows->clear();
  for (size_t r = 0; r < answer.Rows.size(); ++r) {
    const TSqlValue* name = answer.Field(r, "ConstName");
    const TSqlValue* value = answer.Field(r, "ConstVal");
    double v = 0;
    if (name && !name->Null && value && value->AsDouble(&v)) rows->emplace_back(name->Text, v);
  }
  return true;
}

void ApplySetupRows(const TSetupRows& rows, TProcessImage& image) {
  for (const auto& [name, value] : rows)
    for (const TSetupConstSlot& c : kSetupConsts)
      if (name == c.Name) (image.*c.Field).store(value);
}

TAutoClean::TAutoClean(Clock& clock) : clock_(clock), last_clean_(clock.Now()) {}

TDateTime TAutoClean::LastCleanMoment() const {
  std::lock_guard<std::mutex> l(mu_);
  return last_clean_;
}

bool TAutoClean::Check(TSqlQueues& queues, bool auto_clean_flag, int32_t database_size) {
  if (!auto_clean_flag) return false;
  const TDateTime now = clock_.Now();
  {
    std::lock_guard<std::mutex> l(mu_);
    // Whole hours between the two moments, counted on whole milliseconds so that exactly two
    // hours do not come out as 1.999... hours.
    const int64_t ms = std::llround((now - last_clean_) * kMsPerDay);
    if (ms / 3600000 < 2) return false;
    last_clean_ = now;
  }
  const int32_t days = database_size < kMinDatabaseSize ? kMinDatabaseSize : database_size;
  const std::string where = " where DATEDIFF( CURDATE(), RecMoment ) > " + std::to_string(days);
  queues.QueueSQL("delete from pu_data " + where);
  queues.QueueSQL("delete from control_log " + where);
  queues.QueueSQL("delete from control_vector " + where);
  return true;
}

}  // namespace liron

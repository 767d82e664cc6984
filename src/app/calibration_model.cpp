#include "app/calibration_model.h"

#include "db/sql_text.h"
#include "signals/number_text.h"

namespace liron {
namespace {

const char kNumbersText[] = "Правильно вводите числа.";
const char kBothValuesText[] = "Введите оба значения точки калибровки.";

std::string ValueSql(const TSqlValue& v) { return v.Null ? "NULL" : v.Text; }

QString ShowValue(const TSqlValue& v) {
  if (v.Null) return {};
  double x = 0;
  if (!v.AsDouble(&x)) return QString::fromStdString(v.Text);
  return QString::fromStdString(FormatGeneral(x));
}

}  // namespace

CalibrationModel::CalibrationModel(TMySQLConnection& conn, Operator& op, QObject* parent)
    : QAbstractTableModel(parent), conn_(conn), op_(op) {}

bool CalibrationModel::SetSignal(const std::string& signal_name, std::string* error) {
  PostPending();
  signal_ = signal_name;
  return Load(error);
}

bool CalibrationModel::Load(std::string* error) {
  std::vector<Point> points;
  std::string err;
  bool ok = false;
  if (signal_.empty()) {
    ok = true;
  } else if (!Ready()) {
    err = "Нет подключения к базе данных.";
  } else {
    TSqlRows rows;
    ok = conn_.Query("select AVal, FVal from kalibr where SignalName=" + SqlQuoted(signal_) +
                         " order by AVal",
                     &rows, &err);
    for (size_t r = 0; ok && r < rows.Rows.size(); ++r) {
      Point p;
      if (const TSqlValue* v = rows.Field(r, "AVal")) p.AVal = *v;
      if (const TSqlValue* v = rows.Field(r, "FVal")) p.FVal = *v;
      points.push_back(p);
    }
  }
  beginResetModel();
  points_ = ok ? std::move(points) : std::vector<Point>{};
  endResetModel();
  if (!ok && error) *error = err;
  return ok;
}

bool CalibrationModel::HasPending() const {
  for (const Point& p : points_)
    if (p.Pending) return true;
  return false;
}

int CalibrationModel::AddRow() {
  if (HasPending() && !PostPending()) {  // the point being typed comes first
    for (size_t r = 0; r < points_.size(); ++r)
      if (points_[r].Pending) return static_cast<int>(r);
  }
  const int r = static_cast<int>(points_.size());
  beginInsertRows({}, r, r);
  Point p;
  p.Pending = true;
  points_.push_back(p);
  endInsertRows();
  return r;
}

bool CalibrationModel::PostPending() {
  for (size_t r = 0; r < points_.size(); ++r) {
    if (!points_[r].Pending) continue;
    const Point p = points_[r];
    if (p.AVal.Null && p.FVal.Null) {  // nothing typed: nothing to keep
      beginRemoveRows({}, static_cast<int>(r), static_cast<int>(r));
      points_.erase(points_.begin() + static_cast<long>(r));
      endRemoveRows();
      return true;
    }
    if (p.AVal.Null || p.FVal.Null) {  // half a point is no point
      op_.ShowMessage(kBothValuesText, "Ошибка", MsgIcon::Error);
      return false;
    }
    // A new point always belongs to the signal chosen in the list.
    return Write("insert into kalibr (SignalName, AVal, FVal) values (" + SqlQuoted(signal_) +
                 ", " + ValueSql(p.AVal) + ", " + ValueSql(p.FVal) + ")");
  }
  return true;
}

bool CalibrationModel::DeleteRow(int r) {
  if (r < 0 || r >= static_cast<int>(points_.size())) return false;
  if (points_[r].Pending) {
    beginRemoveRows({}, r, r);
    points_.erase(points_.begin() + r);
    endRemoveRows();
    return true;
  }
  return Write("delete from kalibr where " + RowCondition(points_[r]) + " limit 1");
}

std::string CalibrationModel::RowCondition(const Point& p) const {
  return "SignalName=" + SqlQuoted(signal_) + " and AVal<=>" + ValueSql(p.AVal) +
         " and FVal<=>" + ValueSql(p.FVal);
}

bool CalibrationModel::Write(const std::string& sql) {
  std::string error;
  const bool ok = Ready() && conn_.Execute(sql, &error);
  if (!ok && !error.empty()) op_.ShowMessage(error, "Ошибка", MsgIcon::Error);
  // A pending point that was not the one written stays pending over the reload.
  std::vector<Point> keep;
  if (!ok)
    for (const Point& p : points_)
      if (p.Pending) keep.push_back(p);
  std::string load_error;
  if (!Load(&load_error) && ok) op_.ShowMessage(load_error, "Ошибка", MsgIcon::Error);
  if (!keep.empty()) {
    const int r = static_cast<int>(points_.size());
    beginInsertRows({}, r, r + static_cast<int>(keep.size()) - 1);
    points_.insert(points_.end(), keep.begin(), keep.end());
    endInsertRows();
  }
  return ok;
}

int CalibrationModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(points_.size());
}

int CalibrationModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant CalibrationModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(points_.size())) return {};
  const Point& p = points_[index.row()];
  const TSqlValue& v = index.column() == kAVal ? p.AVal : p.FVal;
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
      return ShowValue(v);
    case Qt::TextAlignmentRole:
      return int(Qt::AlignRight | Qt::AlignVCenter);
    default:
      return {};
  }
}

QVariant CalibrationModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Vertical) {
    if (section >= 0 && section < static_cast<int>(points_.size()) && points_[section].Pending)
      return QStringLiteral("*");
    return QString::number(section + 1);
  }
  if (section == kAVal) return QStringLiteral("Значение\nАппаратное");
  if (section == kFVal) return QStringLiteral("Значение\nФизическое");
  return {};
}

Qt::ItemFlags CalibrationModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

bool CalibrationModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  try {
    if (role != Qt::EditRole || !index.isValid() ||
        index.row() >= static_cast<int>(points_.size()))
      return false;
    const int r = index.row();
    const std::string text = value.toString().trimmed().toStdString();
    Point& p = points_[r];
    TSqlValue nv;  // NULL for an emptied cell, which only a point being typed may have
    double x = 0;
    if (!text.empty() && ParseNumber(text, &x)) {
      nv = TSqlValue::Of(SqlNumber(x));
    } else if (!text.empty() || !p.Pending) {
      op_.ShowMessage(kNumbersText, "Ошибка", MsgIcon::Error);
      return false;
    }
    if (p.Pending) {
      (index.column() == kAVal ? p.AVal : p.FVal) = nv;
      emit dataChanged(index, index);
      if (!p.AVal.Null && !p.FVal.Null) return PostPending();
      return true;
    }
    const char* column = index.column() == kAVal ? "AVal" : "FVal";
    return Write(std::string("update kalibr set ") + column + "=" + ValueSql(nv) + " where " +
                 RowCondition(p) + " limit 1");
  } catch (...) {
    op_.Beep();
    return false;
  }
}

}  // namespace liron

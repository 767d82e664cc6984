#include "app/signal_plan_model.h"

#include "db/config_file.h"
#include "db/sql_text.h"

namespace liron {

const char* const SignalPlanModel::kColumnNames[kColumnCount] = {
    "BusName", "SignalName", "DevNum", "Addr", "Kind", "InverseBytes", "InverseWords",
    "Direction"};
const char* const SignalPlanModel::kKindNames[4] = {"INT", "FLOAT", "LONG", "BIT"};

namespace {

const char* const kHeadings[SignalPlanModel::kColumnCount] = {
    "Источник", "Название сигнала",          "№ устройства",          "Адрес",
    "Тип значения", "Обратный порядок\nбайт", "Обратный порядок\nСлов", "Направление"};

const char kNumbersText[] = "Правильно вводите числа.";

bool IsCheckColumn(int c) {
  return c == SignalPlanModel::kInverseBytes || c == SignalPlanModel::kInverseWords;
}

int64_t IntOf(const TSqlValue& v) {
  int64_t x = 0;
  v.AsInt(&x);
  return x;
}

}  // namespace

QStringList SignalPlanModel::BusNamesOffered() {
  return {QStringLiteral("CALC"), QStringLiteral("ICP"), QStringLiteral("JUMO"),
          QStringLiteral("V120")};
}

SignalPlanModel::SignalPlanModel(TMySQLConnection& conn, Operator& op, QObject* parent)
    : QAbstractTableModel(parent), conn_(conn), op_(op) {}

bool SignalPlanModel::ReadRows(TMySQLConnection& conn, const std::string& where,
                               std::vector<Row>* out, std::string* error) {
  std::string sql = "select ";
  for (int c = 0; c < kColumnCount; ++c) {
    if (c) sql += ", ";
    sql += kColumnNames[c];
  }
  sql += " from `signal`" + where;
  TSqlRows rows;
  if (!conn.Query(sql, &rows, error)) return false;
  out->clear();
  for (size_t r = 0; r < rows.Rows.size(); ++r) {
    Row row;
    for (int c = 0; c < kColumnCount; ++c) {
      const TSqlValue* v = rows.Field(r, kColumnNames[c]);
      if (v) row[c] = *v;
    }
    out->push_back(std::move(row));
  }
  return true;
}

bool SignalPlanModel::Load(std::string* error) {
  std::vector<Row> rows;
  std::string err;
  const bool ready = Ready();
  const bool ok = ready && ReadRows(conn_, "", &rows, &err);
  if (!ready) err = "Нет подключения к базе данных.";
  beginResetModel();
  rows_ = ok ? std::move(rows) : std::vector<Row>{};
  endResetModel();
  if (!ok && error) *error = err;
  return ok;
}

int SignalPlanModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int SignalPlanModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant SignalPlanModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
  const int c = index.column();
  const TSqlValue& v = rows_[index.row()][c];
  if (IsCheckColumn(c)) {
    if (role == Qt::CheckStateRole) return IntOf(v) != 0 ? Qt::Checked : Qt::Unchecked;
    if (role == Qt::TextAlignmentRole) return int(Qt::AlignCenter);
    return {};
  }
  switch (role) {
    case Qt::DisplayRole:
      if (c == kKind && !v.Null) {
        const int64_t k = IntOf(v);
        if (k >= 0 && k < 4) return QString::fromLatin1(kKindNames[k]);
      }
      return v.Null ? QString() : QString::fromStdString(v.Text);
    case Qt::EditRole:
      return v.Null ? QString() : QString::fromStdString(v.Text);
    case Qt::TextAlignmentRole:
      if (c == kAddr) return int(Qt::AlignCenter);
      return int(Qt::AlignLeft | Qt::AlignVCenter);
    default:
      return {};
  }
}

QVariant SignalPlanModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  if (section < 0 || section >= kColumnCount) return {};
  return QString::fromUtf8(kHeadings[section]);
}

Qt::ItemFlags SignalPlanModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  const int c = index.column();
  if (IsCheckColumn(c)) return f | Qt::ItemIsUserCheckable;
  if (c == kSignalName || c == kDirection) return f;  // read only
  return f | Qt::ItemIsEditable;
}

bool SignalPlanModel::NewValueSql(int c, const QVariant& value, int role, std::string* sql) {
  if (IsCheckColumn(c)) {
    if (role != Qt::CheckStateRole) return false;
    *sql = value.toInt() == Qt::Checked ? "1" : "0";
    return true;
  }
  if (role != Qt::EditRole) return false;
  const std::string text = value.toString().trimmed().toStdString();
  if (c == kBusName) {
    if (text.empty()) return false;  // required
    *sql = SqlQuoted(text);
    return true;
  }
  if (c == kDevNum || c == kAddr || c == kKind) {
    if (text.empty() && c != kKind) {
      *sql = "NULL";
      return true;
    }
    int32_t n = 0;
    if (!ParseDecimal(text, &n) || (c == kKind && (n < 0 || n > 3))) {
      op_.ShowMessage(kNumbersText, "Ошибка", MsgIcon::Error);
      return false;
    }
    *sql = std::to_string(n);
    return true;
  }
  return false;
}

bool SignalPlanModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  try {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return false;
    if (!(flags(index) & (Qt::ItemIsEditable | Qt::ItemIsUserCheckable))) return false;
    const int r = index.row();
    const int c = index.column();
    std::string value_sql;
    if (!NewValueSql(c, value, role, &value_sql)) return false;
    const Row& row = rows_[r];
    const std::string sql = std::string("update `signal` set ") + kColumnNames[c] + "=" +
                            value_sql + " where BusName=" + SqlQuoted(row[kBusName].Text) +
                            " and SignalName=" + SqlQuoted(row[kSignalName].Text);
    std::string error;
    const bool ok = Ready() && conn_.Execute(sql, &error);
    if (!ok && !error.empty()) op_.ShowMessage(error, "Ошибка", MsgIcon::Error);
    ReloadRow(r);  // the stored values, changed or not
    return ok;
  } catch (...) {
    op_.Beep();
    return false;
  }
}

void SignalPlanModel::ReloadRow(int r) {
  std::vector<Row> fresh;
  std::string error;
  const std::string where = " where SignalName=" + SqlQuoted(rows_[r][kSignalName].Text);
  if (ReadRows(conn_, where, &fresh, &error) && fresh.size() == 1) {
    rows_[r] = fresh[0];
    emit dataChanged(index(r, 0), index(r, kColumnCount - 1));
    return;
  }
  Load();  // the row is gone or the link is down: show what the table holds now
}

}  // namespace liron

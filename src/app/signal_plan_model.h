// The signal plan editor's data: table `signal` as a whole, read and written through the user
// connection. Existing rows can be changed, never added or deleted here. Each change is written
// at once by an UPDATE keyed on the row's BusName and SignalName, and the row is read back, so
// the grid always shows what the table holds; a change the server refuses is shown to the
// operator and the row returns to its stored values.
#pragma once

#include <QAbstractTableModel>
#include <array>
#include <vector>

#include "db/mysql_connection.h"
#include "platform/operator.h"

namespace liron {

class SignalPlanModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum Column {
    kBusName = 0,
    kSignalName,
    kDevNum,
    kAddr,
    kKind,
    kInverseBytes,
    kInverseWords,
    kDirection,
    kColumnCount
  };
  static const char* const kColumnNames[kColumnCount];
  static const char* const kKindNames[4];    // "INT", "FLOAT", "LONG", "BIT"
  static QStringList BusNamesOffered();      // "CALC", "ICP", "JUMO", "V120"

  SignalPlanModel(TMySQLConnection& conn, Operator& op, QObject* parent = nullptr);
  // Asked before every use of the connection (it makes sure the connection is open and
  // says why when it is not).
  void SetReadyCheck(std::function<bool()> ready) { ready_ = std::move(ready); }

  // Reads the whole table again. False with the server's text in *error; the model is then
  // empty.
  bool Load(std::string* error = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

 private:
  using Row = std::array<TSqlValue, kColumnCount>;
  static bool ReadRows(TMySQLConnection& conn, const std::string& where, std::vector<Row>* out,
                       std::string* error);
  // The SQL text of a new value for column c, or false (with the reason shown) when the
  // operator's text does not fit the column.
  bool NewValueSql(int c, const QVariant& value, int role, std::string* sql);
  void ReloadRow(int r);

  bool Ready() const { return !ready_ || ready_(); }

  TMySQLConnection& conn_;
  std::function<bool()> ready_;
  Operator& op_;
  std::vector<Row> rows_;
};

}  // namespace liron

// The calibration editor's data: the points of table kalibr of one signal, ordered by AVal.
// Every change is written at once: an edited point by an UPDATE of that one row (the table has
// no key, so the row is found by its signal and its stored values), a deleted point by a DELETE
// of one row. A point added with "Добавить" stays pending until both values are typed, then
// it is inserted for the chosen signal. After each write the table is read back; a change the
// server refuses is shown to the operator and the grid returns to the stored points. A point is
// two numbers: a stored value cannot be emptied, and half a point is never written.
#pragma once

#include <QAbstractTableModel>
#include <functional>
#include <string>
#include <vector>

#include "db/mysql_connection.h"
#include "platform/operator.h"

namespace liron {

class CalibrationModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum Column { kAVal = 0, kFVal, kColumnCount };

  CalibrationModel(TMySQLConnection& conn, Operator& op, QObject* parent = nullptr);
  // Asked before every use of the connection (it makes sure the connection is open and
  // says why when it is not).
  void SetReadyCheck(std::function<bool()> ready) { ready_ = std::move(ready); }

  // Posts a pending point of the previous signal, then shows the points of this one.
  bool SetSignal(const std::string& signal_name, std::string* error = nullptr);
  const std::string& SignalName() const { return signal_; }
  bool Load(std::string* error = nullptr);

  // "Добавить": a pending empty point at the end (a pending point already there is posted
  // first; one that cannot be posted stays, and is the row given back). The new row's index.
  int AddRow();
  // "Удалить": the point of row r. False when the server refused (the operator was told).
  bool DeleteRow(int r);
  // Posts the pending point when both its values are typed; an untouched pending row is
  // dropped. False, with the operator told, when one value is missing (the point stays
  // pending) or the server refused.
  bool PostPending();
  bool HasPending() const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

 private:
  struct Point {
    TSqlValue AVal, FVal;
    bool Pending = false;
  };
  bool Write(const std::string& sql);  // executes, reports a refusal, reads the table back
  std::string RowCondition(const Point& p) const;

  bool Ready() const { return !ready_ || ready_(); }

  TMySQLConnection& conn_;
  std::function<bool()> ready_;
  Operator& op_;
  std::string signal_;
  std::vector<Point> points_;
};

}  // namespace liron

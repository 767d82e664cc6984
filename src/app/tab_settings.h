// The "Настройки" tab: database server, user and password, the automatic clean, the two field
// lines with their speeds, the moving-average length and the two start-up switches. The tab
// only shows and collects; the rules live with SettingsForm (db/config_file.h).
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

#include "db/config_file.h"

namespace liron {

class TabSettings : public QWidget {
  Q_OBJECT
 public:
  explicit TabSettings(QWidget* parent = nullptr);

  SettingsForm Form() const;            // the controls as they stand
  void SetForm(const SettingsForm& f);  // the password control is set only when f has one

 private:
  QLineEdit* EditMySQL_server_name;
  QLineEdit* EditMySQL_login;
  QLineEdit* EditMySQL_password;
  QCheckBox* CheckBoxAutoClean;
  QLineEdit* EditDatabaseSize;
  QLineEdit* EditModBUS_PortName;
  QComboBox* ComboBoxModBUS_Speed;
  QLineEdit* EditV120_PortName;
  QComboBox* ComboBoxV120_Speed;
  QLineEdit* EditAvLen;
  QCheckBox* CheckBoxAutoStart;
  QCheckBox* CheckBoxAutoHide;
  QLabel* LabelSslMode;
};

}  // namespace liron

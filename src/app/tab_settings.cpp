#include "app/tab_settings.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/speed_list.h"

namespace liron {
namespace {

QLineEdit* Edit(const char* name, const char* text) {
  auto* e = new QLineEdit(QString::fromUtf8(text));
  e->setObjectName(QString::fromLatin1(name));
  return e;
}

QComboBox* SpeedBox(const char* name) {
  auto* c = new QComboBox;
  c->setObjectName(QString::fromLatin1(name));
  c->setEditable(true);  // a speed may be typed; ApplySettings checks it
  c->setInsertPolicy(QComboBox::NoInsert);
  c->addItems(OfferedSpeeds());
  c->setCurrentText(QString::fromLatin1(kDesignSpeed));
  return c;
}

QGroupBox* LineGroup(const QString& caption, QLineEdit* port, QComboBox* speed) {
  auto* g = new QGroupBox(caption);
  auto* f = new QFormLayout(g);
  f->addRow(QStringLiteral("Порт:"), port);
  f->addRow(QStringLiteral("Скорость обмена:"), speed);
  return g;
}

}  // namespace

TabSettings::TabSettings(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("TabSheetSettings"));
  const SettingsForm design;
  EditMySQL_server_name = Edit("EditMySQL_server_name", design.EditMySQL_server_name.c_str());
  EditMySQL_login = Edit("EditMySQL_login", "");
  EditMySQL_password = Edit("EditMySQL_password", "");
  EditMySQL_password->setEchoMode(QLineEdit::Password);
  EditMySQL_password->setStyleSheet(QStringLiteral("lineedit-password-character: 36;"));  // "$"
  CheckBoxAutoClean = new QCheckBox(QStringLiteral("Автоматически удалять данные"));
  CheckBoxAutoClean->setObjectName(QStringLiteral("CheckBoxAutoClean"));
  EditDatabaseSize = Edit("EditDatabaseSize", design.EditDatabaseSize.c_str());
  EditDatabaseSize->setMaximumWidth(60);
  EditModBUS_PortName = Edit("EditModBUS_PortName", design.EditModBUS_PortName.c_str());
  ComboBoxModBUS_Speed = SpeedBox("ComboBoxModBUS_Speed");
  EditV120_PortName = Edit("EditV120_PortName", design.EditV120_PortName.c_str());
  ComboBoxV120_Speed = SpeedBox("ComboBoxV120_Speed");
  EditAvLen = Edit("EditAvLen", design.EditAvLen.c_str());
  EditAvLen->setMaximumWidth(60);
  CheckBoxAutoStart = new QCheckBox(QStringLiteral("Автозапуск контроля аппаратуры"));
  CheckBoxAutoStart->setObjectName(QStringLiteral("CheckBoxAutoStart"));
  CheckBoxAutoHide = new QCheckBox(QStringLiteral("Запуск в скрытом окне"));
  CheckBoxAutoHide->setObjectName(QStringLiteral("CheckBoxAutoHide"));

  auto* mysql = new QGroupBox(QStringLiteral("MySQL:"));
  auto* mf = new QFormLayout;
  mf->addRow(QStringLiteral("Адрес сервера:"), EditMySQL_server_name);
  mf->addRow(QStringLiteral("Имя пользователя:"), EditMySQL_login);
  mf->addRow(QStringLiteral("Пароль:"), EditMySQL_password);
  auto* clean = new QHBoxLayout;
  clean->addWidget(CheckBoxAutoClean);
  clean->addWidget(new QLabel(QStringLiteral("которым более")));
  clean->addWidget(EditDatabaseSize);
  clean->addWidget(new QLabel(QStringLiteral("суток")));
  clean->addStretch();
  LabelSslMode = new QLabel;
  LabelSslMode->setObjectName(QStringLiteral("LabelSslMode"));
  auto* ml = new QVBoxLayout(mysql);
  ml->addLayout(mf);
  ml->addWidget(LabelSslMode);
  ml->addLayout(clean);

  auto* lines = new QHBoxLayout;
  lines->addWidget(LineGroup(QStringLiteral("Связь с контроллерами JUMO:"), EditModBUS_PortName,
                             ComboBoxModBUS_Speed));
  lines->addWidget(
      LineGroup(QStringLiteral("Связь с модулем V-120:"), EditV120_PortName, ComboBoxV120_Speed));

  auto* avg = new QHBoxLayout;
  avg->addWidget(new QLabel(QStringLiteral("Длина скользящего среднего:")));
  avg->addWidget(EditAvLen);
  avg->addStretch();

  auto* lay = new QVBoxLayout(this);
  lay->addWidget(mysql);
  lay->addLayout(lines);
  lay->addLayout(avg);
  lay->addWidget(CheckBoxAutoStart);
  lay->addWidget(CheckBoxAutoHide);
  lay->addStretch();
}

SettingsForm TabSettings::Form() const {
  SettingsForm f;
  f.EditMySQL_server_name = EditMySQL_server_name->text().toStdString();
  f.EditMySQL_login = EditMySQL_login->text().toStdString();
  f.EditMySQL_password = EditMySQL_password->text().toStdString();
  f.CheckBoxAutoClean = CheckBoxAutoClean->isChecked();
  f.EditDatabaseSize = EditDatabaseSize->text().toStdString();
  f.EditModBUS_PortName = EditModBUS_PortName->text().toStdString();
  f.ComboBoxModBUS_Speed = ComboBoxModBUS_Speed->currentText().toStdString();
  f.EditV120_PortName = EditV120_PortName->text().toStdString();
  f.ComboBoxV120_Speed = ComboBoxV120_Speed->currentText().toStdString();
  f.EditAvLen = EditAvLen->text().toStdString();
  f.CheckBoxAutoStart = CheckBoxAutoStart->isChecked();
  f.CheckBoxAutoHide = CheckBoxAutoHide->isChecked();
  f.LabelSslMode = LabelSslMode->text().toStdString();
  return f;
}

void TabSettings::SetForm(const SettingsForm& f) {
  EditMySQL_server_name->setText(QString::fromStdString(f.EditMySQL_server_name));
  EditMySQL_login->setText(QString::fromStdString(f.EditMySQL_login));
  if (!f.EditMySQL_password.empty())
    EditMySQL_password->setText(QString::fromStdString(f.EditMySQL_password));
  CheckBoxAutoClean->setChecked(f.CheckBoxAutoClean);
  EditDatabaseSize->setText(QString::fromStdString(f.EditDatabaseSize));
  EditModBUS_PortName->setText(QString::fromStdString(f.EditModBUS_PortName));
  ComboBoxModBUS_Speed->setCurrentText(QString::fromStdString(f.ComboBoxModBUS_Speed));
  EditV120_PortName->setText(QString::fromStdString(f.EditV120_PortName));
  ComboBoxV120_Speed->setCurrentText(QString::fromStdString(f.ComboBoxV120_Speed));
  EditAvLen->setText(QString::fromStdString(f.EditAvLen));
  CheckBoxAutoStart->setChecked(f.CheckBoxAutoStart);
  CheckBoxAutoHide->setChecked(f.CheckBoxAutoHide);
  LabelSslMode->setText(QString::fromStdString(f.LabelSslMode));
}

}  // namespace liron

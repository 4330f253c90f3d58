// The tab "SNMP": how the routers are asked (SNMP version, GETBULK and its
// repetitions, the neighbour table) and the SNMPv3 user. Only the controls
// that apply to the chosen version, GETBULK and protocols are enabled; the
// others keep their values, greyed. Its fields are checked with every rule
// the command line applies.
#pragma once

#include "pages/console_page.h"

class QCheckBox;
class QComboBox;
class QGroupBox;

namespace vexa::console {

class SnmpPage final : public ConsolePage {
  Q_OBJECT

 public:
  explicit SnmpPage(QTabWidget* tabs);

  QString Title() const override { return QStringLiteral("SNMP"); }
  QList<FieldBinding> Fields() const override;
  QList<QWidget*> TabOrder() const override;
  void Load() override { EnableControls(); }

 private:
  void EnableControls();

  QLabel* parallel_walks_label_ = nullptr;
  QLineEdit* parallel_walks_edit_ = nullptr;
  QGroupBox* requests_group_box_ = nullptr;
  QLabel* version_label_ = nullptr;
  QComboBox* version_combo_box_ = nullptr;
  QCheckBox* bulk_check_box_ = nullptr;
  QLabel* repetitions_label_ = nullptr;
  QLineEdit* repetitions_edit_ = nullptr;
  QLabel* table_label_ = nullptr;
  QComboBox* table_combo_box_ = nullptr;
  QGroupBox* user_group_box_ = nullptr;
  QLabel* user_label_ = nullptr;
  QLineEdit* user_edit_ = nullptr;
  QLabel* auth_protocol_label_ = nullptr;
  QComboBox* auth_protocol_combo_box_ = nullptr;
  QLabel* auth_password_label_ = nullptr;
  QLineEdit* auth_password_edit_ = nullptr;
  QLabel* priv_protocol_label_ = nullptr;
  QComboBox* priv_protocol_combo_box_ = nullptr;
  QLabel* priv_password_label_ = nullptr;
  QLineEdit* priv_password_edit_ = nullptr;
  QLabel* context_label_ = nullptr;
  QLineEdit* context_edit_ = nullptr;
};

}  // namespace vexa::console

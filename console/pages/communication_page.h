// The tab "Communication": the routers to walk and how to ask them (community,
// time-out, retries), the check interval, and whether only dynamically learnt
// addresses are kept. The check interval never stays below its minimum.
#pragma once

#include "pages/console_page.h"

class QCheckBox;
class QGroupBox;

namespace vexa::console {

class RouterListEdit;

class CommunicationPage final : public ConsolePage {
  Q_OBJECT

 public:
  explicit CommunicationPage(QTabWidget* tabs);

  QString Title() const override { return QStringLiteral("Communication"); }
  QList<FieldBinding> Fields() const override;
  QList<QWidget*> TabOrder() const override;
  // A check interval typed but never left (a click on the tab strip or a
  // button does not take the focus) still gets its minimum before it is saved.
  void Save() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ApplyCheckIntervalMinimum();

  QGroupBox* routers_group_box_ = nullptr;
  QLabel* router_list_label_ = nullptr;
  RouterListEdit* router_list_edit_ = nullptr;
  QLabel* community_label_ = nullptr;
  QLineEdit* community_edit_ = nullptr;
  QLabel* timeout_label_ = nullptr;
  QLineEdit* timeout_edit_ = nullptr;
  QLabel* timeout_unit_label_ = nullptr;
  QLabel* retries_label_ = nullptr;
  QLineEdit* retries_edit_ = nullptr;
  QLabel* retries_unit_label_ = nullptr;
  QLabel* check_interval_label_ = nullptr;
  QLineEdit* check_interval_edit_ = nullptr;
  QLabel* check_interval_unit_label_ = nullptr;
  QCheckBox* save_only_dynamic_check_box_ = nullptr;
};

}  // namespace vexa::console

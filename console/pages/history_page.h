// The tab "History": how long the address history keeps pairings and
// changes (HistoryDays, 0 for no history), after how long unseen a pairing
// counts as new activity (QuietDays), and the program run with each poll's
// changes (EventCommand, an absolute path or empty). Its fields are checked
// with every rule the command line applies.
#pragma once

#include "pages/console_page.h"

class QGroupBox;

namespace vexa::console {

class HistoryPage final : public ConsolePage {
  Q_OBJECT

 public:
  explicit HistoryPage(QTabWidget* tabs);

  QString Title() const override { return QStringLiteral("History"); }
  QList<FieldBinding> Fields() const override;
  QList<QWidget*> TabOrder() const override;

 private:
  QGroupBox* history_group_box_ = nullptr;
  QLabel* history_days_label_ = nullptr;
  QLineEdit* history_days_edit_ = nullptr;
  QLabel* quiet_days_label_ = nullptr;
  QLineEdit* quiet_days_edit_ = nullptr;
  QLabel* event_command_label_ = nullptr;
  QLineEdit* event_command_edit_ = nullptr;
};

}  // namespace vexa::console

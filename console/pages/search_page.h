// The tab "Search": one field that takes what `vexa-arp find` takes (an
// address or prefix, a MAC address or its beginning, part of a host name,
// vendor:TEXT), and the pairings found in ArpTable and the history in a
// table that sorts by any column. The search is the command line's own.
#pragma once

#include "pages/console_page.h"

class QCheckBox;
class QPushButton;
class QTableWidget;

namespace vexa::console {

class SearchPage final : public ConsolePage {
  Q_OBJECT

 public:
  // `program_folder`: the folder whose database is searched.
  SearchPage(QTabWidget* tabs, QString program_folder);

  QString Title() const override { return QStringLiteral("Search"); }
  QList<QWidget*> TabOrder() const override;
  // The field takes what is typed at once.
  void Selected() override;

 private:
  void Search();
  void ShowStatus(const QString& text);

  QString program_folder_;
  QString vendor_warning_;  // what the loading of the vendor registries told
  QLabel* query_label_ = nullptr;
  QLineEdit* query_edit_ = nullptr;
  QPushButton* search_button_ = nullptr;
  QCheckBox* current_only_check_box_ = nullptr;
  QTableWidget* results_table_widget_ = nullptr;
  QLabel* status_label_ = nullptr;
};

}  // namespace vexa::console

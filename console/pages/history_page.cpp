#include "pages/history_page.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include "design_layout.h"

namespace vexa::console {

HistoryPage::HistoryPage(QTabWidget* tabs) : ConsolePage(tabs) {
  setObjectName(QStringLiteral("historyPage"));
  history_group_box_ = Named(new QGroupBox(QStringLiteral("Address History")), "historyGroupBox");
  Design()->Place(history_group_box_, {480, 720, 3735, 1560});
  auto* history = new DesignLayout(history_group_box_);
  // One row of the frame: the label, and the box beside it.
  const auto row = [&](QLabel*& label, const char* label_name, const QString& caption,
                       QLineEdit*& edit, const char* edit_name, int top) {
    label = NamedLabel(label_name, caption);
    history->Place(label, {240, top + 45, 1095, 255}, Fit::kWholeText);
    edit = Named(new QLineEdit, edit_name);
    history->Place(edit, {1440, top, 2055, 285}, Fit::kHeight);
  };
  row(history_days_label_, "historyDaysLabel", QStringLiteral("Days kept:"), history_days_edit_,
      "historyDaysEdit", 360);
  history_days_edit_->setToolTip(
      QStringLiteral("Pairings last seen, and changes found, longer ago are deleted once a "
                     "day.\n0 keeps no history and reports no changes."));
  row(quiet_days_label_, "quietDaysLabel", QStringLiteral("Quiet days:"), quiet_days_edit_,
      "quietDaysEdit", 720);
  quiet_days_edit_->setToolTip(
      QStringLiteral("A pairing unseen for longer is reported as new activity when it returns."));
  row(event_command_label_, "eventCommandLabel", QStringLiteral("On changes run:"),
      event_command_edit_, "eventCommandEdit", 1080);
  event_command_edit_->setToolTip(
      QStringLiteral("The absolute path of a program run once per poll with changes, the "
                     "changes as JSON lines on its standard input; empty for none."));
  SelectTextOnFocus({history_days_edit_, quiet_days_edit_, event_command_edit_});
}

QList<FieldBinding> HistoryPage::Fields() const {
  return {
      {"HistoryDays", history_days_edit_, true},
      {"QuietDays", quiet_days_edit_, true},
      {"EventCommand", event_command_edit_, true},
  };
}

QList<QWidget*> HistoryPage::TabOrder() const {
  return {history_days_edit_, quiet_days_edit_, event_command_edit_};
}

}  // namespace vexa::console

#include "pages/communication_page.h"

#include <QCheckBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include "design_layout.h"
#include "router_list_edit.h"
#include "settings/settings_rules.h"

namespace vexa::console {

CommunicationPage::CommunicationPage(QTabWidget* tabs) : ConsolePage(tabs) {
  setObjectName(QStringLiteral("communicationPage"));
  routers_group_box_ = Named(new QGroupBox(QStringLiteral("ARP Routers")), "routersGroupBox");
  Design()->Place(routers_group_box_, {480, 840, 3735, 3735});

  auto* frame = new DesignLayout(routers_group_box_);
  router_list_label_ = NamedLabel("routerListLabel", QStringLiteral("IP Addresses:"));
  frame->Place(router_list_label_, {240, 405, 975, 255}, Fit::kWholeText);
  router_list_edit_ = Named(new RouterListEdit, "routerListEdit");
  frame->Place(router_list_edit_, {1440, 360, 2055, 1245});
  community_label_ = NamedLabel("communityLabel", QStringLiteral("Get Community:"));
  frame->Place(community_label_, {240, 1725, 1215, 255}, Fit::kWholeText);
  community_edit_ = Named(new QLineEdit, "communityEdit");
  frame->Place(community_edit_, {1440, 1680, 2055, 285}, Fit::kHeight);
  timeout_label_ = NamedLabel("timeoutLabel", QStringLiteral("TimeOut:"));
  frame->Place(timeout_label_, {240, 2100, 735, 255}, Fit::kWholeText);
  timeout_edit_ = Named(new QLineEdit, "timeoutEdit");
  frame->Place(timeout_edit_, {1440, 2040, 1575, 285}, Fit::kHeight);
  timeout_unit_label_ = NamedLabel("timeoutUnitLabel", QStringLiteral("secs"));
  frame->Place(timeout_unit_label_, {3120, 2100, 375, 255}, Fit::kWholeText);
  retries_label_ = NamedLabel("retriesLabel", QStringLiteral("Retries:"));
  frame->Place(retries_label_, {240, 2460, 855, 255}, Fit::kWholeText);
  retries_edit_ = Named(new QLineEdit, "retriesEdit");
  frame->Place(retries_edit_, {1440, 2400, 1575, 285}, Fit::kHeight);
  retries_unit_label_ = NamedLabel("retriesUnitLabel", QStringLiteral("secs"));
  frame->Place(retries_unit_label_, {3120, 2460, 495, 255}, Fit::kWholeText);
  check_interval_label_ = NamedLabel("checkIntervalLabel", QStringLiteral("Check Interval:"));
  frame->Place(check_interval_label_, {240, 2820, 1095, 255}, Fit::kWholeText);
  check_interval_edit_ = Named(new QLineEdit, "checkIntervalEdit");
  frame->Place(check_interval_edit_, {1440, 2760, 1575, 285}, Fit::kHeight);
  check_interval_unit_label_ = NamedLabel("checkIntervalUnitLabel", QStringLiteral("secs"));
  frame->Place(check_interval_unit_label_, {3120, 2820, 495, 255}, Fit::kWholeText);
  save_only_dynamic_check_box_ =
      Named(new QCheckBox(QStringLiteral("Save only Dynamic Learned Addresses")),
            "saveOnlyDynamicCheckBox");
  frame->Place(save_only_dynamic_check_box_, {240, 3240, 3255, 255}, Fit::kWholeText);

  // The router list keeps the caret where the operator puts it.
  SelectTextOnFocus({check_interval_edit_, community_edit_, retries_edit_, timeout_edit_});
}

QList<FieldBinding> CommunicationPage::Fields() const {
  return {
      {"RouterList", router_list_edit_},
      {"GetComm", community_edit_},
      {"TimeOut", timeout_edit_},
      {"Retries", retries_edit_},
      {"CheckInterval", check_interval_edit_},
      {"SaveOnlyDynamic", save_only_dynamic_check_box_},
  };
}

QList<QWidget*> CommunicationPage::TabOrder() const {
  return {router_list_edit_, community_edit_,      timeout_edit_,
          retries_edit_,     check_interval_edit_, save_only_dynamic_check_box_};
}

void CommunicationPage::Save() {
  if (check_interval_edit_->isModified()) ApplyCheckIntervalMinimum();
}

void CommunicationPage::ApplyCheckIntervalMinimum() {
  const std::string text = check_interval_edit_->text().toStdString();
  const std::string corrected = settings::ApplyCheckIntervalMinimum(text);
  if (corrected != text) check_interval_edit_->setText(QString::fromStdString(corrected));
}

bool CommunicationPage::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut && watched == check_interval_edit_) {
    // Switching to another program or opening a context menu is not leaving
    // the box.
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
      ApplyCheckIntervalMinimum();
  }
  return ConsolePage::eventFilter(watched, event);
}

}  // namespace vexa::console

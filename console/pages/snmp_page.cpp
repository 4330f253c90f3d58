#include "pages/snmp_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include "design_layout.h"
#include "settings/collector_settings.h"

namespace vexa::console {

namespace {

// A list whose entries carry the value stored for them.
QComboBox* Choices(const char* name, const QList<std::pair<QString, QString>>& entries) {
  auto* box = Named(new QComboBox, name);
  for (const auto& [caption, stored] : entries) box->addItem(caption, stored);
  return box;
}

template <size_t N>
QList<std::pair<QString, QString>> ProtocolEntries(const char* const (&names)[N]) {
  QList<std::pair<QString, QString>> entries;
  for (const char* name : names)
    entries.append({QString::fromLatin1(name), QString::fromLatin1(name)});
  return entries;
}

QLineEdit* PasswordBox(const char* name) {
  auto* box = Named(new QLineEdit, name);
  box->setEchoMode(QLineEdit::Password);
  return box;
}

}  // namespace

SnmpPage::SnmpPage(QTabWidget* tabs) : ConsolePage(tabs) {
  setObjectName(QStringLiteral("snmpPage"));
  // Above the frames, so that they keep their places.
  parallel_walks_label_ =
      NamedLabel("parallelWalksLabel", QStringLiteral("Routers walked at once:"));
  Design()->Place(parallel_walks_label_, {480, 375, 2415, 255}, Fit::kWholeText);
  parallel_walks_edit_ = Named(new QLineEdit, "parallelWalksEdit");
  parallel_walks_edit_->setToolTip(
      QStringLiteral("1 to 25. More than one walks that many routers side by side; ArpTable "
                     "comes out the same."));
  Design()->Place(parallel_walks_edit_, {3240, 315, 975, 285}, Fit::kHeight);
  requests_group_box_ = Named(new QGroupBox(QStringLiteral("SNMP Requests")), "requestsGroupBox");
  Design()->Place(requests_group_box_, {480, 720, 3735, 1560});
  auto* requests = new DesignLayout(requests_group_box_);
  version_label_ = NamedLabel("versionLabel", QStringLiteral("Version:"));
  requests->Place(version_label_, {240, 405, 1095, 255}, Fit::kWholeText);
  version_combo_box_ =
      Choices("versionComboBox", {{QStringLiteral("SNMPv1"), QStringLiteral("1")},
                                  {QStringLiteral("SNMPv2c"), QStringLiteral("2")},
                                  {QStringLiteral("SNMPv3"), QStringLiteral("3")}});
  requests->Place(version_combo_box_, {1440, 345, 2055, 315}, Fit::kHeight);
  bulk_check_box_ = Named(new QCheckBox(QStringLiteral("GETBULK")), "bulkCheckBox");
  requests->Place(bulk_check_box_, {240, 765, 1215, 255}, Fit::kWholeText);
  repetitions_label_ = NamedLabel("repetitionsLabel", QStringLiteral("Repetitions:"));
  requests->Place(repetitions_label_, {1440, 765, 975, 255}, Fit::kWholeText);
  repetitions_edit_ = Named(new QLineEdit, "repetitionsEdit");
  requests->Place(repetitions_edit_, {2520, 720, 975, 285}, Fit::kHeight);
  table_label_ = NamedLabel("tableLabel", QStringLiteral("ARP Table:"));
  requests->Place(table_label_, {240, 1125, 1095, 255}, Fit::kWholeText);
  table_combo_box_ =
      Choices("tableComboBox", {{QStringLiteral("ipNetToMediaTable"), QStringLiteral("0")},
                                {QStringLiteral("ipNetToPhysicalTable"), QStringLiteral("1")}});
  table_combo_box_->setToolTip(
      QStringLiteral("ipNetToMediaTable: IPv4 addresses.\nipNetToPhysicalTable: IPv4 and IPv6 "
                     "addresses; ipNetToMediaTable where a router has no such table."));
  requests->Place(table_combo_box_, {1440, 1065, 2055, 315}, Fit::kHeight);

  user_group_box_ = Named(new QGroupBox(QStringLiteral("SNMPv3 User")), "userGroupBox");
  Design()->Place(user_group_box_, {480, 2400, 3735, 2640});
  auto* user = new DesignLayout(user_group_box_);
  // One row of the frame: the label, and the control beside it.
  const auto row = [&](QLabel*& label, const char* label_name, const QString& caption,
                       QWidget* control, int top) {
    label = NamedLabel(label_name, caption);
    user->Place(label, {240, top + 45, 1095, 255}, Fit::kWholeText);
    const bool list = qobject_cast<QComboBox*>(control) != nullptr;
    user->Place(control, {1440, list ? top - 15 : top, 2055, list ? 315 : 285}, Fit::kHeight);
  };
  user_edit_ = Named(new QLineEdit, "userEdit");
  row(user_label_, "userLabel", QStringLiteral("User:"), user_edit_, 360);
  auth_protocol_combo_box_ = Choices("authProtocolComboBox", ProtocolEntries(kAuthProtocolNames));
  row(auth_protocol_label_, "authProtocolLabel", QStringLiteral("Authentication:"),
      auth_protocol_combo_box_, 720);
  auth_password_edit_ = PasswordBox("authPasswordEdit");
  row(auth_password_label_, "authPasswordLabel", QStringLiteral("Password:"), auth_password_edit_,
      1080);
  priv_protocol_combo_box_ = Choices("privProtocolComboBox", ProtocolEntries(kPrivProtocolNames));
  row(priv_protocol_label_, "privProtocolLabel", QStringLiteral("Privacy:"),
      priv_protocol_combo_box_, 1440);
  priv_password_edit_ = PasswordBox("privPasswordEdit");
  row(priv_password_label_, "privPasswordLabel", QStringLiteral("Password:"), priv_password_edit_,
      1800);
  context_edit_ = Named(new QLineEdit, "contextEdit");
  row(context_label_, "contextLabel", QStringLiteral("Context:"), context_edit_, 2160);

  for (QComboBox* list : {version_combo_box_, auth_protocol_combo_box_, priv_protocol_combo_box_})
    connect(list, &QComboBox::currentIndexChanged, this, &SnmpPage::EnableControls);
  connect(bulk_check_box_, &QCheckBox::toggled, this, &SnmpPage::EnableControls);
  SelectTextOnFocus({parallel_walks_edit_, repetitions_edit_, user_edit_, auth_password_edit_,
                     priv_password_edit_, context_edit_});
}

QList<FieldBinding> SnmpPage::Fields() const {
  return {
      {"ParallelWalks", parallel_walks_edit_, true},
      {"SnmpVersion", version_combo_box_, true},
      {"UseBulk", bulk_check_box_, true},
      {"MaxRepetitions", repetitions_edit_, true},
      {"NeighbourTable", table_combo_box_, true},
      {"V3User", user_edit_, true},
      {"V3AuthProtocol", auth_protocol_combo_box_, true},
      {"V3AuthPassword", auth_password_edit_, true},
      {"V3PrivProtocol", priv_protocol_combo_box_, true},
      {"V3PrivPassword", priv_password_edit_, true},
      {"V3Context", context_edit_, true},
  };
}

QList<QWidget*> SnmpPage::TabOrder() const {
  return {parallel_walks_edit_,     version_combo_box_,  bulk_check_box_,
          repetitions_edit_,        table_combo_box_,    user_edit_,
          auth_protocol_combo_box_, auth_password_edit_, priv_protocol_combo_box_,
          priv_password_edit_,      context_edit_};
}

void SnmpPage::EnableControls() {
  // A value stored by another program that the list does not hold is shown
  // as an entry of its own: it counts as what it says.
  const auto chosen = [](const QComboBox* list) {
    return list->currentData().toString().trimmed();
  };
  const QString version = chosen(version_combo_box_);
  const bool v3 = version == QLatin1String("3");
  const bool bulk = version != QLatin1String("1");  // SNMPv1 has no GETBULK
  const auto none = [&](const QComboBox* list) {
    return chosen(list).compare(QLatin1String("none"), Qt::CaseInsensitive) == 0;
  };
  const auto enable = [](std::initializer_list<QWidget*> controls, bool on) {
    for (QWidget* control : controls) control->setEnabled(on);
  };
  enable({bulk_check_box_}, bulk);
  enable({repetitions_label_, repetitions_edit_}, bulk && bulk_check_box_->isChecked());
  enable({user_group_box_}, v3);
  // Privacy stays selectable without authentication, so that a choice the
  // rules refuse can be undone.
  enable({auth_password_label_, auth_password_edit_}, v3 && !none(auth_protocol_combo_box_));
  enable({priv_password_label_, priv_password_edit_}, v3 && !none(priv_protocol_combo_box_));
}

}  // namespace vexa::console

// The controls of frmMain: captions, positions (in twips, see DesignLayout)
// and the tab order.
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <algorithm>

#include "design_layout.h"
#include "main_form.h"
#include "router_list_edit.h"
#include "service_texts.h"
#include "settings/collector_settings.h"
#include "settings/settings_rules.h"

namespace vexa::console {

namespace {

constexpr int kClientWidth = 5190;
constexpr int kClientHeight = 5895;
constexpr int kProgressSteps = 6;

template <typename W>
W* Named(W* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QLabel* Label(const char* name, const QString& caption) {
  return Named(new QLabel(caption), name);
}

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

void MainForm::BuildControls() {
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(QStringLiteral("  Vexa ARP Reader"));
  // The window was drawn for an 8-point system font; its captions are sized
  // for it.
  QFont small = font();
  small.setPointSize(8);
  setFont(small);

  auto* form = new DesignLayout(this);
  form->SetCanvas(kClientWidth, kClientHeight);
  form->setSizeConstraint(QLayout::SetFixedSize);

  tab1_ = Named(new QTabWidget, "tab1");
  form->Place(tab1_, {240, 240, 4695, 5415});
  auto* communication = Named(new QWidget, "tabCommunication");
  auto* service = Named(new QWidget, "tabServiceControl");
  tab1_->addTab(communication, QStringLiteral("Communication"));
  auto* snmp = Named(new QWidget, "tabSnmp");
  tab1_->addTab(service, QStringLiteral("Service Control"));
  tab1_->addTab(snmp, QStringLiteral("SNMP"));
  BuildCommunicationTab(communication);
  BuildServiceTab(service);
  BuildSnmpTab(snmp);
  SetTabOrder();
  FitDesignToFont();
}

void MainForm::FitDesignToFont() {
  // The status label must hold its longest text as well.
  lblInfo_->setText(texts::kStatusUnknown);
  const QList<DesignLayout*> layouts = findChildren<DesignLayout*>();
  double scale = 1.0;
  for (const DesignLayout* layout : layouts) scale = std::max(scale, layout->ScaleNeeded());
  for (DesignLayout* layout : layouts) layout->SetScale(scale);
  lblInfo_->setText(QStringLiteral("Info"));
}

void MainForm::BuildCommunicationTab(QWidget* page) {
  auto* layout = new DesignLayout(page, tab1_);
  fraARP_ = Named(new QGroupBox(QStringLiteral("ARP Routers")), "fraARP");
  layout->Place(fraARP_, {480, 840, 3735, 3735});

  auto* frame = new DesignLayout(fraARP_);
  lblRouterList_ = Label("lblRouterList", QStringLiteral("IP Addresses:"));
  frame->Place(lblRouterList_, {240, 405, 975, 255}, Fit::kWholeText);
  txtRouterList_ = Named(new RouterListEdit, "txtRouterList");
  frame->Place(txtRouterList_, {1440, 360, 2055, 1245});
  lblGetComm_ = Label("lblGetComm", QStringLiteral("Get Community:"));
  frame->Place(lblGetComm_, {240, 1725, 1215, 255}, Fit::kWholeText);
  txtGetComm_ = Named(new QLineEdit, "txtGetComm");
  frame->Place(txtGetComm_, {1440, 1680, 2055, 285}, Fit::kHeight);
  lblTimeOut_ = Label("lblTimeOut", QStringLiteral("TimeOut:"));
  frame->Place(lblTimeOut_, {240, 2100, 735, 255}, Fit::kWholeText);
  txtTimeOut_ = Named(new QLineEdit, "txtTimeOut");
  frame->Place(txtTimeOut_, {1440, 2040, 1575, 285}, Fit::kHeight);
  lblSec2_ = Label("lblSec2", QStringLiteral("secs"));
  frame->Place(lblSec2_, {3120, 2100, 375, 255}, Fit::kWholeText);
  lblRetries_ = Label("lblRetries", QStringLiteral("Retries:"));
  frame->Place(lblRetries_, {240, 2460, 855, 255}, Fit::kWholeText);
  txtRetries_ = Named(new QLineEdit, "txtRetries");
  frame->Place(txtRetries_, {1440, 2400, 1575, 285}, Fit::kHeight);
  lblSec3_ = Label("lblSec3", QStringLiteral("secs"));
  frame->Place(lblSec3_, {3120, 2460, 495, 255}, Fit::kWholeText);
  lblCheckInterval_ = Label("lblCheckInterval", QStringLiteral("Check Interval:"));
  frame->Place(lblCheckInterval_, {240, 2820, 1095, 255}, Fit::kWholeText);
  txtCheckInterval_ = Named(new QLineEdit, "txtCheckInterval");
  frame->Place(txtCheckInterval_, {1440, 2760, 1575, 285}, Fit::kHeight);
  lblSec1_ = Label("lblSec1", QStringLiteral("secs"));
  frame->Place(lblSec1_, {3120, 2820, 495, 255}, Fit::kWholeText);
  chkSaveDynamic_ =
      Named(new QCheckBox(QStringLiteral("Save only Dynamic Learned Addresses")), "chkSaveDynamic");
  frame->Place(chkSaveDynamic_, {240, 3240, 3255, 255}, Fit::kWholeText);
}

void MainForm::BuildServiceTab(QWidget* page) {
  auto* layout = new DesignLayout(page, tab1_);
  // The design-time caption; the status check replaces it with one of the two
  // captions the click handler acts on.
  cmdInstall_ = Named(new QPushButton(QStringLiteral("&Install Service")), "cmdInstall");
  layout->Place(cmdInstall_, {480, 840, 1695, 495}, Fit::kWholeText);
  cmdStart_ = Named(new QPushButton(QStringLiteral("Start Service")), "cmdStart");
  layout->Place(cmdStart_, {2520, 840, 1695, 495}, Fit::kWholeText);
  lblInfo_ = Label("lblInfo", QStringLiteral("Info"));
  layout->Place(lblInfo_, {480, 1440, 3975, 255}, Fit::kWholeText);
  pgbInfo_ = Named(new QProgressBar, "pgbInfo");
  pgbInfo_->setRange(0, kProgressSteps);
  pgbInfo_->setValue(0);
  pgbInfo_->setTextVisible(false);
  layout->Place(pgbInfo_, {480, 1800, 3735, 375});

  fraJob_ = Named(new QGroupBox(QStringLiteral("Job Ending")), "fraJob");
  layout->Place(fraJob_, {480, 2640, 3735, 1335});
  auto* frame = new DesignLayout(fraJob_);
  lblStopTime_ = Label("lblStopTime", QStringLiteral("Stop Time:"));
  frame->Place(lblStopTime_, {240, 400, 855, 255}, Fit::kWholeText);
  dtpStopDate_ = Named(new QDateEdit, "dtpStopDate");
  dtpStopDate_->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
  dtpStopDate_->setCalendarPopup(true);
  frame->Place(dtpStopDate_, {1200, 340, 1215, 315}, Fit::kWholeText);
  cboStopHour_ = Named(new QComboBox, "cboStopHour");
  for (const std::string& hour : settings::StopHourEntries())
    cboStopHour_->addItem(QString::fromStdString(hour));
  cboStopHour_->setCurrentIndex(-1);
  frame->Place(cboStopHour_, {2640, 340, 795, 315}, Fit::kWholeText);
  // Shows the composed stop time that goes to the database; the operator
  // edits the date and the hour instead. Its lower edge reaches into the row
  // of the date picker and the hour list, which stay on top of it.
  txtStopTime_ = Named(new QLineEdit, "txtStopTime");
  txtStopTime_->setReadOnly(true);
  txtStopTime_->setFocusPolicy(Qt::NoFocus);
  frame->Place(txtStopTime_, {1560, 120, 1695, 285}, Fit::kHeight);
  txtStopTime_->stackUnder(dtpStopDate_);
  chkDnsCheck_ =
      Named(new QCheckBox(QStringLiteral("Resolve DNS and Export to ArpList.txt")), "chkDnsCheck");
  frame->Place(chkDnsCheck_, {240, 840, 3255, 255}, Fit::kWholeText);

  chkDebugMode_ = Named(new QCheckBox(QStringLiteral("Debug Mode")), "chkDebugMode");
  layout->Place(chkDebugMode_, {480, 4320, 1335, 255}, Fit::kWholeText);
  lblInfo2_ =
      Label("lblInfo2", QStringLiteral("Note: Any changes requires a restart of the Service."));
  layout->Place(lblInfo2_, {480, 4920, 3735, 255}, Fit::kWholeText);
}

void MainForm::BuildSnmpTab(QWidget* page) {
  auto* layout = new DesignLayout(page, tab1_);
  fraSnmp_ = Named(new QGroupBox(QStringLiteral("SNMP Requests")), "fraSnmp");
  layout->Place(fraSnmp_, {480, 720, 3735, 1560});
  auto* requests = new DesignLayout(fraSnmp_);
  lblSnmpVersion_ = Label("lblSnmpVersion", QStringLiteral("Version:"));
  requests->Place(lblSnmpVersion_, {240, 405, 1095, 255}, Fit::kWholeText);
  cboSnmpVersion_ = Choices("cboSnmpVersion", {{QStringLiteral("SNMPv1"), QStringLiteral("1")},
                                               {QStringLiteral("SNMPv2c"), QStringLiteral("2")},
                                               {QStringLiteral("SNMPv3"), QStringLiteral("3")}});
  requests->Place(cboSnmpVersion_, {1440, 345, 2055, 315}, Fit::kHeight);
  chkUseBulk_ = Named(new QCheckBox(QStringLiteral("GETBULK")), "chkUseBulk");
  requests->Place(chkUseBulk_, {240, 765, 1215, 255}, Fit::kWholeText);
  lblMaxRepetitions_ = Label("lblMaxRepetitions", QStringLiteral("Repetitions:"));
  requests->Place(lblMaxRepetitions_, {1440, 765, 975, 255}, Fit::kWholeText);
  txtMaxRepetitions_ = Named(new QLineEdit, "txtMaxRepetitions");
  requests->Place(txtMaxRepetitions_, {2520, 720, 975, 285}, Fit::kHeight);
  lblNeighbourTable_ = Label("lblNeighbourTable", QStringLiteral("ARP Table:"));
  requests->Place(lblNeighbourTable_, {240, 1125, 1095, 255}, Fit::kWholeText);
  cboNeighbourTable_ =
      Choices("cboNeighbourTable", {{QStringLiteral("ipNetToMediaTable"), QStringLiteral("0")},
                                    {QStringLiteral("ipNetToPhysicalTable"), QStringLiteral("1")}});
  cboNeighbourTable_->setToolTip(
      QStringLiteral("ipNetToMediaTable: IPv4 addresses.\nipNetToPhysicalTable: IPv4 and IPv6 "
                     "addresses; ipNetToMediaTable where a router has no such table."));
  requests->Place(cboNeighbourTable_, {1440, 1065, 2055, 315}, Fit::kHeight);

  fraV3_ = Named(new QGroupBox(QStringLiteral("SNMPv3 User")), "fraV3");
  layout->Place(fraV3_, {480, 2400, 3735, 2640});
  auto* user = new DesignLayout(fraV3_);
  const auto row = [&](QLabel*& label, const char* label_name, const QString& caption,
                       QWidget* control, int top) {
    label = Label(label_name, caption);
    user->Place(label, {240, top + 45, 1095, 255}, Fit::kWholeText);
    const bool list = qobject_cast<QComboBox*>(control) != nullptr;
    user->Place(control, {1440, list ? top - 15 : top, 2055, list ? 315 : 285}, Fit::kHeight);
  };
  txtV3User_ = Named(new QLineEdit, "txtV3User");
  row(lblV3User_, "lblV3User", QStringLiteral("User:"), txtV3User_, 360);
  cboV3AuthProtocol_ = Choices("cboV3AuthProtocol", ProtocolEntries(kAuthProtocolNames));
  row(lblV3AuthProtocol_, "lblV3AuthProtocol", QStringLiteral("Authentication:"),
      cboV3AuthProtocol_, 720);
  txtV3AuthPassword_ = PasswordBox("txtV3AuthPassword");
  row(lblV3AuthPassword_, "lblV3AuthPassword", QStringLiteral("Password:"), txtV3AuthPassword_,
      1080);
  cboV3PrivProtocol_ = Choices("cboV3PrivProtocol", ProtocolEntries(kPrivProtocolNames));
  row(lblV3PrivProtocol_, "lblV3PrivProtocol", QStringLiteral("Privacy:"), cboV3PrivProtocol_,
      1440);
  txtV3PrivPassword_ = PasswordBox("txtV3PrivPassword");
  row(lblV3PrivPassword_, "lblV3PrivPassword", QStringLiteral("Password:"), txtV3PrivPassword_,
      1800);
  txtV3Context_ = Named(new QLineEdit, "txtV3Context");
  row(lblV3Context_, "lblV3Context", QStringLiteral("Context:"), txtV3Context_, 2160);
}

void MainForm::SetTabOrder() {
  const QList<QWidget*> order = {
      txtRouterList_,     txtGetComm_,  txtTimeOut_,        txtRetries_,        txtCheckInterval_,
      chkSaveDynamic_,    dtpStopDate_, chkDnsCheck_,       cboStopHour_,       chkDebugMode_,
      cmdInstall_,        cmdStart_,    cboSnmpVersion_,    chkUseBulk_,        txtMaxRepetitions_,
      cboNeighbourTable_, txtV3User_,   cboV3AuthProtocol_, txtV3AuthPassword_, cboV3PrivProtocol_,
      txtV3PrivPassword_, txtV3Context_};
  for (qsizetype i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

}  // namespace vexa::console

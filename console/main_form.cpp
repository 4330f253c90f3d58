// frmMain: start-up and shut-down of the window, the tab switching, and the
// editing of the settings record.
#include "main_form.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>

#include "message_box.h"
#include "router_list_edit.h"
#include "settings/settings_rules.h"
#include "settings_record.h"
#include "update_before_form_change.h"

namespace vexa::console {

namespace {
constexpr int kCommunicationTab = 0;
constexpr int kServiceControlTab = 1;
}  // namespace

MainForm::MainForm(MainFormOptions options, QWidget* parent)
    : QWidget(parent), options_(std::move(options)) {
  BuildControls();
  adcGeneral_ = std::make_unique<SettingsRecord>(BoundControls{
      .router_list = txtRouterList_,
      .get_comm = txtGetComm_,
      .time_out = txtTimeOut_,
      .retries = txtRetries_,
      .check_interval = txtCheckInterval_,
      .save_dynamic = chkSaveDynamic_,
      .dns_check = chkDnsCheck_,
      .debug_mode = chkDebugMode_,
      .stop_time = txtStopTime_,
      .snmp_version = cboSnmpVersion_,
      .use_bulk = chkUseBulk_,
      .max_repetitions = txtMaxRepetitions_,
      .neighbour_table = cboNeighbourTable_,
      .v3_user = txtV3User_,
      .v3_auth_protocol = cboV3AuthProtocol_,
      .v3_auth_password = txtV3AuthPassword_,
      .v3_priv_protocol = cboV3PrivProtocol_,
      .v3_priv_password = txtV3PrivPassword_,
      .v3_context = txtV3Context_,
  });
}

MainForm::~MainForm() = default;

bool MainForm::Form_Load() {
  const QString database =
      options_.program_folder + QLatin1Char('/') + QLatin1String(kDatabaseFileName);
  QString error;
  if (!adcGeneral_->Open(database, options_.busy_timeout_ms, error)) {
    ShowMessageBox(this, {error, QString::fromLatin1(kMessageBoxTitle), QMessageBox::Critical});
    return false;
  }
  tab1_->setCurrentIndex(kCommunicationTab);
  tab1_Click(kServiceControlTab);
  EnableSnmpControls();
  ConnectHandlers();
  loaded_ = true;
  return true;
}

void MainForm::ConnectHandlers() {
  connect(tab1_, &QTabWidget::currentChanged, this, [this] { tab1_Click(-1); });
  connect(cboStopHour_, &QComboBox::currentIndexChanged, this, [this] { cboStopHour_Click(); });
  connect(dtpStopDate_, &QDateEdit::dateChanged, this, [this] { dtpStopDate_Change(); });
  connect(cmdInstall_, &QPushButton::clicked, this, [this] { cmdInstall_Click(); });
  connect(cmdStart_, &QPushButton::clicked, this, [this] { cmdStart_Click(); });
  for (QComboBox* list : {cboSnmpVersion_, cboV3AuthProtocol_, cboV3PrivProtocol_})
    connect(list, &QComboBox::currentIndexChanged, this, [this] { EnableSnmpControls(); });
  connect(chkUseBulk_, &QCheckBox::toggled, this, [this] { EnableSnmpControls(); });
  for (QWidget* box : {txtCheckInterval_, txtGetComm_, txtRetries_, txtTimeOut_, txtMaxRepetitions_,
                       txtV3User_, txtV3AuthPassword_, txtV3PrivPassword_, txtV3Context_})
    box->installEventFilter(this);
}

// The window becomes active once, when it first appears: the date picker and
// the hour list then show the stored stop time. Filling them is no edit.
void MainForm::Form_Activate() {
  const settings::StopTimeParts parts = settings::SplitStopTime(txtStopTime_->text().toStdString());
  const QSignalBlocker block_date(dtpStopDate_);
  const QSignalBlocker block_hour(cboStopHour_);
  dtpStopDate_->setDate(parts.date ? QDate(parts.date->year, parts.date->month, parts.date->day)
                                   : QDate::currentDate());
  // The list holds the hours 00:00 to 23:00 in order.
  cboStopHour_->setCurrentIndex(parts.hour ? *parts.hour : -1);
}

void MainForm::Form_Unload() {
  SaveSettings(SaveReport::kShowFailure);
}

void MainForm::tab1_Click(int /*previous_tab*/) {
  SaveSettings(SaveReport::kShowFailure);
  if (tab1_->currentIndex() == kServiceControlTab) {
    pgbInfo_->setValue(0);
    RefreshServiceStatus();
  }
}

// A check interval typed but never left (a click on the tab strip or a
// button does not take the focus) still gets its minimum before it is saved.
bool MainForm::SaveSettings(SaveReport report) {
  if (txtCheckInterval_->isModified()) txtCheckInterval_LostFocus();
  return UpdateBeforeFormChange(*adcGeneral_, this, report);
}

void MainForm::cboStopHour_Click() {
  ComposeStopTime();
}

void MainForm::dtpStopDate_Change() {
  ComposeStopTime();
}

// A stop time is always a date and a whole hour: a date picked while no hour
// is selected (the stored time had none, or other minutes) takes "00:00",
// shown in the hour list.
void MainForm::ComposeStopTime() {
  if (cboStopHour_->currentIndex() < 0) {
    const QSignalBlocker block_hour(cboStopHour_);
    cboStopHour_->setCurrentIndex(0);
  }
  const QDate date = dtpStopDate_->date();
  txtStopTime_->setText(QString::fromStdString(
      settings::ComposeStopTime({.year = date.year(), .month = date.month(), .day = date.day()},
                                cboStopHour_->currentIndex())));
}

void MainForm::txtCheckInterval_LostFocus() {
  const std::string text = txtCheckInterval_->text().toStdString();
  const std::string corrected = settings::ApplyCheckIntervalMinimum(text);
  if (corrected != text) txtCheckInterval_->setText(QString::fromStdString(corrected));
}

void MainForm::EnableSnmpControls() {
  // A value stored by another program that the list does not hold is shown
  // as an entry of its own: it counts as what it says.
  const auto chosen = [](const QComboBox* list) {
    return list->currentData().toString().trimmed();
  };
  const QString version = chosen(cboSnmpVersion_);
  const bool v3 = version == QLatin1String("3");
  const bool bulk = version != QLatin1String("1");  // SNMPv1 has no GETBULK
  const auto none = [&](const QComboBox* list) {
    return chosen(list).compare(QLatin1String("none"), Qt::CaseInsensitive) == 0;
  };
  const auto enable = [](std::initializer_list<QWidget*> controls, bool on) {
    for (QWidget* control : controls) control->setEnabled(on);
  };
  enable({chkUseBulk_}, bulk);
  enable({lblMaxRepetitions_, txtMaxRepetitions_}, bulk && chkUseBulk_->isChecked());
  enable({fraV3_}, v3);
  // Privacy stays selectable without authentication, so that a choice the
  // rules refuse can be undone.
  enable({lblV3AuthPassword_, txtV3AuthPassword_}, v3 && !none(cboV3AuthProtocol_));
  enable({lblV3PrivPassword_, txtV3PrivPassword_}, v3 && !none(cboV3PrivProtocol_));
}

bool MainForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn) {
    if (auto* box = qobject_cast<QLineEdit*>(watched)) box->selectAll();
  } else if (event->type() == QEvent::FocusOut && watched == txtCheckInterval_) {
    // Switching to another program or opening a context menu is not leaving
    // the box.
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
      txtCheckInterval_LostFocus();
  }
  return QWidget::eventFilter(watched, event);
}

void MainForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (loaded_ && !activated_) {
    activated_ = true;
    Form_Activate();
  }
}

void MainForm::closeEvent(QCloseEvent* event) {
  // An operation of the service tab is waiting for its steps; it ends first.
  if (busy_ > 0) {
    event->ignore();
    return;
  }
  if (loaded_) Form_Unload();
  event->accept();
}

}  // namespace vexa::console

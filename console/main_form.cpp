// frmMain: start-up and shut-down of the window, the tab switching, and the
// editing of the settings record.
#include "main_form.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QFocusEvent>
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
  for (QWidget* box : {txtCheckInterval_, txtGetComm_, txtRetries_, txtTimeOut_})
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

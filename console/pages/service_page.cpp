#include "pages/service_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>

#include "background_call.h"
#include "collector_install.h"
#include "design_layout.h"
#include "pause.h"
#include "settings/settings_rules.h"

namespace vexa::console {

namespace {

constexpr std::int16_t kStepPauseMs = 200;
constexpr int kProgressSteps = 6;
constexpr int kDone = kProgressSteps;

void StepPause() {
  Pause(kStepPauseMs);
}

// Marks an operation under way for its whole length and re-enables the tab
// control at its end, whatever path it took.
class Operation {
 public:
  Operation(int& busy, QTabWidget* tabs) : busy_(busy), tabs_(tabs) { ++busy_; }
  ~Operation() {
    tabs_->setEnabled(true);
    --busy_;
  }
  Operation(const Operation&) = delete;
  Operation& operator=(const Operation&) = delete;

 private:
  int& busy_;
  QTabWidget* tabs_;
};

}  // namespace

ServicePage::ServicePage(QTabWidget* tabs, ServicePageOptions options)
    : ConsolePage(tabs), options_(std::move(options)) {
  setObjectName(QStringLiteral("servicePage"));
  DesignLayout* layout = Design();
  install_button_ = Named(new QPushButton, "installButton");
  layout->Place(install_button_, {480, 840, 1695, 495}, Fit::kWholeText);
  start_button_ = Named(new QPushButton, "startButton");
  layout->Place(start_button_, {2520, 840, 1695, 495}, Fit::kWholeText);
  status_label_ = Named(new QLabel, "statusLabel");
  layout->Place(status_label_, {480, 1440, 3975, 255}, Fit::kWholeText);
  progress_bar_ = Named(new QProgressBar, "progressBar");
  progress_bar_->setRange(0, kProgressSteps);
  progress_bar_->setValue(0);
  progress_bar_->setTextVisible(false);
  layout->Place(progress_bar_, {480, 1800, 3735, 375});
  ShowServiceControlState();

  job_ending_group_box_ = Named(new QGroupBox(QStringLiteral("Job Ending")), "jobEndingGroupBox");
  layout->Place(job_ending_group_box_, {480, 2640, 3735, 1335});
  auto* frame = new DesignLayout(job_ending_group_box_);
  stop_time_label_ = NamedLabel("stopTimeLabel", QStringLiteral("Stop Time:"));
  frame->Place(stop_time_label_, {240, 400, 855, 255}, Fit::kWholeText);
  stop_date_edit_ = Named(new QDateEdit, "stopDateEdit");
  stop_date_edit_->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
  stop_date_edit_->setCalendarPopup(true);
  frame->Place(stop_date_edit_, {1200, 340, 1215, 315}, Fit::kWholeText);
  stop_hour_combo_box_ = Named(new QComboBox, "stopHourComboBox");
  for (const std::string& hour : settings::StopHourEntries())
    stop_hour_combo_box_->addItem(QString::fromStdString(hour));
  stop_hour_combo_box_->setCurrentIndex(-1);
  frame->Place(stop_hour_combo_box_, {2640, 340, 795, 315}, Fit::kWholeText);
  // Shows the composed stop time that goes to the database; the operator
  // edits the date and the hour instead. Its lower edge reaches into the row
  // of the date picker and the hour list, which stay on top of it.
  stop_time_edit_ = Named(new QLineEdit, "stopTimeEdit");
  stop_time_edit_->setReadOnly(true);
  stop_time_edit_->setFocusPolicy(Qt::NoFocus);
  frame->Place(stop_time_edit_, {1560, 120, 1695, 285}, Fit::kHeight);
  stop_time_edit_->stackUnder(stop_date_edit_);
  dns_export_check_box_ = Named(
      new QCheckBox(QStringLiteral("Resolve DNS and Export to ArpList.txt")), "dnsExportCheckBox");
  frame->Place(dns_export_check_box_, {240, 840, 3255, 255}, Fit::kWholeText);

  debug_mode_check_box_ = Named(new QCheckBox(QStringLiteral("Debug Mode")), "debugModeCheckBox");
  layout->Place(debug_mode_check_box_, {480, 4320, 1335, 255}, Fit::kWholeText);
  restart_note_label_ = NamedLabel(
      "restartNoteLabel", QStringLiteral("Note: Any changes requires a restart of the Service."));
  layout->Place(restart_note_label_, {480, 4920, 3735, 255}, Fit::kWholeText);

  connect(stop_hour_combo_box_, &QComboBox::currentIndexChanged, this,
          &ServicePage::ComposeStopTime);
  connect(stop_date_edit_, &QDateEdit::dateChanged, this, &ServicePage::ComposeStopTime);
  connect(install_button_, &QPushButton::clicked, this, &ServicePage::InstallOrUninstall);
  connect(start_button_, &QPushButton::clicked, this, &ServicePage::StartOrStop);
}

QList<FieldBinding> ServicePage::Fields() const {
  return {
      {"DnsCheck", dns_export_check_box_},
      {"DebugMode", debug_mode_check_box_},
      {"StopTime", stop_time_edit_},
  };
}

QList<QWidget*> ServicePage::TabOrder() const {
  return {stop_date_edit_,       dns_export_check_box_, stop_hour_combo_box_,
          debug_mode_check_box_, install_button_,       start_button_};
}

double ServicePage::ScaleNeeded() {
  ServiceControlState unknown;
  unknown.Begin(ServiceAction::kCheck);
  unknown.Learn(ServiceStatus::kUnknown);
  unknown.Succeed();
  status_label_->setText(QString::fromStdString(ShowServiceState(unknown).status_text));
  const double scale = ConsolePage::ScaleNeeded();
  ShowServiceControlState();
  return scale;
}

void ServicePage::Load() {
  const settings::StopTimeParts parts =
      settings::SplitStopTime(stop_time_edit_->text().toStdString());
  const QSignalBlocker block_date(stop_date_edit_);
  const QSignalBlocker block_hour(stop_hour_combo_box_);
  stop_date_edit_->setDate(parts.date ? QDate(parts.date->year, parts.date->month, parts.date->day)
                                      : QDate::currentDate());
  // The list holds the hours 00:00 to 23:00 in order.
  stop_hour_combo_box_->setCurrentIndex(parts.hour ? *parts.hour : -1);
}

// A stop time is always a date and a whole hour: a date picked while no hour
// is selected (the stored time had none, or other minutes) takes "00:00",
// shown in the hour list.
void ServicePage::ComposeStopTime() {
  if (stop_hour_combo_box_->currentIndex() < 0) {
    const QSignalBlocker block_hour(stop_hour_combo_box_);
    stop_hour_combo_box_->setCurrentIndex(0);
  }
  const QDate date = stop_date_edit_->date();
  stop_time_edit_->setText(QString::fromStdString(
      settings::ComposeStopTime({.year = date.year(), .month = date.month(), .day = date.day()},
                                stop_hour_combo_box_->currentIndex())));
}

void ServicePage::Selected() {
  Progress(0);
  RefreshServiceStatus();
}

void ServicePage::ShowServiceControlState() {
  const ServiceStateView view = ShowServiceState(state_);
  status_label_->setText(QString::fromStdString(view.status_text));
  install_button_->setText(QString::fromStdString(view.install_caption));
  install_button_->setEnabled(view.install_enabled);
  start_button_->setText(QString::fromStdString(view.start_caption));
  start_button_->setEnabled(view.start_enabled);
}

void ServicePage::Progress(int value) {
  progress_bar_->setValue(value);
}

ServiceControlSteps ServicePage::Steps() {
  return {.open_manager = options_.open_service_manager,
          .progress = [this](int value) { Progress(value); },
          .pause = StepPause,
          .run = RunKeepingWindowResponsive};
}

void ServicePage::RefreshServiceStatus() {
  Operation operation(busy_, Tabs());
  Tabs()->setEnabled(false);
  StepPause();
  Progress(1);
  state_.Begin(ServiceAction::kCheck);
  ShowServiceControlState();

  if (CheckCollectorInstalled(Steps()) != 0) {
    StepPause();
    Progress(kDone);
    state_.Learn(ServiceStatus::kNotInstalled);
    state_.Succeed();
    ShowServiceControlState();
    return;
  }

  // Installed: the install button offers the uninstall while the state is read.
  state_.Learn(ServiceStatus::kUnknown);
  ShowServiceControlState();
  const ServiceStatus status = GetCollectorState(Steps());
  StepPause();
  Progress(kDone);
  state_.Learn(status);
  state_.Succeed();
  ShowServiceControlState();
}

void ServicePage::InstallOrUninstall() {
  Operation operation(busy_, Tabs());
  StepPause();
  Progress(0);
  const ServiceAction action = ShowServiceState(state_).install;
  if (action == ServiceAction::kNone) {
    // The button as drawn offers nothing: it waits, with the other, for the
    // check that comes with the tab.
    install_button_->setEnabled(false);
    start_button_->setEnabled(false);
    Tabs()->setEnabled(false);
    return;
  }
  state_.Begin(action);
  ShowServiceControlState();
  Tabs()->setEnabled(false);

  if (action == ServiceAction::kUninstall) {
    const int result = UninstallCollector(Steps());
    StepPause();
    Progress(kDone);
    Finish(result);
    return;
  }

  // Only a registration the collector confirmed with exit status 0 counts.
  const InstallRun run = RunCollectorInstall(options_.program_folder, options_.install_time_limit);
  if (run.started && run.exit_status == 0)
    state_.Succeed();
  else
    state_.Fail(run.started ? run.exit_status : 0);
  ShowServiceControlState();
  StepPause();
  // A failed write here stays pending and is reported by the next save.
  options_.save_settings(SaveReport::kQuiet);
  Progress(kDone);
}

void ServicePage::StartOrStop() {
  Operation operation(busy_, Tabs());
  StepPause();
  Progress(0);
  options_.save_settings(SaveReport::kShowFailure);
  const ServiceAction action = ShowServiceState(state_).start;
  state_.Begin(action);
  ShowServiceControlState();
  Tabs()->setEnabled(false);

  const int result =
      action == ServiceAction::kStop ? StopCollector(Steps()) : StartCollector(Steps());
  StepPause();
  Progress(kDone);
  Finish(result);
}

void ServicePage::Finish(int result) {
  if (result == 0)
    state_.Succeed();
  else
    state_.Fail(result);
  ShowServiceControlState();
}

}  // namespace vexa::console

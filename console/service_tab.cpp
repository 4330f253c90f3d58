// frmMain, tab "Service Control": the status check and the two buttons. Every
// step is paced by a short pause, so the label and the progress bar repaint,
// and the service manager's calls run off the window thread (a stop may wait
// for the collector for a while); the tab control and the buttons are
// disabled while an operation runs.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>

#include "background_call.h"
#include "collector_install.h"
#include "main_form.h"
#include "pause.h"
#include "service_texts.h"

namespace vexa::console {

namespace {

constexpr std::int16_t kStepPauseMs = 200;
constexpr int kDone = 6;

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

ServiceControlSteps MainForm::Steps() {
  return {.open_manager = options_.open_service_manager,
          .progress = [this](int value) { Progress(value); },
          .pause = StepPause,
          .run = RunKeepingWindowResponsive};
}

void MainForm::Progress(int value) {
  pgbInfo_->setValue(value);
}

void MainForm::Status(const QString& text) {
  lblInfo_->setText(text);
}

void MainForm::RefreshServiceStatus() {
  Operation operation(busy_, tab1_);
  tab1_->setEnabled(false);
  StepPause();
  Progress(1);
  Status(texts::kChecking);

  if (CheckCollectorInstalled(Steps()) != 0) {
    StepPause();
    Progress(kDone);
    Status(texts::kNotInstalled);
    cmdInstall_->setText(texts::kInstallService);
    cmdStart_->setEnabled(false);
    cmdInstall_->setEnabled(true);
    return;
  }

  cmdInstall_->setText(texts::kUninstallService);
  const int state = GetCollectorState(Steps());
  StepPause();
  Progress(kDone);
  if (state == kStateStopped) {
    Status(texts::kStopped);
    cmdInstall_->setEnabled(true);
    cmdStart_->setText(texts::kStartService);
    cmdStart_->setEnabled(true);
  } else if (state == kStateRunning) {
    Status(texts::kStarted);
    cmdInstall_->setEnabled(false);
    cmdStart_->setText(texts::kStopService);
    cmdStart_->setEnabled(true);
  } else {
    Status(texts::kStatusUnknown);
    cmdInstall_->setEnabled(false);
    cmdStart_->setEnabled(false);
  }
}

void MainForm::cmdInstall_Click() {
  Operation operation(busy_, tab1_);
  StepPause();
  Progress(0);
  cmdInstall_->setEnabled(false);
  cmdStart_->setEnabled(false);
  tab1_->setEnabled(false);

  const QString caption = cmdInstall_->text();
  if (caption == texts::kUninstallService) {
    Status(texts::kUninstalling);
    const int result = UninstallCollector(Steps());
    StepPause();
    Progress(kDone);
    if (result != 0) {
      Status(texts::ErrorWhen(result, "uninstall"));
      cmdInstall_->setEnabled(true);
      cmdStart_->setEnabled(true);
    } else {
      Status(texts::kUninstalled);
      cmdInstall_->setText(texts::kInstallService);
      cmdInstall_->setEnabled(true);
      cmdStart_->setEnabled(false);
    }
  } else if (caption == texts::kInstallService) {
    Status(texts::kInstalling);
    // Only a registration the collector confirmed with exit status 0 counts.
    const InstallRun run =
        RunCollectorInstall(options_.program_folder, options_.install_time_limit);
    if (run.started && run.exit_status == 0) {
      Status(texts::kInstalled);
      cmdInstall_->setText(texts::kUninstallService);
      cmdInstall_->setEnabled(true);
      cmdStart_->setText(texts::kStartService);
      cmdStart_->setEnabled(true);
    } else {
      Status(texts::ErrorWhen(run.started ? run.exit_status : 0, "install"));
      cmdInstall_->setEnabled(true);
      cmdStart_->setEnabled(true);
    }
    StepPause();
    // A failed write here stays pending and is reported by the next save.
    SaveSettings(SaveReport::kQuiet);
    Progress(kDone);
  }
}

void MainForm::cmdStart_Click() {
  Operation operation(busy_, tab1_);
  StepPause();
  Progress(0);
  SaveSettings(SaveReport::kShowFailure);
  cmdInstall_->setEnabled(false);
  cmdStart_->setEnabled(false);
  tab1_->setEnabled(false);

  const QString caption = cmdStart_->text();
  if (caption == texts::kStopService) {
    Status(texts::kStopping);
    const int result = StopCollector(Steps());
    StepPause();
    Progress(kDone);
    if (result == 0) {
      Status(texts::kStopped);
      cmdInstall_->setText(texts::kUninstallService);
      cmdInstall_->setEnabled(true);
      cmdStart_->setText(texts::kStartService);
      cmdStart_->setEnabled(true);
    } else {
      Status(texts::ErrorWhen(result, "stop"));
      cmdInstall_->setEnabled(true);
      cmdStart_->setText(texts::kStopService);
      cmdStart_->setEnabled(true);
    }
  } else if (caption == texts::kStartService) {
    Status(texts::kStarting);
    const int result = StartCollector(Steps());
    StepPause();
    Progress(kDone);
    cmdInstall_->setText(texts::kUninstallService);
    cmdStart_->setEnabled(true);
    if (result != 0) {
      Status(texts::ErrorWhen(result, "start"));
      cmdInstall_->setEnabled(true);
      cmdStart_->setText(texts::kStartService);
    } else {
      Status(texts::kStartedNow);
      cmdInstall_->setEnabled(false);
      cmdStart_->setText(texts::kStopService);
    }
  }
}

}  // namespace vexa::console

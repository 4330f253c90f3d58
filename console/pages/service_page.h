// The tab "Service Control": the installation and control of the collector
// service (two buttons, a status line and a progress bar, all drawn from one
// ServiceControlState), and beside them the settings of the job's end (stop
// time, name resolution and export) and the debug mode.
//
// Every step of an operation is paced by a short pause, so the status line
// and the progress bar repaint, and the service manager's calls run off the
// window thread (a stop may wait for the collector for a while); the tab
// control and the buttons are disabled while an operation runs.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "pages/console_page.h"
#include "service/service_manager.h"
#include "service/service_state.h"
#include "service_control.h"
#include "settings_save.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QProgressBar;
class QPushButton;

namespace vexa::console {

struct ServicePageOptions {
  // The folder holding the collector program.
  QString program_folder;
  std::function<std::unique_ptr<ServiceManager>()> open_service_manager;
  std::chrono::milliseconds install_time_limit{};
  // Saves the settings record: before a start or stop, and quietly after an
  // install.
  std::function<bool(SaveReport)> save_settings;
};

class ServicePage final : public ConsolePage {
  Q_OBJECT

 public:
  ServicePage(QTabWidget* tabs, ServicePageOptions options);

  QString Title() const override { return QStringLiteral("Service Control"); }
  QList<FieldBinding> Fields() const override;
  QList<QWidget*> TabOrder() const override;
  // The date picker and the hour list show the stored stop time. Filling
  // them is no edit.
  void Load() override;
  // Each visit checks the service afresh.
  void Selected() override;
  bool Busy() const override { return busy_ > 0; }
  // The status line must hold its longest text as well.
  double ScaleNeeded() override;

  // The status check, and the handlers of the two buttons.
  void RefreshServiceStatus();
  void InstallOrUninstall();
  void StartOrStop();

 private:
  void ComposeStopTime();
  void ShowServiceControlState();
  // Ends the operation under way with the service manager's result.
  void Finish(int result);
  void Progress(int value);
  ServiceControlSteps Steps();

  ServicePageOptions options_;
  ServiceControlState state_;
  int busy_ = 0;  // an operation is under way

  QPushButton* install_button_ = nullptr;
  QPushButton* start_button_ = nullptr;
  QLabel* status_label_ = nullptr;
  QProgressBar* progress_bar_ = nullptr;
  QGroupBox* job_ending_group_box_ = nullptr;
  QLabel* stop_time_label_ = nullptr;
  QDateEdit* stop_date_edit_ = nullptr;
  QComboBox* stop_hour_combo_box_ = nullptr;
  QLineEdit* stop_time_edit_ = nullptr;
  QCheckBox* dns_export_check_box_ = nullptr;
  QCheckBox* debug_mode_check_box_ = nullptr;
  QLabel* restart_note_label_ = nullptr;
};

}  // namespace vexa::console

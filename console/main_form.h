// The console window: a tab control with one page per tab ("Communication",
// "Service Control", "SNMP", "Search"), the settings record their controls show, and
// the moments the record is saved (a tab selected, the window closed, and
// what the service page asks for).
#pragma once

#include <QList>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>

#include "collector_install.h"
#include "service/service_manager.h"
#include "settings_save.h"

class QTabWidget;

namespace vexa::console {

class ConsolePage;
class SettingsRecord;

struct MainFormOptions {
  // The folder holding the console's program file (and the collector and the
  // database beside it).
  QString program_folder;
  std::function<std::unique_ptr<ServiceManager>()> open_service_manager = [] {
    return MakeServiceManager();
  };
  int busy_timeout_ms = 5000;
  std::chrono::milliseconds install_time_limit = kInstallTimeLimit;
};

class MainForm final : public QWidget {
  Q_OBJECT

 public:
  explicit MainForm(MainFormOptions options, QWidget* parent = nullptr);
  ~MainForm() override;

  // Opens the settings table and shows its first record. On an error shows
  // the error box and returns false: the program then ends.
  bool Load();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void FitDesignToFont();
  void OnTabChanged();
  bool SaveSettings(SaveReport report);

  MainFormOptions options_;
  QTabWidget* tab_widget_ = nullptr;
  QList<ConsolePage*> pages_;  // in the order of their tabs
  std::unique_ptr<SettingsRecord> settings_;
  bool loaded_ = false;
};

}  // namespace vexa::console

// frmMain, the console window: the settings of the collector on the tab
// "Communication" (and the job settings beside the service buttons), the
// installation and control of the service on the tab "Service Control", and
// how the routers are asked (SNMP version, GETBULK, table, SNMPv3 user) on
// the tab "SNMP".
#pragma once

#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>

#include "collector_install.h"
#include "service/service_manager.h"
#include "service_control.h"
#include "update_before_form_change.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;

namespace vexa::console {

class RouterListEdit;
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
  bool Form_Load();

  // Handlers, named after the control and the event they serve.
  void Form_Activate();
  void Form_Unload();
  void tab1_Click(int previous_tab);
  void cboStopHour_Click();
  void dtpStopDate_Change();
  void txtCheckInterval_LostFocus();
  // Enables the controls of the "SNMP" tab that apply to the chosen version,
  // GETBULK and protocols; the others keep their values, greyed.
  void EnableSnmpControls();
  void cmdInstall_Click();
  void cmdStart_Click();

  // The status check of the "Service Control" tab.
  void RefreshServiceStatus();

  const QString& ProgramFolder() const { return options_.program_folder; }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  void BuildCommunicationTab(QWidget* page);
  void BuildServiceTab(QWidget* page);
  void BuildSnmpTab(QWidget* page);
  void SetTabOrder();
  void FitDesignToFont();
  void ConnectHandlers();
  void ComposeStopTime();
  bool SaveSettings(SaveReport report);
  ServiceControlSteps Steps();
  void Progress(int value);
  void Status(const QString& text);

  MainFormOptions options_;
  std::unique_ptr<SettingsRecord> adcGeneral_;
  bool activated_ = false;
  bool loaded_ = false;
  int busy_ = 0;  // an operation of the service tab is under way

  QTabWidget* tab1_ = nullptr;
  // Tab "Communication"
  QGroupBox* fraARP_ = nullptr;
  QLabel* lblRouterList_ = nullptr;
  RouterListEdit* txtRouterList_ = nullptr;
  QLabel* lblGetComm_ = nullptr;
  QLineEdit* txtGetComm_ = nullptr;
  QLabel* lblTimeOut_ = nullptr;
  QLineEdit* txtTimeOut_ = nullptr;
  QLabel* lblSec2_ = nullptr;
  QLabel* lblRetries_ = nullptr;
  QLineEdit* txtRetries_ = nullptr;
  QLabel* lblSec3_ = nullptr;
  QLabel* lblCheckInterval_ = nullptr;
  QLineEdit* txtCheckInterval_ = nullptr;
  QLabel* lblSec1_ = nullptr;
  QCheckBox* chkSaveDynamic_ = nullptr;
  // Tab "Service Control"
  QPushButton* cmdInstall_ = nullptr;
  QPushButton* cmdStart_ = nullptr;
  QLabel* lblInfo_ = nullptr;
  QProgressBar* pgbInfo_ = nullptr;
  QGroupBox* fraJob_ = nullptr;
  QLabel* lblStopTime_ = nullptr;
  QDateEdit* dtpStopDate_ = nullptr;
  QComboBox* cboStopHour_ = nullptr;
  QLineEdit* txtStopTime_ = nullptr;
  QCheckBox* chkDnsCheck_ = nullptr;
  QCheckBox* chkDebugMode_ = nullptr;
  QLabel* lblInfo2_ = nullptr;
  // Tab "SNMP"
  QGroupBox* fraSnmp_ = nullptr;
  QLabel* lblSnmpVersion_ = nullptr;
  QComboBox* cboSnmpVersion_ = nullptr;
  QCheckBox* chkUseBulk_ = nullptr;
  QLabel* lblMaxRepetitions_ = nullptr;
  QLineEdit* txtMaxRepetitions_ = nullptr;
  QLabel* lblNeighbourTable_ = nullptr;
  QComboBox* cboNeighbourTable_ = nullptr;
  QGroupBox* fraV3_ = nullptr;
  QLabel* lblV3User_ = nullptr;
  QLineEdit* txtV3User_ = nullptr;
  QLabel* lblV3AuthProtocol_ = nullptr;
  QComboBox* cboV3AuthProtocol_ = nullptr;
  QLabel* lblV3AuthPassword_ = nullptr;
  QLineEdit* txtV3AuthPassword_ = nullptr;
  QLabel* lblV3PrivProtocol_ = nullptr;
  QComboBox* cboV3PrivProtocol_ = nullptr;
  QLabel* lblV3PrivPassword_ = nullptr;
  QLineEdit* txtV3PrivPassword_ = nullptr;
  QLabel* lblV3Context_ = nullptr;
  QLineEdit* txtV3Context_ = nullptr;
};

}  // namespace vexa::console

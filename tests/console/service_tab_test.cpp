// The "Service Control" tab against the local service manager, with the real
// collector installing and running itself from a real program folder. Each
// test has its own service state directory and stops what it started.
#include <signal.h>
#include <sys/stat.h>

#include <QLabel>
#include <QProgressBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "console_test_support.h"
#include "platform/files.h"

using vexa::ServiceManager;
using vexa::ServiceState;
using vexa::console::MainForm;
using namespace vexa::console::test;
using namespace std::chrono_literals;

namespace {

// Every progress step with the status text shown at that moment.
class StepRecorder {
 public:
  explicit StepRecorder(MainForm& form) : label_(Find<QLabel>(&form, "statusLabel")) {
    QObject::connect(
        Find<QProgressBar>(&form, "progressBar"), &QProgressBar::valueChanged, label_,
        [this](int value) { steps_ << QStringLiteral("%1 %2").arg(value).arg(label_->text()); });
  }
  QStringList Take() { return std::exchange(steps_, {}); }

 private:
  QLabel* label_;
  QStringList steps_;
};

pid_t ServicePid(const ConsoleFixture& f) {
  return static_cast<pid_t>(
      std::atoi(vexa::test::ReadFile(f.ServiceDir() + "/vexa-arp.pid").c_str()));
}

bool ProcessGone(pid_t pid) {
  return !vexa::FileExists("/proc/" + std::to_string(pid) + "/exe");
}

// Registers the service the way the console does, from outside the window.
bool InstallElsewhere(ConsoleFixture& f) {
  return vexa::test::Run(f.Folder().Collector(), {"-install_noMsg"}, {}, f.Folder().path())
             .exit_status == 0;
}

// Puts a stand-in where the collector program belongs (to make the installer
// fail in ways the real one does not on demand).
void WriteScript(const std::string& path, const std::string& script) {
  vexa::test::WriteFile(path, script);
  ::chmod(path.c_str(), 0755);
}

void ReplaceCollector(ConsoleFixture& f, const std::string& script) {
  const std::string path = f.Folder().Collector();
  std::filesystem::rename(path, path + ".real");
  WriteScript(path, script);
}

// A service manager whose state is neither stopped nor running, or cannot
// be read: states the local manager never reports.
class UnclearServices final : public ServiceManager {
 public:
  explicit UnclearServices(int query_error) : query_error_(query_error) {}
  int Install(const std::string&, const std::string&) override { return 0; }
  int Uninstall() override { return 0; }
  int CheckInstalled() override { return 0; }
  int QueryState(ServiceState& state) override {
    state = ServiceState::kOther;
    return query_error_;
  }
  int Start() override { return 0; }
  int Stop() override { return 0; }

 private:
  int query_error_;
};

// A running service that does not end within the stop's wait (the real
// manager gives up only after kServiceStopTimeoutSeconds).
class StopTimesOut final : public ServiceManager {
 public:
  int Install(const std::string&, const std::string&) override { return 0; }
  int Uninstall() override { return 0; }
  int CheckInstalled() override { return 0; }
  int QueryState(ServiceState& state) override {
    state = ServiceState::kRunning;
    return 0;
  }
  int Start() override { return vexa::kServiceAlreadyRunning; }
  int Stop() override { return vexa::kServiceStopTimedOut; }
};

}  // namespace

class ServiceTabTest : public QObject {
  Q_OBJECT

 private slots:
  void wholeLifeOfTheService() {
    ConsoleFixture f;
    auto form = f.Open();
    QVERIFY(form);
    StepRecorder steps(*form);

    SelectTab(*form, 1);
    QCOMPARE(Shown(*form),
             "The service is not installed. | 6 | Install Service/on | Start Service/off");
    QCOMPARE(steps.Take(),
             QStringList({"1 Info", "2 Checking service status...", "3 Checking service status...",
                          "6 Checking service status..."}));

    Click(*form, "installButton");
    QCOMPARE(Shown(*form),
             "Service installed successfully. | 6 | Uninstall Service/on | Start Service/on");
    QCOMPARE(steps.Take(),
             QStringList({"0 The service is not installed.", "6 Service installed successfully."}));
    QCOMPARE(f.Services()->CheckInstalled(), 0);

    Refresh(*form);
    QCOMPARE(Shown(*form), "The service is stopped. | 6 | Uninstall Service/on | Start Service/on");
    QCOMPARE(steps.Take().size(), 7);  // 0, then 1 to 6

    Click(*form, "startButton");
    QCOMPARE(Shown(*form),
             "Service started successfully. | 6 | Uninstall Service/off | Stop Service/on");
    QCOMPARE(steps.Take(),
             QStringList(
                 {"0 The service is stopped.", "1 Attempting to start the service...",
                  "2 Attempting to start the service...", "3 Attempting to start the service...",
                  "4 Attempting to start the service...", "6 Attempting to start the service..."}));
    const pid_t pid = ServicePid(f);
    QVERIFY(pid > 0);
    QVERIFY(vexa::test::WaitUntil(
        [&] {
          return vexa::test::ReadFile(f.Folder().AppEvent()).find("Service Started.") !=
                 std::string::npos;
        },
        10s));

    Refresh(*form);
    QCOMPARE(Shown(*form), "The service is started. | 6 | Uninstall Service/off | Stop Service/on");
    steps.Take();

    Click(*form, "startButton");
    QCOMPARE(Shown(*form), "The service is stopped. | 6 | Uninstall Service/on | Start Service/on");
    QCOMPARE(steps.Take().mid(1, 1), QStringList({"1 Attempting to stop the service..."}));
    QVERIFY(ProcessGone(pid));

    Click(*form, "installButton");
    QCOMPARE(Shown(*form),
             "The service is uninstalled. | 6 | Install Service/on | Start Service/off");
    QCOMPARE(steps.Take().mid(1, 1), QStringList({"1 Attempting to uninstall the service..."}));
    QCOMPARE(f.Services()->CheckInstalled(), vexa::kServiceNotInstalled);
  }

  void startingARunningServiceShowsTheError() {
    ConsoleFixture f;
    QVERIFY(InstallElsewhere(f));
    auto form = f.Open();
    QVERIFY(form);
    SelectTab(*form, 1);
    QCOMPARE(Shown(*form), "The service is stopped. | 6 | Uninstall Service/on | Start Service/on");
    QCOMPARE(f.Services()->Start(), 0);  // started elsewhere since the check
    Click(*form, "startButton");
    QCOMPARE(Shown(*form),
             QString("Error [%1]").arg(vexa::kServiceAlreadyRunning) +
                 "  when start the service. | 6 | Uninstall Service/on | Start Service/on");
  }

  void stoppingAStoppedServiceShowsTheError() {
    ConsoleFixture f;
    QVERIFY(InstallElsewhere(f));
    QCOMPARE(f.Services()->Start(), 0);
    auto form = f.Open();
    QVERIFY(form);
    SelectTab(*form, 1);
    QCOMPARE(Shown(*form), "The service is started. | 6 | Uninstall Service/off | Stop Service/on");
    QCOMPARE(f.Services()->Stop(), 0);  // stopped elsewhere since the check
    Click(*form, "startButton");
    QCOMPARE(Shown(*form),
             QString("Error [%1]").arg(vexa::kServiceNotActive) +
                 "  when stop the service. | 6 | Uninstall Service/on | Stop Service/on");
  }

  // The collector takes a moment over its stop (it logs, then waits); the
  // window keeps handling events all the while.
  void windowStaysResponsiveWhileTheServiceStops() {
    ConsoleFixture f;
    QVERIFY(InstallElsewhere(f));
    QCOMPARE(f.Services()->Start(), 0);
    QVERIFY(vexa::test::WaitUntil(
        [&] {
          return vexa::test::ReadFile(f.Folder().AppEvent()).find("Service Started.") !=
                 std::string::npos;
        },
        10s));
    const pid_t pid = ServicePid(f);
    auto form = f.Open();
    QVERIFY(form);
    SelectTab(*form, 1);

    int ticks_while_stopping = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&] {
      if (!ProcessGone(pid) &&
          vexa::test::ReadFile(f.Folder().AppEvent()).find("Service Stopped") != std::string::npos)
        ++ticks_while_stopping;
    });
    ticker.start(50);
    Click(*form, "startButton");
    ticker.stop();
    QCOMPARE(Shown(*form), "The service is stopped. | 6 | Uninstall Service/on | Start Service/on");
    QVERIFY(ProcessGone(pid));
    QVERIFY2(ticks_while_stopping >= 5, qPrintable(QString::number(ticks_while_stopping)));
  }

  // A stop the service manager gave up waiting for (the service is still
  // running) is an error, not a stopped service.
  void stopThatDidNotEndInTimeIsAnError() {
    ConsoleFixture f;
    auto options = f.Options();
    options.open_service_manager = [] { return std::make_unique<StopTimesOut>(); };
    auto form = f.Open(options);
    QVERIFY(form);
    SelectTab(*form, 1);
    QCOMPARE(Shown(*form), "The service is started. | 6 | Uninstall Service/off | Stop Service/on");
    Click(*form, "startButton");
    QCOMPARE(Shown(*form),
             QString("Error [%1]").arg(vexa::kServiceStopTimedOut) +
                 "  when stop the service. | 6 | Uninstall Service/on | Stop Service/on");
  }

  void uninstallingARunningServiceStopsIt() {
    ConsoleFixture f;
    QVERIFY(InstallElsewhere(f));
    auto form = f.Open();
    QVERIFY(form);
    SelectTab(*form, 1);
    QCOMPARE(f.Services()->Start(), 0);
    const pid_t pid = ServicePid(f);
    QVERIFY(pid > 0);
    Click(*form, "installButton");
    QCOMPARE(Shown(*form),
             "The service is uninstalled. | 6 | Install Service/on | Start Service/off");
    const bool gone = vexa::test::WaitUntil([&] { return ProcessGone(pid); }, 15s);
    if (!gone) ::kill(pid, SIGKILL);
    QVERIFY2(gone, "the collector went on running after the uninstall");
  }

  void missingCollectorProgramShowsTheInstallError() {
    ConsoleFixture f;
    std::filesystem::remove(f.Folder().Collector());
    auto form = f.Open();
    QVERIFY(form);
    SelectTab(*form, 1);
    Click(*form, "installButton");
    QCOMPARE(Shown(*form),
             "Error [0]  when install the service. | 6 | Install Service/on | Start Service/on");
  }

  void installRefusedByTheCollectorIsNoSuccess() {
    ConsoleFixture f;
    auto form = f.Open();
    QVERIFY(form);
    SelectTab(*form, 1);
    QVERIFY(InstallElsewhere(f));  // the collector now refuses a second registration
    Click(*form, "installButton");
    QCOMPARE(Shown(*form),
             "Error [1]  when install the service. | 6 | Install Service/on | Start Service/on");
  }

  void installerEndedBySignalOrTimeLimitIsNoSuccess() {
    ConsoleFixture f;
    ReplaceCollector(f, "#!/bin/sh\nkill -SEGV $$\n");
    auto options = f.Options();
    options.install_time_limit = 1s;
    auto form = f.Open(options);
    QVERIFY(form);
    SelectTab(*form, 1);
    Click(*form, "installButton");
    QCOMPARE(Shown(*form),
             "Error [139]  when install the service. | 6 | Install Service/on | Start Service/on");

    const std::string pid_file = f.Folder().Scratch() + "/installer.pid";
    WriteScript(f.Folder().Collector(), "#!/bin/sh\necho $$ > '" + pid_file + "'\nexec sleep 60\n");
    Click(*form, "installButton");
    QCOMPARE(Shown(*form),
             "Error [137]  when install the service. | 6 | Install Service/on | Start Service/on");
    const pid_t installer = std::atoi(vexa::test::ReadFile(pid_file).c_str());
    QVERIFY(installer > 0);
    QVERIFY2(ProcessGone(installer), "the installer was left running");
  }

  void windowStaysResponsiveWhileTheInstallerRuns() {
    ConsoleFixture f;
    const std::string marker = f.Folder().Scratch() + "/installer-running";
    ReplaceCollector(f, "#!/bin/sh\ntouch '" + marker + "'\nsleep 1\nexec '" +
                            f.Folder().Collector() + ".real' \"$@\"\n");
    auto form = f.Open();
    QVERIFY(form);
    SelectTab(*form, 1);

    // Timer ticks handled while the installer waits before registering.
    int ticks_while_installing = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&] {
      if (vexa::FileExists(marker) && f.Services()->CheckInstalled() != 0) ++ticks_while_installing;
    });
    ticker.start(50);
    Click(*form, "installButton");
    ticker.stop();
    QCOMPARE(Shown(*form),
             "Service installed successfully. | 6 | Uninstall Service/on | Start Service/on");
    QVERIFY2(ticks_while_installing >= 5, qPrintable(QString::number(ticks_while_installing)));
  }

  void unclearStateDisablesBothButtons_data() {
    QTest::addColumn<int>("query_error");
    QTest::newRow("neither stopped nor running") << 0;
    QTest::newRow("state cannot be read") << int{EIO};
  }

  void unclearStateDisablesBothButtons() {
    QFETCH(int, query_error);
    ConsoleFixture f;
    auto options = f.Options();
    options.open_service_manager = [query_error] {
      return std::make_unique<UnclearServices>(query_error);
    };
    auto form = f.Open(options);
    QVERIFY(form);
    SelectTab(*form, 1);
    QCOMPARE(Shown(*form),
             "The service is installed. Status unknown. | 6 | Uninstall Service/off | Start "
             "Service/off");
    QVERIFY(Find<QTabWidget>(form.get(), "tabWidget")->isEnabled());
  }
};

QTEST_MAIN(ServiceTabTest)
#include "service_tab_test.moc"

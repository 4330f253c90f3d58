// The "Service Control" tab against a real systemd (run inside
// tests/systemd/systemd-harness.sh): the console installs the real collector
// as vexa-arp.service, starts, stops and removes it, and shows systemd's
// refusals with their own codes.
#include <QTest>
#include <cstdlib>

#include "console_test_support.h"
#include "harness_support.h"
#include "platform/files.h"

using vexa::console::MainForm;
using namespace vexa::console::test;
using namespace std::chrono_literals;

namespace {

constexpr const char* kUnitFile = "/etc/systemd/system/vexa-arp.service";

std::string ActiveState() {
  return vexa::test::SystemctlOutput({"is-active", "vexa-arp.service"});
}

}  // namespace

class SystemdServiceTabTest : public QObject {
  Q_OBJECT

 private slots:
  void wholeLifeAndRefusalsOnARealSystemd() {
    const std::string why = vexa::test::WhyNotInHarness();
    QVERIFY2(why.empty(), why.c_str());
    ConsoleFixture f;
    ::setenv("VEXAARP_SERVICE_MANAGER", "systemd", 1);
    const auto services = vexa::MakeServiceManager();
    auto form = f.Open();
    QVERIFY(form);

    Refresh(*form);
    QCOMPARE(Shown(*form),
             "The service is not installed. | 6 | Install Service/on | Start Service/off");
    Click(*form, "installButton");
    QCOMPARE(Shown(*form),
             "Service installed successfully. | 6 | Uninstall Service/on | Start Service/on");
    QVERIFY(vexa::FileExists(kUnitFile));
    Refresh(*form);
    QCOMPARE(Shown(*form), "The service is stopped. | 6 | Uninstall Service/on | Start Service/on");

    Click(*form, "startButton");
    QCOMPARE(Shown(*form),
             "Service started successfully. | 6 | Uninstall Service/off | Stop Service/on");
    QCOMPARE(ActiveState(), "active");
    Refresh(*form);
    QCOMPARE(Shown(*form), "The service is started. | 6 | Uninstall Service/off | Stop Service/on");

    QCOMPARE(services->Stop(), 0);  // stopped elsewhere since the check
    Click(*form, "startButton");
    QCOMPARE(Shown(*form),
             QString("Error [%1]").arg(vexa::kServiceNotActive) +
                 "  when stop the service. | 6 | Uninstall Service/on | Stop Service/on");
    Refresh(*form);
    QCOMPARE(services->Start(), 0);  // started elsewhere since the check
    Click(*form, "startButton");
    QCOMPARE(Shown(*form),
             QString("Error [%1]").arg(vexa::kServiceAlreadyRunning) +
                 "  when start the service. | 6 | Uninstall Service/on | Start Service/on");

    Refresh(*form);
    Click(*form, "startButton");
    QCOMPARE(Shown(*form), "The service is stopped. | 6 | Uninstall Service/on | Start Service/on");
    QCOMPARE(ActiveState(), "inactive");
    QVERIFY(vexa::test::ReadFile(f.Folder().AppEvent()).find("Service Stopped") !=
            std::string::npos);

    QCOMPARE(services->Uninstall(), 0);  // removed elsewhere since the check
    Click(*form, "installButton");
    QCOMPARE(Shown(*form), QString("Error [%1]").arg(vexa::kServiceNotInstalled) +
                               "  when uninstall the service. | 6 | Uninstall Service/on | Start "
                               "Service/on");
    Refresh(*form);
    QCOMPARE(Shown(*form),
             "The service is not installed. | 6 | Install Service/on | Start Service/off");
    Click(*form, "installButton");
    QCOMPARE(Shown(*form),
             "Service installed successfully. | 6 | Uninstall Service/on | Start Service/on");
    Click(*form, "installButton");
    QCOMPARE(Shown(*form),
             "The service is uninstalled. | 6 | Install Service/on | Start Service/off");
    QVERIFY(!vexa::FileExists(kUnitFile));
    ::unsetenv("VEXAARP_SERVICE_MANAGER");
  }
};

QTEST_MAIN(SystemdServiceTabTest)
#include "systemd_service_tab_test.moc"

#include "console_test_support.h"

#include <signal.h>
#include <sqlite3.h>

#include <cstdlib>
#include <stdexcept>

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>

#include "service/service_manager.h"

namespace vexa::console::test {

MessageBoxRecorder::MessageBoxRecorder() {
  SetMessageBoxHandler([this](const MessageBoxRequest& r) { boxes_.append(r); });
}

MessageBoxRecorder::~MessageBoxRecorder() {
  SetMessageBoxHandler({});
}

ConsoleFixture::ConsoleFixture() {
  ::setenv("VEXAARP_SERVICE_MANAGER", "local", 1);
  ::setenv("VEXAARP_SERVICE_DIR", ServiceDir().c_str(), 1);
}

// Whatever a test left running is stopped, and its registration removed,
// before the folder goes.
ConsoleFixture::~ConsoleFixture() {
  const auto services = Services();
  ServiceState state{};
  if (services->QueryState(state) == 0 && state == ServiceState::kRunning) services->Stop();
  services->Uninstall();
  ::unsetenv("VEXAARP_SERVICE_DIR");
  ::unsetenv("VEXAARP_SERVICE_MANAGER");
}

std::unique_ptr<ServiceManager> ConsoleFixture::Services() const {
  return MakeLocalServiceManager(ServiceDir());
}

MainFormOptions ConsoleFixture::Options() const {
  MainFormOptions options;
  options.program_folder = FolderPath();
  options.busy_timeout_ms = 300;
  return options;
}

std::unique_ptr<MainForm> ConsoleFixture::Open() {
  return Open(Options());
}

std::unique_ptr<MainForm> ConsoleFixture::Open(MainFormOptions options) {
  auto form = std::make_unique<MainForm>(std::move(options));
  if (!form->Load()) return nullptr;
  form->show();
  if (!QTest::qWaitForWindowExposed(form.get())) return nullptr;
  return form;
}

std::string ConsoleFixture::Query(const std::string& sql) const {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(folder_.Database().c_str(), &db, SQLITE_OPEN_READONLY, nullptr) !=
      SQLITE_OK) {
    sqlite3_close(db);
    throw std::runtime_error("cannot open " + folder_.Database());
  }
  sqlite3_stmt* stmt = nullptr;
  std::string value = "<no row>";
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
      sqlite3_step(stmt) == SQLITE_ROW) {
    const auto* text = sqlite3_column_text(stmt, 0);
    value = text != nullptr ? reinterpret_cast<const char*>(text) : "<null>";
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return value;
}

void SelectTab(MainForm& form, int index) {
  Find<QTabWidget>(&form, "tabWidget")->setCurrentIndex(index);
}

void Refresh(MainForm& form) {
  SelectTab(form, 0);
  SelectTab(form, 1);
}

void Click(MainForm& form, const char* button) {
  QTest::mouseClick(Find<QPushButton>(&form, button), Qt::LeftButton);
}

QString Shown(MainForm& form) {
  auto* install = Find<QPushButton>(&form, "installButton");
  auto* start = Find<QPushButton>(&form, "startButton");
  const auto on = [](QWidget* w) { return w->isEnabled() ? "on" : "off"; };
  return QStringLiteral("%1 | %2 | %3/%4 | %5/%6")
      .arg(Find<QLabel>(&form, "statusLabel")->text())
      .arg(Find<QProgressBar>(&form, "progressBar")->value())
      .arg(install->text(), on(install), start->text(), on(start));
}

}  // namespace vexa::console::test

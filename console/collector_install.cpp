#include "collector_install.h"

#include <QEventLoop>
#include <QProcess>
#include <QTimer>
#include <csignal>

namespace vexa::console {

namespace {
constexpr int kSignalStatusBase = 128;
constexpr int kKilledAfterLimit = kSignalStatusBase + SIGKILL;
constexpr int kStartWaitMs = 10000;
constexpr int kKillWaitMs = 5000;
}  // namespace

InstallRun RunCollectorInstall(const QString& program_folder, std::chrono::milliseconds limit) {
  QProcess installer;
  installer.setProgram(program_folder + QLatin1Char('/') + QLatin1String(kCollectorProgram));
  installer.setArguments({QString::fromLatin1(kInstallOption)});
  installer.setWorkingDirectory(program_folder);
  installer.setStandardInputFile(QProcess::nullDevice());
  // Its one message line (on a failure) goes where the console's own output goes.
  installer.setProcessChannelMode(QProcess::ForwardedChannels);

  installer.start();
  if (!installer.waitForStarted(kStartWaitMs)) {
    installer.kill();
    installer.waitForFinished(kKillWaitMs);
    return {};
  }

  QEventLoop wait;
  QTimer limit_timer;
  limit_timer.setSingleShot(true);
  QObject::connect(&limit_timer, &QTimer::timeout, &wait, &QEventLoop::quit);
  QObject::connect(&installer, &QProcess::finished, &wait, &QEventLoop::quit);
  limit_timer.start(limit);
  if (installer.state() != QProcess::NotRunning) wait.exec();

  InstallRun run;
  run.started = true;
  if (installer.state() != QProcess::NotRunning) {
    installer.kill();
    installer.waitForFinished(kKillWaitMs);
    run.exit_status = kKilledAfterLimit;
  } else if (installer.exitStatus() == QProcess::CrashExit) {
    // On Unix the "exit code" of a crashed process is the signal number.
    run.exit_status = kSignalStatusBase + installer.exitCode();
  } else {
    run.exit_status = installer.exitCode();
  }
  return run;
}

}  // namespace vexa::console

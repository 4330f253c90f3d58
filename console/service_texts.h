// What the "Service Control" tab shows: the status texts of lblInfo and the
// button captions, which are also the console's memory of what the service
// can do next.
#pragma once

#include <QString>

namespace vexa::console::texts {

inline const QString kInstallService = QStringLiteral("Install Service");
inline const QString kUninstallService = QStringLiteral("Uninstall Service");
inline const QString kStartService = QStringLiteral("Start Service");
inline const QString kStopService = QStringLiteral("Stop Service");

inline const QString kChecking = QStringLiteral("Checking service status...");
inline const QString kNotInstalled = QStringLiteral("The service is not installed.");
inline const QString kStopped = QStringLiteral("The service is stopped.");
inline const QString kStarted = QStringLiteral("The service is started.");
inline const QString kStatusUnknown = QStringLiteral("The service is installed. Status unknown.");
inline const QString kUninstalling = QStringLiteral("Attempting to uninstall the service...");
inline const QString kUninstalled = QStringLiteral("The service is uninstalled.");
inline const QString kInstalling = QStringLiteral("Attempting to install the service...");
inline const QString kInstalled = QStringLiteral("Service installed successfully.");
inline const QString kStopping = QStringLiteral("Attempting to stop the service...");
inline const QString kStarting = QStringLiteral("Attempting to start the service...");
inline const QString kStartedNow = QStringLiteral("Service started successfully.");

// "Error [<code>]  when <action> the service." (two blanks after the bracket)
inline QString ErrorWhen(int code, const char* action) {
  return QStringLiteral("Error [%1]  when %2 the service.").arg(code).arg(QLatin1String(action));
}

}  // namespace vexa::console::texts

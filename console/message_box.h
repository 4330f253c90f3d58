// Every message box of the console goes through ShowMessageBox, so tests can
// read what would be shown and answer it instead of a person.
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

namespace vexa::console {

inline constexpr const char* kMessageBoxTitle = "Vexa ARP";

struct MessageBoxRequest {
  QString text;
  QString title;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Shows a modal box with one OK button and returns when it is closed.
void ShowMessageBox(QWidget* parent, const MessageBoxRequest& request);

// Replaces the real box (tests). An empty handler brings the real box back.
using MessageBoxHandler = std::function<void(const MessageBoxRequest&)>;
void SetMessageBoxHandler(MessageBoxHandler handler);

}  // namespace vexa::console

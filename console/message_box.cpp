#include "message_box.h"

namespace vexa::console {

namespace {
MessageBoxHandler& Handler() {
  static MessageBoxHandler handler;
  return handler;
}
}  // namespace

void ShowMessageBox(QWidget* parent, const MessageBoxRequest& request) {
  if (Handler()) {
    Handler()(request);
    return;
  }
  // Texts keep their CR LF line ends; a label wants plain line feeds.
  QString shown = request.text;
  shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  QMessageBox box(request.icon, request.title, shown, QMessageBox::Ok, parent);
  box.exec();
}

void SetMessageBoxHandler(MessageBoxHandler handler) {
  Handler() = std::move(handler);
}

}  // namespace vexa::console

#include "background_call.h"

#include <QEventLoop>
#include <QMetaObject>
#include <thread>

#include "service/service_manager.h"

namespace vexa::console {

int RunKeepingWindowResponsive(const std::function<int()>& call) {
  QEventLoop wait;
  int result = kServiceControlFailed;
  std::thread worker([&] {
    try {
      result = call();
    } catch (...) {
      result = kServiceControlFailed;
    }
    // Queued: delivered inside wait.exec() even when the call ends first.
    QMetaObject::invokeMethod(&wait, &QEventLoop::quit, Qt::QueuedConnection);
  });
  wait.exec();
  worker.join();
  return result;
}

}  // namespace vexa::console

#include "pause.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace vexa::console {

namespace {
constexpr int kSliceMs = 20;
}

void Pause(std::int16_t milliseconds) {
  const int slices = milliseconds / kSliceMs;
  for (int i = 0; i < slices; ++i) {
    QEventLoop slice;
    // A precise timer never fires early, so every slice lasts its 20 ms.
    QTimer::singleShot(kSliceMs, Qt::PreciseTimer, &slice, &QEventLoop::quit);
    slice.exec();
    QCoreApplication::processEvents();
  }
}

}  // namespace vexa::console

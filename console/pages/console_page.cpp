#include "pages/console_page.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <algorithm>

#include "design_layout.h"

namespace vexa::console {

// Controls drawn on a tab control count from the tab control's corner, tab
// strip included, though they live on a page below the strip.
ConsolePage::ConsolePage(QTabWidget* tabs) : tabs_(tabs), design_(new DesignLayout(this, tabs)) {}

double ConsolePage::ScaleNeeded() {
  double scale = 1.0;
  for (const DesignLayout* layout : findChildren<DesignLayout*>())
    scale = std::max(scale, layout->ScaleNeeded());
  return scale;
}

void ConsolePage::SelectTextOnFocus(const QList<QLineEdit*>& boxes) {
  for (QLineEdit* box : boxes) box->installEventFilter(this);
}

bool ConsolePage::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn) {
    if (auto* box = qobject_cast<QLineEdit*>(watched)) box->selectAll();
  }
  return QWidget::eventFilter(watched, event);
}

QLabel* NamedLabel(const char* name, const QString& caption) {
  return Named(new QLabel(caption), name);
}

}  // namespace vexa::console

// The router list box: one address per line on screen, the lines joined by
// CR LF in the database (the collector splits the stored text on CR LF), and
// at most 255 characters of that stored text.
#pragma once

#include <QPlainTextEdit>

#include "settings/settings_rules.h"

namespace vexa::console {

// Stored text (lines separated by CR LF; a lone CR or LF also ends a line)
// to the text the box shows, and back.
QString RouterListToDisplay(const QString& stored);
QString RouterListToStored(const QString& display);

class RouterListEdit final : public QPlainTextEdit {
  Q_OBJECT
  // The text as the database holds it; the data mapper reads and writes this.
  Q_PROPERTY(QString routerList READ RouterList WRITE SetRouterList USER true)

 public:
  explicit RouterListEdit(QWidget* parent = nullptr);

  QString RouterList() const;
  // Shows a stored text as it is, even when it is longer than the limit: the
  // limit applies to what the operator types, never to data already stored.
  void SetRouterList(const QString& stored);

 private:
  void RefuseBeyondLimit(int position, int removed, int added);

  bool loading_ = false;
};

}  // namespace vexa::console

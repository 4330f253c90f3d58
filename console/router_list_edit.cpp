#include "router_list_edit.h"

#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>

namespace vexa::console {

namespace {

// Length of the stored form: every line break counts as its two characters.
int StoredLength(const QString& display) {
  return static_cast<int>(display.size() + display.count(QLatin1Char('\n')));
}

}  // namespace

QString RouterListToDisplay(const QString& stored) {
  static const QRegularExpression line_end(QStringLiteral("\r\n|\r"));
  QString display = stored;
  display.replace(line_end, QStringLiteral("\n"));
  return display;
}

QString RouterListToStored(const QString& display) {
  QString stored = RouterListToDisplay(display);
  stored.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
  return stored;
}

RouterListEdit::RouterListEdit(QWidget* parent) : QPlainTextEdit(parent) {
  setTabChangesFocus(true);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  connect(document(), &QTextDocument::contentsChange, this, &RouterListEdit::RefuseBeyondLimit);
}

QString RouterListEdit::RouterList() const {
  return RouterListToStored(toPlainText());
}

void RouterListEdit::SetRouterList(const QString& stored) {
  loading_ = true;
  setPlainText(RouterListToDisplay(stored));
  loading_ = false;
}

// Takes back the end of what was just typed or pasted, character by
// character, until the stored text fits again. Deleting is always allowed.
void RouterListEdit::RefuseBeyondLimit(int position, int /*removed*/, int added) {
  if (loading_ || added <= 0) return;
  int excess = StoredLength(toPlainText()) - static_cast<int>(settings::kRouterListMaxLength);
  if (excess <= 0) return;
  QTextCursor cursor(document());
  cursor.beginEditBlock();
  int end = position + added;
  while (excess > 0 && end > position) {
    cursor.setPosition(end - 1);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    excess -= StoredLength(cursor.selectedText().replace(QChar::ParagraphSeparator, '\n'));
    cursor.removeSelectedText();
    --end;
  }
  cursor.endEditBlock();
}

}  // namespace vexa::console
